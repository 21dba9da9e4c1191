// Runs nerelle-expr the way manifest writers do.
#include "support/tool_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ExprToolTest : public testsupport::ToolTest {
protected:
    ExprToolTest() : ToolTest(NERELLE_EXPR_TOOL) {}
};

TEST_F(ExprToolTest, EvaluatesOneExpression)
{
    EXPECT_EQ(Run("'1 + 2 * 3'"), 0);
    EXPECT_EQ(out, "7\n");
    EXPECT_EQ(Run("'1.5e-1'"), 0);
    EXPECT_EQ(out, "0.15000000000000002\n");  // all 17 digits
    EXPECT_EQ(Run("--t 3 't*2'"), 0);
    EXPECT_EQ(out, "6\n");
    EXPECT_EQ(Run("--t 3 't + x'"), 0);  // other variables stay 0
    EXPECT_EQ(out, "3\n");
    EXPECT_EQ(Run("'t*2'"), 0);          // without --t, t is 0
    EXPECT_EQ(out, "0\n");
    EXPECT_EQ(Run("-- -1+2"), 0);
    EXPECT_EQ(out, "1\n");
    EXPECT_EQ(Run("--t -2 -- -t"), 0);
    EXPECT_EQ(out, "2\n");
}

TEST_F(ExprToolTest, CompileFailureIsAnError)
{
    EXPECT_EQ(Run("'2--1'"), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "error: cannot compile expression\n");
    EXPECT_EQ(Run("pi"), 1);
    EXPECT_EQ(err, "error: cannot compile expression\n");
    EXPECT_EQ(Run(""), 1);        // no expression at all: usage
    EXPECT_EQ(Run("--t"), 1);
    EXPECT_EQ(Run("--t abc t"), 1);
}

TEST_F(ExprToolTest, FileLinesFailOnStandardErrorWithStatusOne)
{
    const fs::path in = dir / "in.txt";
    const std::string name = in.string();
    const struct {
        std::string text;
        int status;
        const char* out;
        std::string err;
    } cases[] = {
        {"1+1\nt*10\r\n", 0, "2\n5\n", ""},
        {"1+1\nbad(\n\nt*10\r\n", 1, "2\n5\n",
         "error: " + name + ":2: cannot compile expression\nerror: " + name + ":3: cannot compile expression\n"},
        {std::string("1\0002\n3\n", 6), 1, "3\n", "error: " + name + ":1: cannot compile expression\n"},
        {"", 0, "", ""},
        // A line of exactly 1 MB is read; one byte more stops the reading.
        {std::string((1 << 20) - 1, ' ') + "7\n8", 0, "7\n8\n", ""},
        {"4\n" + std::string(1 << 20, ' ') + "7\n8\n", 1, "4\n",
         "error: " + name + ":2: line longer than 1 MB; reading stops here\n"},
    };
    for (const auto& c : cases) {
        std::ofstream(in, std::ios::binary) << c.text;
        EXPECT_EQ(Run("--t 0.5 --file " + name), c.status) << c.text.substr(0, 40);
        EXPECT_EQ(out, c.out) << c.text.substr(0, 40);
        EXPECT_EQ(err, c.err) << c.text.substr(0, 40);
    }
    EXPECT_EQ(Run("--file " + (dir / "missing.txt").string()), 1);
    EXPECT_EQ(err.rfind("error: cannot open ", 0), 0u) << err;
}

TEST_F(ExprToolTest, EndlessFileWithoutLineFeedsStopsAtTheLineLimit)
{
    EXPECT_EQ(Run("--file /dev/zero"), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "error: /dev/zero:1: line longer than 1 MB; reading stops here\n");
}

TEST_F(ExprToolTest, HelpPrintsTheUsageOnStandardOutput)
{
    for (const char* arguments : {"--help", "--t 2 --help", "'1+1' --help", "--file x --help"}) {
        EXPECT_EQ(Run(arguments), 0) << arguments;
        EXPECT_EQ(out.rfind("usage: nerelle-expr", 0), 0u) << out;
        for (const char* option : {"--t T", "--file F", "--table A:B:STEP", "--help"})
            EXPECT_NE(out.find(option), std::string::npos) << option;
        EXPECT_EQ(err, "") << arguments;
    }
    // After "--" it is an expression like any other text: minus minus help.
    EXPECT_EQ(Run("-- --help"), 0);
    EXPECT_EQ(out, "0\n");
    EXPECT_EQ(Run("--bogus"), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind("error: usage: nerelle-expr", 0), 0u) << err;
}

TEST_F(ExprToolTest, TableSamplesFromAToB)
{
    EXPECT_EQ(Run("--table 0:1:0.25 't*t'"), 0);
    EXPECT_EQ(out, "0 0\n0.25 0.0625\n0.5 0.25\n0.75 0.5625\n1 1\n");
    EXPECT_EQ(Run("--table 0:0.3:0.1 't'"), 0);  // B reached despite rounding
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
    EXPECT_EQ(Run("--table 0:1:0 t"), 1);
    EXPECT_EQ(Run("--table 1:0:0.5 t"), 1);
    EXPECT_EQ(Run("--table 0:1e12:1e-6 t"), 1);  // would never end
    EXPECT_EQ(Run("--table 0:1 t"), 1);
}

}  // namespace
