// Images and textures: the one in-memory image record, `TBitmap`.
//
// Every piece of image code meets here: the TGA, PNG and JPEG readers
// produce bitmaps, the TGA and PNG writers, the texture uploader, the frame
// encoder and the font pages consume them, and screenshots read the
// framebuffer back into one. A bitmap is plain memory, no GL. Whoever holds
// the pointer owns the record and its pixel buffer and releases both with
// `Destroy()` (or hands it to a `BitmapPtr`).
//
// Row order, the one definition the other headers refer to. The rows lie in
// memory one after another, row 0 first, and a bitmap is in one of two
// orders:
// - picture order: row 0 is the top row of the picture. The TGA, PNG and
//   JPEG readers produce it and the writers expect it; the texture uploader
//   takes the rows as they lie, so row 0 becomes the texture's row at t = 0.
// - read-back order: row 0 is the bottom row, as glReadPixels delivers a
//   framebuffer (its origin is the lower left). Off-screen images and
//   recorded frames are rendered into bitmaps in this order.
// `FlipVertical()` turns either order into the other.
#pragma once

#include <cstdint>
#include <memory>

struct TBitmap {
    uint8_t bits_per_channel = 8;  // significant bits per channel of the source (5 for 16-bit TGA)
    uint8_t greyscale = 0;         // 1: red, green and blue are equal in every pixel
    uint8_t has_alpha = 0;         // 1: the alpha bytes carry information (else they hold 255)
    int32_t width = 0;             // pixels per row
    int32_t height = 0;            // rows, in picture or read-back order (above)
    uint32_t* pixels = nullptr;    // width x height words, bytes red, green, blue, alpha in memory order

    // Allocates a record with an uninitialised pixel buffer; null when
    // width x height is 2^30 or more, negative, or memory runs out.
    static TBitmap* Create(int32_t width, int32_t height, bool greyscale, bool has_alpha,
                           uint8_t bits_per_channel);

    void FlipVertical();  // exchanges row i with row height - 1 - i (middle row stays): the other order
    void Destroy();       // releases the pixel buffer, then the record itself

    uint32_t* Row(int32_t y) { return pixels + static_cast<size_t>(y) * static_cast<size_t>(width); }
    const uint32_t* Row(int32_t y) const
    {
        return pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
    }
};

// Largest pixel count a bitmap may hold (exclusive).
constexpr uint64_t kMaxBitmapPixels = 0x40000000u;

// Builds the pixel word with the bytes r, g, b, a in memory order.
inline uint32_t PackRGBA(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16 |
           static_cast<uint32_t>(a) << 24;
}

// Owning handle for a bitmap: calls Destroy() when it goes out of scope.
struct BitmapDeleter {
    void operator()(TBitmap* b) const
    {
        if (b)
            b->Destroy();
    }
};
using BitmapPtr = std::unique_ptr<TBitmap, BitmapDeleter>;
