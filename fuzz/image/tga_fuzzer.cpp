// Feeds arbitrary bytes to the TGA reader as an in-memory file: no input may
// crash it, hang it or make it allocate beyond what the bytes can describe.
#include "image/tga.h"
#include "read_from_memory.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return ReadFromMemory(const_cast<uint8_t*>(data), size, [](FILE* f) { return ReadTGA(f); });
}
