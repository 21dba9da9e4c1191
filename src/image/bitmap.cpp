#include "image/bitmap.h"

#include <algorithm>
#include <new>

TBitmap* TBitmap::Create(int32_t width, int32_t height, bool greyscale, bool has_alpha,
                         uint8_t bits_per_channel)
{
    if (width < 0 || height < 0)
        return nullptr;
    const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (count >= kMaxBitmapPixels)
        return nullptr;
    TBitmap* b = new (std::nothrow) TBitmap;
    if (!b)
        return nullptr;
    b->pixels = new (std::nothrow) uint32_t[count ? count : 1];
    if (!b->pixels) {
        delete b;
        return nullptr;
    }
    b->bits_per_channel = bits_per_channel;
    b->greyscale = greyscale ? 1 : 0;
    b->has_alpha = has_alpha ? 1 : 0;
    b->width = width;
    b->height = height;
    return b;
}

void TBitmap::FlipVertical()
{
    for (int32_t i = 0; i < height / 2; ++i)
        std::swap_ranges(Row(i), Row(i) + width, Row(height - 1 - i));
}

void TBitmap::Destroy()
{
    delete[] pixels;
    pixels = nullptr;
    delete this;
}
