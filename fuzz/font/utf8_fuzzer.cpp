// Decodes the input as UTF-8 text the way the GL font walks a string and
// checks what every caller relies on: progress, bounds and valid results.
#include <cstdint>
#include <cstdlib>

#include "font/unicode_blocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t at = 0;
    while (at < size) {
        int consumed = 0;
        const int32_t code = Decode_UTF8(data + at, size - at, consumed);
        if (consumed < 1 || consumed > 4 || size_t(consumed) > size - at)
            std::abort();
        if (code != -1) {
            if (code < 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                std::abort();
            // Overlong forms are accepted, so only one direction holds.
            if (code >= 0x80 && consumed == 1)
                std::abort();
        }
        at += size_t(consumed);
    }
    return 0;
}
