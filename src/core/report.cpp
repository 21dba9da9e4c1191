#include "core/report.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

void PrintLine(const char* prefix, const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", prefix, text.c_str());
    std::fflush(stderr);
}

void PrintError(const std::string& reason)
{
    PrintLine("error", reason);
}

void PrintWarning(const std::string& text)
{
    PrintLine("warning", text);
}

std::string FormatText(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(size_t(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), size_t(length));
    }
    va_end(again);
    return text;
}
