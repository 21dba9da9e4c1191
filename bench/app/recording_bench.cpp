// The offline recording pipeline at 1280 x 720 on the headless context,
// flying a fixed two-key camera animation over the dive:
//
//   BM_Render         frames per second of rendering alone (both passes,
//                     resolve and read-back, as the recorder does)
//   BM_WritePNG/c     frames per second of PNG writing alone on one thread, as the encoder writes
//                     (one worker), a rendered frame flipped and written; c 0 the fast
//                     compression recordings use, 1 libpng's default
//   BM_Recording/n    frames per second of the whole recording with n
//                     workers (the program's count first), frames written
//                     to a scratch directory
//   BM_RecordingVideo frames per second of a recording piped into ffmpeg
//                     (H.264, as --video), against rendering alone
//
// BM_Recording also reports `limit_fps` = min(render, write x workers) from
// the two runs before it and `ratio` = recording / limit_fps: how much of
// the overlap between rendering and writing the pipeline achieves.
//
//   recording_bench [benchmark flags]
#include "app/demo_application.h"
#include "capture/image_capture.h"
#include "capture/recording.h"
#include "capture/video_pipe.h"
#include "bench_application.h"
#include "gl/gles20.h"
#include "image/png_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <time.h>

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = CMTEncoder::kFrameWidth, kHeight = CMTEncoder::kFrameHeight;
constexpr unsigned kFramesPerRun = 24;  // one second of animation

struct Fixture : BenchApplication {
    double render_fps = 0, write_fps = 0;  // measured by the first two benchmarks

    Fixture() : BenchApplication(64, 64, 720, 480)
    {
        if (!app)
            return;
        // Over the dive from above, drifting towards the island.
        Place({-6, 12, 22}, 0.25f, 0.45f);
        app->Animation().PushPose(FreeCameraView(view), 0.0);
        Place({-12, 9, 14}, 0.6f, 0.35f);
        app->Animation().PushPose(FreeCameraView(view), kFramesPerRun / kRecordingFramesPerSecond);
    }

    // Starts playback from time 0, as the recorder does before frame 0.
    void Play()
    {
        app->Animation().Play(0.0);
    }
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

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// CPU seconds of every thread of the process (the rasteriser's included).
double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void BM_Render(benchmark::State& state)
{
    if (!Ready(state))
        return;
    Fixture& f = Get();
    BitmapPtr frame(TBitmap::Create(kWidth, kHeight, false, false, 8));
    ImageRenderer renderer(FramebufferSampleCount());
    const FrameDraws draws = f.app->Draws();
    f.Play();
    double seconds = 0, cpu = 0;
    unsigned frames = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ProcessCpuSeconds();
        for (unsigned k = 0; k < kFramesPerRun; ++k) {
            const double t = k / kRecordingFramesPerSecond;
            if (!renderer.Render(*frame, t, draws))
                state.SkipWithError("cannot render the frame");
        }
        seconds += Seconds(start);
        cpu += ProcessCpuSeconds() - cpu_start;
        frames += kFramesPerRun;
    }
    f.render_fps = frames / seconds;
    state.counters["fps"] = f.render_fps;
    state.counters["cpu_ms_per_frame"] = 1000 * cpu / frames;
    state.counters["samples"] = renderer.Samples();
}
BENCHMARK(BM_Render)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_WritePNG(benchmark::State& state)
{
    if (!Ready(state))
        return;
    Fixture& f = Get();
    const bool fast = state.range(0) == 0;
    // A real frame of the animation: how well it compresses is what counts.
    BitmapPtr frame(TBitmap::Create(kWidth, kHeight, false, false, 8));
    f.Play();
    if (!ImageRenderer(FramebufferSampleCount()).Render(*frame, 0.5, f.app->Draws()))
        state.SkipWithError("cannot render the frame");
    const fs::path file = fs::temp_directory_path() / "nerelle-recording-bench.png";
    double seconds = 0, cpu = 0;
    unsigned frames = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ProcessCpuSeconds();
        for (unsigned k = 0; k < kFramesPerRun; ++k) {
            frame->FlipVertical();  // as the worker does
            if (!WritePNG(file.c_str(), frame.get(), true, fast ? PngCompression::kFast : PngCompression::kDefault))
                state.SkipWithError("cannot write the frame");
        }
        seconds += Seconds(start);
        cpu += ProcessCpuSeconds() - cpu_start;
        frames += kFramesPerRun;
    }
    state.counters["bytes"] = double(fs::file_size(file));
    fs::remove(file);
    if (fast)
        f.write_fps = frames / seconds;
    state.counters["fps"] = frames / seconds;
    state.counters["cpu_ms_per_frame"] = 1000 * cpu / frames;
    state.SetLabel(fast ? "fast" : "libpng default");
}
BENCHMARK(BM_WritePNG)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Recording(benchmark::State& state)
{
    if (!Ready(state))
        return;
    Fixture& f = Get();
    const unsigned workers = unsigned(state.range(0));
    const fs::path dir = fs::temp_directory_path() / "nerelle-recording-bench";
    RecordingSettings settings;
    settings.directory = dir;
    settings.workers = workers;
    settings.progress = nullptr;
    double seconds = 0, cpu = 0;
    unsigned frames = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ProcessCpuSeconds();
        const RecordingResult result = RecordFrames(kFramesPerRun, [&] { f.Play(); }, f.app->Draws(), settings);
        seconds += Seconds(start);
        cpu += ProcessCpuSeconds() - cpu_start;
        frames += kFramesPerRun;
        if (result.failed)
            state.SkipWithError("frames failed");
    }
    fs::remove_all(dir);
    const double fps = frames / seconds;
    state.counters["fps"] = fps;
    state.counters["workers"] = workers;
    state.counters["cpu_ms_per_frame"] = 1000 * cpu / frames;
    if (f.render_fps > 0 && f.write_fps > 0) {
        const double limit = std::min(f.render_fps, f.write_fps * workers);
        state.counters["limit_fps"] = limit;
        state.counters["ratio"] = fps / limit;
    }
}
BENCHMARK(BM_Recording)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Arg(int(CMTEncoder::DefaultWorkerCount()))
    ->Arg(2)
    ->Arg(3);

void BM_RecordingVideo(benchmark::State& state)
{
    if (!Ready(state))
        return;
    if (const Status found = VideoPipe::FindFfmpeg(nullptr); !found) {
        state.SkipWithError(found.reason.c_str());
        return;
    }
    Fixture& f = Get();
    const fs::path file = fs::temp_directory_path() / "nerelle-recording-bench.mp4";
    double seconds = 0, cpu = 0;
    unsigned frames = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ProcessCpuSeconds();
        VideoPipe video;
        if (const Status opened = video.Open(file, kWidth, kHeight, kRecordingFramesPerSecond); !opened) {
            state.SkipWithError(opened.reason.c_str());
            return;
        }
        RecordingSettings settings;
        settings.progress = nullptr;
        settings.sink = [&video](const TBitmap& frame, unsigned) { return video.Write(frame); };
        const RecordingResult result = RecordFrames(kFramesPerRun, [&] { f.Play(); }, f.app->Draws(), settings);
        const Status finished = video.Finish();
        seconds += Seconds(start);
        cpu += ProcessCpuSeconds() - cpu_start;
        frames += kFramesPerRun;
        if (result.failed || !finished)
            state.SkipWithError("the video failed");
    }
    fs::remove(file);
    const double fps = frames / seconds;
    state.counters["fps"] = fps;
    state.counters["cpu_ms_per_frame"] = 1000 * cpu / frames;  // ours; ffmpeg is another process
    if (f.render_fps > 0)
        state.counters["ratio"] = fps / f.render_fps;
}
BENCHMARK(BM_RecordingVideo)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
