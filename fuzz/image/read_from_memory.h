// Shared body of the image-reader fuzzers: hands the bytes to a reader as
// in-memory input and touches the corners of what it returns, so a pixel
// buffer shorter than the image shows under AddressSanitizer.
#pragma once

#include "image/bitmap.h"
#include "image/image_input.h"

#include <cstdint>
#include <cstdlib>

template <class Reader>
int ReadFromMemory(const uint8_t* data, size_t size, Reader read)
{
    if (size == 0)
        return 0;
    ImageInput in(data, size);
    ImageError error = ImageError::kNone;
    BitmapPtr bitmap = read(in, &error);
    // A reader says why it failed, and a success is a picture with pixels.
    if (!bitmap && error == ImageError::kNone)
        std::abort();
    if (bitmap) {
        if (bitmap->width <= 0 || bitmap->height <= 0)
            std::abort();
        volatile uint32_t sink = bitmap->pixels[0] ^ bitmap->Row(bitmap->height - 1)[bitmap->width - 1];
        (void)sink;
    }
    return 0;
}
