// JPEG test inputs made with the system's libjpeg, and its own decode as the
// reference for ours.
#pragma once

#include "image/bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace imagetest {

struct JpegParams {
    int width = 64, height = 48;
    bool grey = false;
    int h_luma = 1, v_luma = 1;  // luma sampling; chroma is 1 x 1
    int quality = 90;
    int restart_interval = 0;    // in MCUs
    bool progressive = false;
    bool arithmetic = false;
    bool optimize = false;
    std::vector<uint8_t> pixels;  // width * height * (grey ? 1 : 3) samples
};

// A smooth, photo-like test picture with some texture.
std::vector<uint8_t> PhotoPixels(int width, int height, bool grey, uint32_t seed = 7);

// The encoded file bytes; empty on failure.
std::vector<uint8_t> EncodeJpeg(const JpegParams& params);

// libjpeg's own decode to RGB (or grey) samples; empty on failure.
std::vector<uint8_t> DecodeJpegReference(const std::vector<uint8_t>& file, int* width, int* height,
                                         int* channels);

// PSNR in dB of a bitmap against interleaved samples (1 or 3 channels).
double Psnr(const TBitmap& b, const std::vector<uint8_t>& samples, int channels);

}  // namespace imagetest
