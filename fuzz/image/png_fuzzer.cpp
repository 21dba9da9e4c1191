// Feeds arbitrary bytes to the PNG reader (through libpng) as an in-memory
// file: no input may crash it, hang it or make it allocate beyond what the
// bytes can describe. The chunk checksums are recomputed first, otherwise
// almost every mutation would stop at libpng's CRC check and never reach
// the header and pixel handling.
#include "image/png_file.h"
#include "read_from_memory.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void FixChunkChecksums(std::vector<uint8_t>& f)
{
    size_t at = 8;  // after the signature
    while (at + 12 <= f.size()) {
        const uint32_t length = uint32_t(f[at]) << 24 | uint32_t(f[at + 1]) << 16 | uint32_t(f[at + 2]) << 8 | f[at + 3];
        if (length > f.size() - at - 12)
            return;
        const uLong crc = crc32(0, f.data() + at + 4, uInt(length + 4));
        uint8_t* out = f.data() + at + 8 + length;
        out[0] = uint8_t(crc >> 24);
        out[1] = uint8_t(crc >> 16);
        out[2] = uint8_t(crc >> 8);
        out[3] = uint8_t(crc);
        at += 12 + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    FixChunkChecksums(bytes);
    return ReadFromMemory(bytes.data(), bytes.size(), [](ImageInput& in, ImageError* e) { return ReadPNG(in, e); });
}
