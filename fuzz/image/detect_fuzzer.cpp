// Feeds arbitrary bytes to reading by content (no extension): format
// detection, then the TGA and JPEG fallback on one input that must go back
// to its start between the attempts.
#include "image/image_file.h"
#include "read_from_memory.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return ReadFromMemory(data, size, [](ImageInput& in, ImageError* e) { return ReadImage(in, ImageKind::kNone, e); });
}
