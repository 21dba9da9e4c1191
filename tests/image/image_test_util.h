// Helpers shared by the image tests: scratch files, raw file bytes, bitmap
// construction and comparison.
#pragma once

#include "image/bitmap.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imagetest {

// A per-test scratch path under the system temp directory; removed at exit
// of the test by ScratchDir's destructor.
using ScratchDir = testsupport::ScratchDir;

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

// A bitmap filled with a deterministic pattern (seeded), alpha 255 unless
// has_alpha, grey pixels when greyscale.
BitmapPtr MakePattern(int w, int h, bool greyscale, bool has_alpha, uint32_t seed = 1);

// Pixel bytes of one word, for readable failures.
inline std::vector<int> Bytes(uint32_t word)
{
    return {int(word & 0xFF), int(word >> 8 & 0xFF), int(word >> 16 & 0xFF), int(word >> 24)};
}

// Equality of size, flags and every pixel; reports the first difference.
::testing::AssertionResult SamePixels(const TBitmap& a, const TBitmap& b);

}  // namespace imagetest
