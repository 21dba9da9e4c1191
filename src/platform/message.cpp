#include "platform/message.h"

#include "core/report.h"

namespace platform {

void ShowMessage(const char* text, const char* caption)
{
    PrintLine(caption, text);
}

}  // namespace platform
