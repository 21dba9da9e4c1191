// Speed of the offline recording's writing side, in frames per second (the
// "items_per_second" counter):
//   BM_WritePNG_Frame: one thread writing 1280 x 720 frames, the work of one
//     encoder worker; with two threads at once, to see how writers share the
//     machine. Three contents bracket a rendered frame: flat colour, a
//     scene-like frame (sky gradient, shaded ground with fine texture, lines)
//     and noise.
//   BM_Encoder: frames fed from one thread (a copy into the working bitmap
//     stands for the read-back) to an encoder with n workers, scene-like
//     frames, until Synchronize() returns; rates from wall time, the CPU
//     column is the whole process (producer and workers).
// The recording's limit is min(render rate, write rate x workers).
#include "image/png_file.h"
#include "threads/mt_encoder.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
constexpr int W = CMTEncoder::kFrameWidth, H = CMTEncoder::kFrameHeight;

enum Content { kFlat, kScene, kNoise };

uint8_t Clamp(double v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

BitmapPtr MakeFrame(Content content)
{
    BitmapPtr b(TBitmap::Create(W, H, false, false, 8));
    uint32_t seed = 99;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525u + 1013904223u;
            uint32_t& p = b->Row(y)[x];
            if (content == kFlat) {
                p = PackRGBA(40, 90, 140, 255);
            } else if (content == kNoise) {
                p = seed;
            } else if (y > H * 2 / 5) {  // read-back rows come bottom first: sky on top here
                // Sky: a gradient with soft clouds.
                const double cloud =
                    25 * std::max(0.0, std::sin(x * 0.013 + y * 0.02) * std::cos(y * 0.031 - x * 0.004));
                p = PackRGBA(Clamp(90 + y * 0.05 + cloud), Clamp(140 + y * 0.06 + cloud), Clamp(200 + cloud), 255);
            } else {
                // Lit ground and water: smooth shading, fine texture, a few lines.
                const double shade = 80 + 50 * std::sin(x * 0.006 + y * 0.015) + 20 * std::cos(y * 0.05);
                const double texture = 10 * std::sin(x * 0.37) * std::cos(y * 0.29) + double(seed >> 29);
                const bool line = std::abs((x + 2 * y) % 211) < 3;
                p = line ? PackRGBA(255, 220, 40, 255)
                         : PackRGBA(Clamp(shade * 0.7 + texture), Clamp(shade * 0.9 + texture),
                                    Clamp(shade * 0.8 + texture), 255);
            }
        }
    return b;
}

// Frames go to a scratch directory on the same disk as the temp directory.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("nerelle_threads_bench_" + std::to_string(getpid()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};
Scratch& TheScratch()
{
    static Scratch s;
    return s;
}

void BM_WritePNG_Frame(benchmark::State& state)
{
    const BitmapPtr frame = MakeFrame(Content(state.range(0)));
    const std::string name = (TheScratch().dir / ("write_" + std::to_string(state.thread_index()) + ".png")).string();
    for (auto _ : state)
        if (!WritePNG(name.c_str(), frame.get(), true, PngCompression::kFast))
            state.SkipWithError("WritePNG failed");
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(state.range(0) == kFlat ? "flat" : state.range(0) == kScene ? "scene" : "noise");
    state.counters["bytes"] = double(fs::file_size(name));
}
BENCHMARK(BM_WritePNG_Frame)->Arg(kFlat)->Arg(kScene)->Arg(kNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePNG_Frame)->Arg(kScene)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Encoder(benchmark::State& state)
{
    constexpr unsigned kFrames = 24;  // one second of recording
    const unsigned workers = unsigned(state.range(0));
    const BitmapPtr frame = MakeFrame(kScene);
    const std::string name = (TheScratch().dir / ("encoder_%u.png")).string();
    size_t failures = 0;
    for (auto _ : state) {
        CMTEncoder encoder(workers);
        for (unsigned k = 0; k < kFrames; ++k) {
            TBitmap* b = encoder.WorkingBitmap();
            std::memcpy(b->pixels, frame->pixels, size_t(W) * H * 4);
            char file[256];
            std::snprintf(file, sizeof file, name.c_str(), k % 8);
            encoder.Enqueue_Bitmap(b, file);
        }
        encoder.Synchronize();
        failures += encoder.FailureCount();
    }
    if (failures)
        state.SkipWithError("frames failed");
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_Encoder)->Arg(1)->Arg(2)->Arg(3)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
