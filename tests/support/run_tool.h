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

// `tool` as a command for RunTool that runs under a file-size limit of
// `bytes` (a multiple of 512; set in the child before exec, as setrlimit
// RLIMIT_FSIZE) with SIGXFSZ ignored, so a write past the limit fails with
// EFBIG the way a full disk fails one, instead of ending the process.
std::string UnderFileSizeLimit(const std::string& tool, unsigned long bytes);

// `tool` as a command for RunTool that is killed after `seconds`, so a
// tool that would wait for ever fails its test instead of hanging it.
std::string WithTimeLimit(const std::string& tool, unsigned seconds);

// The whole content of a file, empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);

}  // namespace testsupport
