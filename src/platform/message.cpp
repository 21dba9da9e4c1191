#include "platform/message.h"

#include <cstdio>

namespace platform {

void ShowMessage(const char* text, const char* caption)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

}  // namespace platform
