// Feeds arbitrary bytes to the JPEG decoder as an in-memory file: no input may
// crash it, hang it or make it allocate beyond what the bytes can describe.
#include "image/jpeg_decoder.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f)
        return 0;
    BitmapPtr bitmap(ReadJPEG(f));
    if (bitmap && bitmap->width > 0 && bitmap->height > 0) {
        // Touch the corners so a short buffer shows under AddressSanitizer.
        volatile uint32_t sink = bitmap->pixels[0] ^ bitmap->Row(bitmap->height - 1)[bitmap->width - 1];
        (void)sink;
    }
    std::fclose(f);
    return 0;
}
