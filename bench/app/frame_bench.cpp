// What a frame costs at the window size (720 x 480) on the headless context:
// whole frames from above and from below the water (median and spread over
// many frames), each pass of the frame alone, and start-up to the first
// frame. Every measured step ends with glFinish so the rasteriser's work
// counts where it is queued.
//
//   frame_bench [--frames=DIR] [benchmark flags]
//
// --frames=DIR also writes the measured views to DIR/above.png and
// DIR/below.png for looking at. Runs in a private run directory (textures,
// dataset and fonts as the program finds them).
#include "app_test_util.h"
#include "bench_application.h"
#include "gl/gles20.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 720, kHeight = 480;

struct View {
    const char* name;
    Vector3 eye;
    float yaw, pitch;
    double t;
};
// Looking over the dive from above, and from beside it under water.
constexpr View kViews[] = {
    {"above", {-6, 12, 22}, 0.25f, 0.45f, 120.0},
    {"below", {-3, -5, 2}, 0.1f, 0.1f, 120.0},
};

struct Fixture : BenchApplication {
    Fixture() : BenchApplication(kWidth, kHeight, kWidth, kHeight) {}
    void Place(const View& view) { BenchApplication::Place(view.eye, view.yaw, view.pitch); }
};

Fixture& Get()
{
    static Fixture fixture;
    return fixture;
}

bool Ready(benchmark::State& state)
{
    return Get().Ready(state);
}

// Per-frame milliseconds as counters: median, 10th and 90th percentile.
void ReportSpread(benchmark::State& state, std::vector<double> ms)
{
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size() - 1) + 0.5))]; };
    state.counters["median_ms"] = at(0.5);
    state.counters["p10_ms"] = at(0.1);
    state.counters["p90_ms"] = at(0.9);
    state.counters["max_ms"] = ms.back();
}

void BM_Frame(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const View& view = kViews[state.range(0)];
    Get().Place(view);
    std::vector<double> ms;
    double t = view.t;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        Get().app->renderFrame(t);
        glFinish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1e3);
        t += 1.0 / 60;
    }
    ReportSpread(state, ms);
    state.SetLabel(view.name);
}
BENCHMARK(BM_Frame)->Arg(0)->Arg(1)->UseManualTime()->MinTime(3.0)->Unit(benchmark::kMillisecond);

// One pass of the frame alone. The passes before it run untimed, so it
// starts from the state it has in a real frame.
enum Pass { kPrepare, kSceneCopy, kOpaque, kTracks, kWater, kGlows, kPassCount };
const char* const kPassNames[] = {"prepare", "scene copy", "opaque scene", "tracks", "water surface", "glows"};

void RunPass(DemoApplication& app, Pass pass, const DemoApplication::FrameView& frame)
{
    switch (pass) {
    case kPrepare: {
        DemoApplication::FrameView scratch;
        app.PrepareFrame(frame.t, scratch);
        break;
    }
    case kSceneCopy: app.RenderSceneCopy(frame); break;
    case kOpaque: app.RenderOpaqueScene(frame); break;
    case kTracks: app.RenderTracks(frame, frame.below); break;
    case kWater: app.RenderWaterSurface(frame); break;
    case kGlows: app.RenderGlows(frame); break;
    default: break;
    }
}

void BM_Pass(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const View& view = kViews[state.range(0)];
    const Pass pass = static_cast<Pass>(state.range(1));
    Get().Place(view);
    DemoApplication& app = *Get().app;
    std::vector<double> ms;
    double t = view.t;
    for (auto _ : state) {
        DemoApplication::FrameView frame;
        app.PrepareFrame(t, frame);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        for (int p = kSceneCopy; p < pass; ++p)
            RunPass(app, Pass(p), frame);
        glFinish();
        const auto start = std::chrono::steady_clock::now();
        RunPass(app, pass, frame);
        glFinish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1e3);
        glDisable(GL_DEPTH_TEST);
        t += 1.0 / 60;
    }
    ReportSpread(state, ms);
    state.SetLabel(std::string(view.name) + ": " + kPassNames[pass]);
}
BENCHMARK(BM_Pass)
    ->ArgsProduct({{0, 1}, {kPrepare, kSceneCopy, kOpaque, kTracks, kWater, kGlows}})
    ->UseManualTime()
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);

// Construction to the first finished frame. Cold: the font page caches of
// the run directory are removed first, so whatever builds them at start-up
// does so again; warm: they stay from the run before.
void BM_StartUpToFirstFrame(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const bool cold = state.range(0) != 0;
    Get().Place(kViews[0]);
    // The fixture's own application is set aside so only one exists.
    Get().app.reset();
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator("data/fonts", ec))
                if (entry.path().extension() == ".tga")
                    std::filesystem::remove(entry.path(), ec);
            state.ResumeTiming();
        }
        auto app = std::make_unique<DemoApplication>(Get().shell);
        app->Tick();
        glFinish();
        state.PauseTiming();
        app.reset();
        state.ResumeTiming();
    }
    Get().app = std::make_unique<DemoApplication>(Get().shell);
    state.SetLabel(cold ? "cold (no font caches)" : "warm");
}
BENCHMARK(BM_StartUpToFirstFrame)->Arg(1)->Arg(0)->Iterations(5)->Unit(benchmark::kMillisecond);

bool WriteFrames(const std::string& dir)
{
    if (!Get().app) {
        std::fprintf(stderr, "error: no headless context: %s\n", Get().error.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    setenv("NERELLE_TEST_FRAMES", dir.c_str(), 1);
    for (const View& view : kViews) {
        Get().context->BindFramebuffer();
        Get().Place(view);
        Get().app->renderFrame(view.t);
        apptest::SaveForViewing(apptest::FromBottomUpRGBA(kWidth, kHeight, Get().context->ReadPixels()), view.name);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--frames=", 9) == 0) {
            if (!WriteFrames(std::filesystem::absolute(argv[i] + 9).string()))
                return 1;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
