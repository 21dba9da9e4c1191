// Shared body of the image-reader fuzzers: hands the bytes to a reader as an
// in-memory file and touches the corners of what it returns, so a pixel buffer
// shorter than the image shows under AddressSanitizer.
#pragma once

#include "image/bitmap.h"

#include <cstdint>
#include <cstdio>

template <class Reader>
int ReadFromMemory(uint8_t* data, size_t size, Reader read)
{
    if (size == 0)
        return 0;
    FILE* f = fmemopen(data, size, "rb");
    if (!f)
        return 0;
    BitmapPtr bitmap(read(f));
    if (bitmap && bitmap->width > 0 && bitmap->height > 0) {
        volatile uint32_t sink = bitmap->pixels[0] ^ bitmap->Row(bitmap->height - 1)[bitmap->width - 1];
        (void)sink;
    }
    std::fclose(f);
    return 0;
}
