// Shared helpers of the tests of the program: a private working directory set
// up as the build's run directory, and frames read back and saved.
//
// The program reads its textures, dataset and fonts relative to its working
// directory and writes its key file there. Each test program gets a fresh
// directory holding copies of the committed textures, a link to the dive
// datasets and copies of the fonts, so nothing it writes reaches the source
// or build tree and nothing depends on where the project is cloned.
#pragma once

#include "image/bitmap.h"

#include <cstdint>
#include <optional>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Makes `dir` a run directory: textures of data/textures copied into it,
// data/<dataset> linked for every dataset, data/fonts copied from the
// build's run directory when it has them. False when a step fails.
bool MakeRunDirectory(const std::filesystem::path& dir, std::string* why = nullptr);

// A fresh run directory under the temporary directory, made current for the
// rest of the test program and removed at exit. Empty on failure.
std::filesystem::path EnterRunDirectory();

// An RGB image, rows from the top.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[3 * (size_t(y) * size_t(width) + size_t(x))]; }
    // Number of distinct colours, up to `limit`.
    size_t DistinctColours(size_t limit) const;
};

// Bottom-up RGBA read-back (glReadPixels order) as a top-down image.
Image FromBottomUpRGBA(int width, int height, const std::vector<uint8_t>& rgba);

// A top-row-first bitmap's RGB (a PNG or TGA as read).
Image ImageOfBitmap(const TBitmap& bitmap);
// The image as a PNG file (its directory made when missing); false on failure.
bool WriteImagePNG(const Image& image, const std::filesystem::path& path);
// A PNG file as an image; empty when it cannot be read.
std::optional<Image> ReadImagePNG(const std::filesystem::path& path);

// Peak signal-to-noise ratio of two images of one size over the RGB
// channels; infinite for equal images.
double Psnr(const Image& a, const Image& b);

// Writes the image as PNG to $NERELLE_TEST_FRAMES/<name>.png when that
// variable names a directory, for looking at; nothing otherwise.
void SaveForViewing(const Image& image, const std::string& name);

}  // namespace testsupport
