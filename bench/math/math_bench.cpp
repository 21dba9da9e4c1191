// Per-frame cost of camera playback (one spline sample and the view built
// from it) for short and long key lists, and the key file's parse and format
// for a long recording.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "math/camera_animation.h"
#include "math/camera_key_file.h"

namespace {

CameraAnimation Recorded(int keys)
{
    CameraAnimation animation;
    for (int i = 0; i < keys; ++i) {
        Matrix4 view = Matrix4::RotationZ(0.1f * std::sin(float(i)));
        view.RotateX(-0.2f + 0.1f * std::cos(float(i)));
        view.RotateY(0.3f * float(i));
        view *= Matrix4::Translation(float(i), 2, -5 - float(i % 7));
        animation.PushPose(view, 1.5 * i);
    }
    return animation;
}

void BM_PlaybackView(benchmark::State& state)
{
    CameraAnimation animation = Recorded(int(state.range(0)));
    animation.Play(0);
    const double end = animation.Duration();
    double t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(animation.PlaybackView(t));
        t += 1 / 60.0;
        if (t > end) {
            t = 0;
            animation.Play(0);  // the view past the end stopped it
        }
    }
}
BENCHMARK(BM_PlaybackView)->Arg(4)->Arg(64)->Arg(1024);

void BM_KeyFileParse(benchmark::State& state)
{
    const std::string text = FormatKeyFile(Recorded(int(state.range(0))).Keys());
    std::vector<CameraKey> keys;
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseKeyFile(text, keys));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_KeyFileParse)->Arg(1000);

void BM_KeyFileFormat(benchmark::State& state)
{
    const std::vector<CameraKey> keys = Recorded(int(state.range(0))).Keys();
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatKeyFile(keys));
}
BENCHMARK(BM_KeyFileFormat)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
