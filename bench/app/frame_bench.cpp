// What a frame costs on the headless context: whole frames from above and
// from below the water at the window size (720 x 480), 1280 x 720 and
// 1920 x 1080 (median and spread over many frames, wall and process CPU
// time), each pass of the frame alone, and start-up to the first frame.
// Every measured step ends with glFinish so the rasteriser's work counts
// where it is queued.
//
//   frame_bench [--frames=DIR] [benchmark flags]
//
// --frames=DIR also writes the measured views to DIR/above.png and
// DIR/below.png for looking at. Runs in a private run directory (textures,
// dataset and fonts as the program finds them).
#include "bench_application.h"
#include "app/startup.h"
#include "gl/gles20.h"
#include "support/rgba_image.h"
#include "support/run_directory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 720, kHeight = 480;  // the window's size
struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{720, 480}, {1280, 720}, {1920, 1080}};

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
    explicit Fixture(Size frame) : BenchApplication(frame.width, frame.height, kWidth, kHeight), size(frame) {}
    void Place(const View& where) { BenchApplication::Place(where.eye, where.yaw, where.pitch); }
    Size size;
};

// One application at a time, on a context of the frame's own size: a
// larger context would be cleared whole on every pass.
Fixture& Get(Size size = {kWidth, kHeight})
{
    static std::unique_ptr<Fixture> fixture;
    if (!fixture || fixture->size.width != size.width || fixture->size.height != size.height) {
        fixture.reset();
        fixture = std::make_unique<Fixture>(size);
    }
    return *fixture;
}

bool Ready(benchmark::State& state, Size size = {kWidth, kHeight})
{
    return Get(size).Ready(state);
}

// Per-frame milliseconds as counters: median, 10th and 90th percentile.
void ReportSpread(benchmark::State& state, std::vector<double> ms, const std::vector<double>& cpu_ms)
{
    if (ms.empty())
        return;
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    state.counters["cpu_median_ms"] = median(cpu_ms);
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size() - 1) + 0.5))]; };
    state.counters["median_ms"] = at(0.5);
    state.counters["p10_ms"] = at(0.1);
    state.counters["p90_ms"] = at(0.9);
    state.counters["max_ms"] = ms.back();
}

void BM_Frame(benchmark::State& state)
{
    const Size size = kSizes[state.range(1)];
    if (!Ready(state, size))
        return;
    const View& view = kViews[state.range(0)];
    Get(size).Place(view);
    std::vector<double> ms, cpu_ms;
    double t = view.t;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpu_start = std::clock();
        Get(size).app->renderFrame({t, size.width, size.height, false});
        glFinish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1e3);
        cpu_ms.push_back(double(std::clock() - cpu_start) * 1e3 / CLOCKS_PER_SEC);
        t += 1.0 / 60;
    }
    ReportSpread(state, ms, cpu_ms);
    state.SetLabel(std::string(view.name) + " " + std::to_string(size.width) + "x" + std::to_string(size.height));
}
BENCHMARK(BM_Frame)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->UseManualTime()
    ->MinTime(3.0)
    ->Unit(benchmark::kMillisecond);

// The frame's passes, each timed by the application's pass timers over
// whole frames (glFinish around each pass), as milliseconds per frame.
void BM_Passes(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const View& view = kViews[state.range(0)];
    Get().Place(view);
    DemoApplication& app = *Get().app;
    FramePassTimes times;
    app.TimePasses(&times);
    double t = view.t;
    size_t frames = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        app.renderFrame({t, kWidth, kHeight, false});
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        ++frames;
        t += 1.0 / 60;
    }
    app.TimePasses(nullptr);
    for (size_t p = 0; p < size_t(FramePass::kCount); ++p)
        if (frames) {
            state.counters[std::string(kFramePassNames[p]) + "_ms"] = times.seconds[p] * 1e3 / double(frames);
            state.counters[std::string(kFramePassNames[p]) + "_cpu_ms"] = times.cpu_seconds[p] * 1e3 / double(frames);
        }
    state.SetLabel(view.name);
}
BENCHMARK(BM_Passes)->Arg(0)->Arg(1)->UseManualTime()->MinTime(1.0)->Unit(benchmark::kMillisecond);

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
        Status status;
        auto app = CreateApplication(Get().view, kDefaultDiveDirectory, status);
        app->Tick();
        glFinish();
        state.PauseTiming();
        app.reset();
        state.ResumeTiming();
    }
    Status status;
    Get().app = CreateApplication(Get().view, kDefaultDiveDirectory, status);
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
        Get().app->renderFrame({view.t, kWidth, kHeight, false});
        testsupport::SaveForViewing(testsupport::FromBottomUp(kWidth, kHeight, Get().context->ReadPixels()), view.name);
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
