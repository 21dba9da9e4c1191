// Generators for images that are cheap to store and expensive to decode:
// flat pictures of any size whose files stay small (the decompression bombs
// of the pixel-budget tests), and the same constructions at sane sizes,
// which check that the generators make readable files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imagetest {

// A PNG whose samples are all zero: grey (colour type 0) or palette
// (colour type 3, one black entry) at `depth` bits. Its zlib stream repeats
// one compressed chunk of `chunk` zero bytes, so even gigabytes of rows
// cost one compression of `chunk` bytes.
std::vector<uint8_t> ZeroPng(uint32_t width, uint32_t height, int colour, int depth, size_t chunk = 1u << 20);

// A baseline one-component JPEG in which every block is flat mid-grey:
// two bits per block (a one-code DC table and a one-code AC table).
std::vector<uint8_t> FlatGreyJpeg(uint16_t width, uint16_t height);

// A run-length-encoded greyscale TGA (type 11) of one grey value: run
// packets of 128 pixels, two bytes each.
std::vector<uint8_t> FlatGreyTga(uint16_t width, uint16_t height, uint8_t grey);

}  // namespace imagetest
