// Frames and images as the tests look at them: one RGBA type, whatever the
// pixels came from (the framebuffer, a bitmap, a PNG file, a window), and
// the PSNR the golden images are held to.
#pragma once

#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {
class HeadlessContext;
}

namespace testsupport {

// width x height pixels of 4 bytes (red, green, blue, alpha), rows from the
// top as in an image file.
struct RgbaImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    // The pixel (x, y), y counted from the top.
    const uint8_t* At(int x, int y) const { return &rgba[4 * (size_t(y) * size_t(width) + size_t(x))]; }
    uint8_t* At(int x, int y) { return &rgba[4 * (size_t(y) * size_t(width) + size_t(x))]; }
    // The pixel (x, y), y counted from the bottom as GL counts rows.
    const uint8_t* AtGL(int x, int y) const { return At(x, height - 1 - y); }
    // Number of distinct RGB colours, up to `limit`.
    size_t DistinctColours(size_t limit) const;
};

// width x height RGBA pixels in GL's order, bottom row first (as glReadPixels
// and the off-screen renderer give them).
RgbaImage FromBottomUp(int width, int height, std::span<const uint8_t> rgba);
// A bitmap's pixels (row 0 at the top).
RgbaImage FromBitmap(const TBitmap& bitmap);

// Read-backs need a current context: they are defined with the GL fixtures.
// The bound framebuffer's width x height pixels from (x, y), counted from
// the bottom left.
RgbaImage ReadFramebuffer(int width, int height, int x = 0, int y = 0);
// The whole of the headless context's own framebuffer, whichever is bound.
RgbaImage ReadFrame(const platform::HeadlessContext& context);

// A PNG file read with the project's reader; empty when it cannot be read.
std::optional<RgbaImage> ReadImagePNG(const std::filesystem::path& path);
// The image's RGB as a PNG file (its directory made when missing); false on failure.
bool WriteImagePNG(const RgbaImage& image, const std::filesystem::path& path);
// Writes the image to $NERELLE_TEST_FRAMES/<name>.png when that variable
// names a directory, for looking at; nothing otherwise.
void SaveForViewing(const RgbaImage& image, const std::string& name);

// Peak signal-to-noise ratio in dB of two images of one size over their RGB
// channels (alpha is left out: a read-back's alpha is whatever drawing left
// there, and the references are stored without it); infinite for equal
// images, NaN for images of different sizes, so that no bound holds.
double Psnr(const RgbaImage& a, const RgbaImage& b);
// Pixels of two images of one size with a red, green or blue channel more
// than `tolerance` apart.
size_t CountDifferentPixels(const RgbaImage& a, const RgbaImage& b, int tolerance);

}  // namespace testsupport
