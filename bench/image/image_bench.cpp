// Decoding and encoding speed of the image codecs, in megapixels per second
// (the "MP/s" counter), next to libjpeg-turbo and stb_image(_write):
//   JPEG decode of a 1920 x 1080 photo-like picture, 4:2:0 and 4:4:4;
//   TGA read and write of the same picture; PNG write of a 1280 x 720 frame.
#include "image/jpeg_decoder.h"
#include "image/png_file.h"
#include "image/tga.h"

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// Smooth shading with edges and fine texture, like a photograph.
std::vector<uint8_t> PhotoRGB(int w, int h)
{
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double sky = y < h / 3 ? 40 : 0;
            const double base = 110 + 70 * std::sin(x * 0.004 + y * 0.002) + 30 * std::cos(y * 0.011) + sky;
            const double texture = 18 * std::sin(x * 0.21) * std::cos(y * 0.17) + double(seed >> 27) - 16;
            for (int c = 0; c < 3; ++c) {
                const double v = base * (0.8 + 0.15 * c) + texture + ((x / 97 + y / 61) % 5 == 0 ? 35 : 0);
                px[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    return px;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, int subsampling)
{
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &out, &size, subsampling, 90, 0);
    std::vector<uint8_t> file(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return file;
}

const std::vector<uint8_t>& Photo()
{
    static const std::vector<uint8_t> rgb = PhotoRGB(kWidth, kHeight);
    return rgb;
}

const std::vector<uint8_t>& JpegFile(int subsampling)
{
    static const std::vector<uint8_t> f420 = EncodeJpeg(Photo(), TJSAMP_420);
    static const std::vector<uint8_t> f444 = EncodeJpeg(Photo(), TJSAMP_444);
    return subsampling == TJSAMP_420 ? f420 : f444;
}

void SetRate(benchmark::State& state, int w, int h)
{
    state.counters["MP/s"] = benchmark::Counter(double(w) * h * 1e-6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

std::string TempPath(const char* name) { return "/tmp/nerelle_bench_" + std::to_string(getpid()) + "_" + name; }

// --- JPEG decoding ------------------------------------------------------------------------

void BM_JpegOurs(benchmark::State& state)
{
    const std::vector<uint8_t>& file = JpegFile(int(state.range(0)));
    for (auto _ : state) {
        ImageInput in(file.data(), file.size());
        BitmapPtr b = ReadJPEG(in);
        if (!b)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(b.get());
    }
    SetRate(state, kWidth, kHeight);
}

void BM_JpegTurbo(benchmark::State& state)
{
    const std::vector<uint8_t>& file = JpegFile(int(state.range(0)));
    tjhandle tj = tjInitDecompress();
    std::vector<uint8_t> out(size_t(kWidth) * kHeight * 4);
    for (auto _ : state) {
        if (tjDecompress2(tj, file.data(), file.size(), out.data(), kWidth, 0, kHeight, TJPF_RGBA, 0) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    tjDestroy(tj);
    SetRate(state, kWidth, kHeight);
}

void BM_JpegStb(benchmark::State& state)
{
    const std::vector<uint8_t>& file = JpegFile(int(state.range(0)));
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* px = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 4);
        if (!px)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(px);
        stbi_image_free(px);
    }
    SetRate(state, kWidth, kHeight);
}

BENCHMARK(BM_JpegOurs)->Arg(TJSAMP_420)->Arg(TJSAMP_444)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegTurbo)->Arg(TJSAMP_420)->Arg(TJSAMP_444)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegStb)->Arg(TJSAMP_420)->Arg(TJSAMP_444)->Unit(benchmark::kMillisecond);

// --- TGA -------------------------------------------------------------------------------------

BitmapPtr PhotoBitmap(int w, int h)
{
    BitmapPtr b(TBitmap::Create(w, h, false, false, 8));
    const std::vector<uint8_t>& rgb = Photo();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &rgb[(size_t(y % kHeight) * kWidth + size_t(x % kWidth)) * 3];
            b->Row(y)[x] = PackRGBA(p[0], p[1], p[2], 255);
        }
    return b;
}

void BM_TgaWriteOurs(benchmark::State& state)
{
    BitmapPtr b = PhotoBitmap(kWidth, kHeight);
    const std::string path = TempPath("w_ours.tga");
    for (auto _ : state)
        if (!WriteTGA(path.c_str(), b.get()))
            state.SkipWithError("write failed");
    std::remove(path.c_str());
    SetRate(state, kWidth, kHeight);
}

void BM_TgaWriteStb(benchmark::State& state)
{
    const std::string path = TempPath("w_stb.tga");
    stbi_write_tga_with_rle = 0;  // the same uncompressed output as ours
    for (auto _ : state)
        if (!stbi_write_tga(path.c_str(), kWidth, kHeight, 3, Photo().data()))
            state.SkipWithError("write failed");
    std::remove(path.c_str());
    SetRate(state, kWidth, kHeight);
}

void BM_TgaReadOurs(benchmark::State& state)
{
    const std::string path = TempPath("r_ours.tga");
    WriteTGA(path.c_str(), PhotoBitmap(kWidth, kHeight).get());
    for (auto _ : state) {
        BitmapPtr b(ReadTGA(path.c_str()));
        if (!b)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(b.get());
    }
    std::remove(path.c_str());
    SetRate(state, kWidth, kHeight);
}

void BM_TgaReadStb(benchmark::State& state)
{
    const std::string path = TempPath("r_stb.tga");
    WriteTGA(path.c_str(), PhotoBitmap(kWidth, kHeight).get());
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* px = stbi_load(path.c_str(), &w, &h, &n, 4);
        if (!px)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(px);
        stbi_image_free(px);
    }
    std::remove(path.c_str());
    SetRate(state, kWidth, kHeight);
}

BENCHMARK(BM_TgaWriteOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TgaWriteStb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TgaReadOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TgaReadStb)->Unit(benchmark::kMillisecond);

// --- PNG write of one recorded frame ---------------------------------------------------------------

void BM_PngWriteFrame(benchmark::State& state)
{
    BitmapPtr frame = PhotoBitmap(1280, 720);
    const std::string path = TempPath("frame.png");
    for (auto _ : state)
        if (!WritePNG(path.c_str(), frame.get(), true))
            state.SkipWithError("write failed");
    std::remove(path.c_str());
    SetRate(state, 1280, 720);
}

BENCHMARK(BM_PngWriteFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
