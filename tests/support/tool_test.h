// Fixture for the tests of a command-line tool: a fresh scratch directory of
// the test's own, and the tool run as a user runs it, with what it printed
// kept for the checks that follow.
#pragma once

#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace testsupport {

class ToolTest : public ::testing::Test {
protected:
    // `tool`: the program, as a command for RunTool.
    explicit ToolTest(std::string tool) : m_tool(std::move(tool)) {}

    // Runs the tool with `arguments` (quoted as the shell needs them);
    // returns its exit status, keeps its standard output in `out` and its
    // standard error in `err`.
    int Run(const std::string& arguments);
    static std::string ReadFile(const std::filesystem::path& path) { return ReadFileText(path); }

    ScratchDir scratch;
    const std::filesystem::path dir = scratch.Path();
    std::string out, err;

private:
    std::string m_tool;
};

}  // namespace testsupport
