// Feeds arbitrary bytes to the TGA reader as in-memory input: no input may
// crash it, hang it or make it allocate beyond what the bytes can describe.
#include "image/tga.h"
#include "read_from_memory.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return ReadFromMemory(data, size, [](ImageInput& in, ImageError* e) { return ReadTGA(in, e); });
}
