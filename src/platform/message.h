// Message boxes of the original design become one line on standard error.
#pragma once

namespace platform {

// Prints "caption: text" and a line feed to standard error.
void ShowMessage(const char* text, const char* caption);

}  // namespace platform
