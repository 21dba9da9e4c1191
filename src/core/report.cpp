#include "core/report.h"

#include <cstdio>

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
