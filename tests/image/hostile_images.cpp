#include "image/hostile_images.h"

#include <zlib.h>

#include <cstring>

namespace imagetest {

namespace {

void Be32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(uint8_t(v >> s));
}

void PngChunk(std::vector<uint8_t>& f, const char* type, const std::vector<uint8_t>& data)
{
    Be32(f, uint32_t(data.size()));
    const size_t body = f.size();
    f.insert(f.end(), type, type + 4);
    f.insert(f.end(), data.begin(), data.end());
    Be32(f, uint32_t(crc32(0, f.data() + body, uInt(f.size() - body))));
}

// Raw deflate of n zero bytes, ended with a full flush (so the next copy
// needs nothing before it) or, when `last`, as the final block.
std::vector<uint8_t> DeflateZeros(size_t n, bool last)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> in(n), out(deflateBound(&z, uLong(n)) + 64);
    z.next_in = in.data();
    z.avail_in = uInt(n);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

std::vector<uint8_t> ZeroPng(uint32_t width, uint32_t height, int colour, int depth, size_t chunk)
{
    std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    Be32(ihdr, width);
    Be32(ihdr, height);
    ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(colour), 0, 0, 0});
    PngChunk(f, "IHDR", ihdr);
    if (colour == 3)
        PngChunk(f, "PLTE", {0, 0, 0});

    // Every row: filter byte 0 and its zero samples.
    const uint64_t row = (uint64_t(width) * uint64_t(depth) + 7) / 8 + 1;
    const uint64_t total = row * height;
    std::vector<uint8_t> idat = {0x78, 0xDA};
    const std::vector<uint8_t> copy = DeflateZeros(chunk, false);
    for (uint64_t i = 0; i < total / chunk; ++i)
        idat.insert(idat.end(), copy.begin(), copy.end());
    const std::vector<uint8_t> tail = DeflateZeros(size_t(total % chunk), true);
    idat.insert(idat.end(), tail.begin(), tail.end());
    // Adler-32 of zeros: the low sum stays 1, the high one counts the bytes.
    Be32(idat, uint32_t(total % 65521) << 16 | 1u);
    PngChunk(f, "IDAT", idat);
    PngChunk(f, "IEND", {});
    return f;
}

std::vector<uint8_t> FlatGreyJpeg(uint16_t width, uint16_t height)
{
    std::vector<uint8_t> f = {0xFF, 0xD8};
    // Quantisation table 0, all ones.
    f.insert(f.end(), {0xFF, 0xDB, 0, 67, 0x00});
    f.insert(f.end(), 64, 1);
    // Frame: 8-bit, one component (id 1, 1 x 1, table 0).
    f.insert(f.end(), {0xFF, 0xC0, 0, 11, 8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width),
                       1, 1, 0x11, 0});
    // DC and AC tables 0 with a single one-bit code "0": DC size 0, and end of block.
    for (uint8_t cls : {0x00, 0x10}) {
        f.insert(f.end(), {0xFF, 0xC4, 0, 20, cls, 1});
        f.insert(f.end(), 15, 0);
        f.push_back(0);
    }
    f.insert(f.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0});
    const uint64_t blocks = uint64_t((width + 7) / 8) * uint64_t((height + 7) / 8);
    const uint64_t bits = 2 * blocks;
    f.insert(f.end(), size_t(bits / 8), 0);
    if (bits % 8)
        f.push_back(uint8_t((1u << (8 - bits % 8)) - 1));  // padded with one bits
    f.insert(f.end(), {0xFF, 0xD9});
    return f;
}

std::vector<uint8_t> FlatGreyTga(uint16_t width, uint16_t height, uint8_t grey)
{
    // clang-format off
    std::vector<uint8_t> f = {0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8), 8, 0x20};
    // clang-format on
    std::vector<uint8_t> row;
    for (unsigned left = width; left > 0;) {
        const unsigned n = left < 128 ? left : 128;
        row.push_back(uint8_t(0x80 | (n - 1)));
        row.push_back(grey);
        left -= n;
    }
    f.reserve(f.size() + row.size() * height);
    for (unsigned y = 0; y < height; ++y)
        f.insert(f.end(), row.begin(), row.end());
    return f;
}

}  // namespace imagetest
