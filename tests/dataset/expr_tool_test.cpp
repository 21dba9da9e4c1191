// Runs nerelle-expr the way manifest writers do.
#include "run_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ExprToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("nerelle_expr_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string ReadFile(const fs::path& path) { return testsupport::ReadFileText(path); }
    // Runs the tool with arguments; returns its exit status, keeps its output.
    int Run(const std::string& arguments)
    {
        testsupport::ToolRun run = testsupport::RunTool(NERELLE_EXPR_TOOL, arguments, dir);
        out = run.out;
        err = run.err;
        return run.status;
    }

    fs::path dir;
    std::string out, err;
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

TEST_F(ExprToolTest, FileGivesOneLinePerInputLine)
{
    std::ofstream(dir / "in.txt") << "1+1\nbad(\n\nt*10\r\n";
    EXPECT_EQ(Run("--t 0.5 --file " + (dir / "in.txt").string()), 0);
    EXPECT_EQ(out, "2\nerror\nerror\n5\n");
    EXPECT_EQ(Run("--file " + (dir / "missing.txt").string()), 1);
    EXPECT_NE(err.find("error: "), std::string::npos);
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
