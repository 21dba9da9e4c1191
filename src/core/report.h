// What the programs say to their user on standard error. Libraries return a
// Status and print nothing; the program (or tool) that can tell the user
// prints the reason through these, so every line has the same form.
#pragma once

#include <string>

// "error: reason" on one line of standard error.
void PrintError(const std::string& reason);
// "warning: text" on one line of standard error.
void PrintWarning(const std::string& text);
// "prefix: text" on one line of standard error.
void PrintLine(const char* prefix, const std::string& text);

// printf-style text for those lines, however long it comes out.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
