// Feeds the page file pattern check and formatter with arbitrary patterns:
// a pattern comes from the command line, and a width or precision in it must
// never reach the C library unbounded.
//
// Input: the pattern's bytes (cut at the first zero byte).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "font/bitmap_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string pattern(reinterpret_cast<const char *>(data), size);
    const PagePatternStatus status = CheckPagePattern(pattern.c_str());
    for (unsigned index : {0u, 7u, 4294967295u}) {
        std::string name;
        const bool ok = Format_PagePattern(pattern.c_str(), index, name);
        // Formatting succeeds exactly for the patterns the check accepts, and
        // the check's bound holds for every index.
        if (ok != (status == PagePatternStatus::kOk) || name.size() > kMaxPageFileName)
            std::abort();
    }
    return 0;
}
