// Feeds arbitrary bytes to the JPEG decoder as in-memory input: no input may
// crash it, hang it or make it allocate beyond what the bytes can describe.
#include "image/jpeg_decoder.h"
#include "read_from_memory.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return ReadFromMemory(data, size, [](ImageInput& in, ImageError* e) { return ReadJPEG(in, e); });
}
