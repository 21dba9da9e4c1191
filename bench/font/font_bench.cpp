// Build time of the two HUD fonts and the time to read their pages back.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "font/bitmap_font.h"
#include "font/font_cache.h"

namespace {

// The HUD fonts' source paths are relative to the program's run directory.
std::string Source(const char *file) { return std::string(NERELLE_RUN_DIR) + "/" + file; }

std::string TempDirFor(const char *what)
{
    const auto dir = std::filesystem::temp_directory_path() / (std::string("nerelle-font-bench-") + what);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Builds one HUD font with the application's blocks; output silenced.
bool BuildHudFont(int which, const std::string &pattern)
{
    CBitmapFont font;
    for (const char *block : g_hud_font_blocks)
        font.AddBlock(block);
    CBitmapFont::CBitmapWriter writer(pattern.c_str());
    // The build's progress lines would drown the benchmark table.
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    const bool ok = font.Build(writer, Source(g_hud_fonts[which].font_file).c_str());
    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    return ok;
}

class NullConsumer : public CBitmapFont::CBitmapCallback {
public:
    bool Consume_Page(unsigned, unsigned, TBitmap *) override { return true; }
};

void BM_BuildHudFont(benchmark::State &state)
{
    const int which = int(state.range(0));
    const std::string pattern = TempDirFor("build") + (which ? "/sl%02u.tga" : "/rm%02u.tga");
    for (auto _ : state) {
        if (!BuildHudFont(which, pattern)) {
            state.SkipWithError("build failed");
            break;
        }
    }
    state.SetLabel(which ? "cmunsl" : "cmunrm");
}
BENCHMARK(BM_BuildHudFont)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadHudFontPages(benchmark::State &state)
{
    const int which = int(state.range(0));
    const std::string pattern = TempDirFor("read") + (which ? "/sl%02u.tga" : "/rm%02u.tga");
    if (!BuildHudFont(which, pattern)) {
        state.SkipWithError("build failed");
        return;
    }
    size_t glyphs = 0;
    for (auto _ : state) {
        CBitmapFont font;
        NullConsumer consumer;
        if (!CBitmapFont::LoadPages(font, consumer, pattern.c_str())) {
            state.SkipWithError("read failed");
            break;
        }
        glyphs = font.glyphs.size();
    }
    state.counters["glyphs"] = double(glyphs);
    state.SetLabel(which ? "cmunsl" : "cmunrm");
}
BENCHMARK(BM_ReadHudFontPages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
