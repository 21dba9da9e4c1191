// What the HUD costs a frame at the window size (720 x 480, headless
// context): formatting the status text, laying it out and uploading it
// (SetText), drawing panel and text (Draw, finished with glFinish so the
// rasteriser's work counts), and all of it together.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "hud/hud_text.h"
#include "hud/text_block.h"
#include "gl/gl_start.h"
#include "gl/gles20.h"
#include "platform/headless_context.h"

namespace {

struct HudFixture {
    std::unique_ptr<platform::HeadlessContext> context;
    std::unique_ptr<CTextBlock> block;
    std::string dir, patterns[2], background;
    TFontCacheSource sources[2];
    DiveData data;

    HudFixture()
    {
        Status status;
        context = StartHeadlessGL(720, 480, status);
        if (!context)
            return;
        dir = (std::filesystem::temp_directory_path() / "nerelle-hud-bench").string();
        std::filesystem::create_directories(dir);
        patterns[0] = dir + "/rm%02u.tga";
        patterns[1] = dir + "/sl%02u.tga";
        sources[0] = {patterns[0].c_str(), "/usr/share/fonts/truetype/cmu/cmunrm.ttf"};
        sources[1] = {patterns[1].c_str(), "/usr/share/fonts/truetype/cmu/cmunsl.ttf"};
        background = std::string(NERELLE_SOURCE_DIR) + "/data/textures/gui_bk_alpha.png";
        TextBlockFiles files;
        files.background = background.c_str();
        files.fonts = sources;
        // The builds' progress lines would drown the benchmark table.
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
        block = std::make_unique<CTextBlock>(0.5f, -0.9f, -1.0f, files);
        std::fflush(stdout);
        if (saved >= 0) {
            dup2(saved, STDOUT_FILENO);
            close(saved);
        }
        try {
            data.Load(std::string(NERELLE_SOURCE_DIR) + "/data/spiral_long");
        } catch (const std::exception&) {}
        context->BindFramebuffer();
        glViewport(0, 0, 720, 480);
    }
};

HudFixture& Fixture()
{
    static HudFixture fixture;
    return fixture;
}

bool Ready(benchmark::State& state)
{
    if (!Fixture().context || !Fixture().block) {
        state.SkipWithError("no headless context");
        return false;
    }
    return true;
}

void BM_FormatHudText(benchmark::State& state)
{
    double t = 10.0;
    for (auto _ : state) {
        std::string text = FormatHudText(Fixture().data, t);
        benchmark::DoNotOptimize(text);
        t += 1.0 / 60.0;
    }
}
BENCHMARK(BM_FormatHudText);

void BM_SetText(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const std::string text = FormatHudText(Fixture().data, 10.0);
    for (auto _ : state)
        Fixture().block->SetText(text.c_str(), 0.18f);
    glFinish();
}
BENCHMARK(BM_SetText);

void BM_Draw(benchmark::State& state)
{
    if (!Ready(state))
        return;
    Fixture().block->SetText(FormatHudText(Fixture().data, 10.0).c_str(), 0.18f);
    for (auto _ : state) {
        Fixture().block->Draw();
        glFinish();
    }
}
BENCHMARK(BM_Draw);

// The HUD's whole share of a frame: new text, then panel and text drawn.
void BM_HudFrame(benchmark::State& state)
{
    if (!Ready(state))
        return;
    double t = 10.0;
    for (auto _ : state) {
        Fixture().block->SetText(FormatHudText(Fixture().data, t).c_str(), 0.18f);
        Fixture().block->Draw();
        glFinish();
        t += 1.0 / 60.0;
    }
}
BENCHMARK(BM_HudFrame);

// For scale: an empty frame of the same size, cleared and finished.
void BM_ClearOnly(benchmark::State& state)
{
    if (!Ready(state))
        return;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
    }
}
BENCHMARK(BM_ClearOnly);

}  // namespace

BENCHMARK_MAIN();
