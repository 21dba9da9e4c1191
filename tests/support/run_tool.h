// Runs a command-line tool as a user would, through the shell, and keeps
// what it printed. Shared by the tests of every tool.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

struct ToolRun {
    int status = -1;  // exit status, -1 when the tool did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs "tool arguments" through the shell (quote arguments as a shell
// would need), with its two outputs captured through files in `scratch`.
ToolRun RunTool(const std::string& tool, const std::string& arguments, const std::filesystem::path& scratch);

// The whole content of a file, empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);

}  // namespace testsupport
