#include "image/image_test_util.h"

#include <fstream>
#include <iterator>
#include <unistd.h>

namespace imagetest {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

BitmapPtr MakePattern(int w, int h, bool greyscale, bool has_alpha, uint32_t seed)
{
    BitmapPtr b(TBitmap::Create(w, h, greyscale, has_alpha, 8));
    uint32_t s = seed * 2654435761u + 12345u;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            // Mix noise with gradients so runs and variety both occur.
            uint8_t r = static_cast<uint8_t>((x * 7 + y * 3) ^ (s >> 24));
            uint8_t g = static_cast<uint8_t>(x * 5 + (s >> 16));
            uint8_t bl = static_cast<uint8_t>(y * 9 + (s >> 8));
            uint8_t a = has_alpha ? static_cast<uint8_t>(s >> 3) : 255;
            if (greyscale)
                g = bl = r;
            b->Row(y)[x] = PackRGBA(r, g, bl, a);
        }
    return b;
}

::testing::AssertionResult SamePixels(const TBitmap& a, const TBitmap& b)
{
    if (a.width != b.width || a.height != b.height)
        return ::testing::AssertionFailure()
               << "size " << a.width << "x" << a.height << " vs " << b.width << "x" << b.height;
    if (a.greyscale != b.greyscale || a.has_alpha != b.has_alpha)
        return ::testing::AssertionFailure() << "flags grey " << int(a.greyscale) << "/" << int(b.greyscale)
                                             << " alpha " << int(a.has_alpha) << "/" << int(b.has_alpha);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.Row(y)[x] != b.Row(y)[x])
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") " << std::hex
                                                     << a.Row(y)[x] << " vs " << b.Row(y)[x];
    return ::testing::AssertionSuccess();
}

}  // namespace imagetest
