// When scripts/sanitize.sh runs a failed test again: only when the leak
// checker's tracer crashed at exit after the test had passed, never for a
// failure of the test's own.
#include "support/tool_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A test's output as gtest prints it, passed or failed, then `tail`.
std::string GTestOutput(bool passed, const std::string& tail = "")
{
    return "[==========] Running 1 test from 1 test suite.\n"
           "[ RUN      ] SkyDomeTest.Horizon\n" +
           std::string(passed ? "[       OK ] SkyDomeTest.Horizon (12 ms)\n[  PASSED  ] 1 test.\n"
                              : "sky_dome_test.cpp:101: Failure\n[  FAILED  ] SkyDomeTest.Horizon (12 ms)\n"
                                "[  FAILED  ] 1 test, listed below:\n") +
           tail;
}

// What the tracer prints when it crashes at exit.
const std::string kTracerCrash =
    "Tracer caught signal 11: addr=0x7f2a00000000 pc=0x55c3a1b2c3d4 sp=0x7f2a1bdfed00\n"
    "==4242==LeakSanitizer has encountered a fatal error.\n"
    "==4242==HINT: For debugging, try setting environment variable "
    "LSAN_OPTIONS=verbosity=1:log_threads=1\n"
    "==4242==HINT: LeakSanitizer does not work under ptrace (strace, gdb, etc)\n";

class SanitizeRetryTest : public testsupport::ToolTest {
protected:
    SanitizeRetryTest() : ToolTest("bash") {}

    // Runs `command` with the script's functions defined.
    int Call(const std::string& command)
    {
        return Run("-c '. \"" NERELLE_SOURCE_DIR "/scripts/sanitize_retry.sh\" && " + command + "'");
    }
    // Whether the output is retried: tracer_crash_only's verdict.
    bool Retried(const std::string& output)
    {
        std::ofstream(dir / "output.txt") << output;
        const int status = Call("tracer_crash_only <\"" + (dir / "output.txt").string() + "\"");
        EXPECT_TRUE(status == 0 || status == 1) << err;
        return status == 0;
    }
    // ctest's logs of a run in which `failed` (name and output) failed.
    void WriteLastRun(const std::vector<std::pair<std::string, std::string>>& failed)
    {
        const fs::path logs = dir / "Testing" / "Temporary";
        fs::create_directories(logs);
        std::ofstream list(logs / "LastTestsFailed.log");
        std::ofstream log(logs / "LastTest.log");
        log << "Start testing: Dec 08 15:04 UTC\n----------------------------------------------------------\n";
        int number = 1;
        for (const auto& [name, output] : failed) {
            list << number << ':' << name << '\n';
            log << number << "/9 Testing: " << name << '\n'
                << number << "/9 Test: " << name << "\nCommand: \"/build/tests/scene/scene_tests\"\n"
                << "Directory: /build/tests/scene\n\"" << name << "\" start time: Dec 08 15:04 UTC\n"
                << "Output:\n----------------------------------------------------------\n"
                << output << "<end of output>\nTest time =   0.31 sec\n"
                << "----------------------------------------------------------\nTest Failed.\n\"" << name
                << "\" end time: Dec 08 15:04 UTC\n\"" << name << "\" time elapsed: 00:00:00\n"
                << "----------------------------------------------------------\n\n";
            ++number;
        }
    }
};

TEST_F(SanitizeRetryTest, TheTracerCrashingAfterTheTestPassedIsRetried)
{
    EXPECT_TRUE(Retried(GTestOutput(true, kTracerCrash)));
    // Standard error cut into a line of standard output.
    EXPECT_TRUE(Retried(GTestOutput(true, "[----------] Global test" + kTracerCrash)));
}

TEST_F(SanitizeRetryTest, EveryOtherFailureIsNot)
{
    const struct {
        const char* what;
        std::string output;
    } cases[] = {
        {"the test failed", GTestOutput(false)},
        {"the test failed, then the tracer crashed", GTestOutput(false, kTracerCrash)},
        {"a leak", GTestOutput(true, "==4242==ERROR: LeakSanitizer: detected memory leaks\n" + kTracerCrash)},
        {"a memory error",
         GTestOutput(true, "==4242==ERROR: AddressSanitizer: heap-use-after-free on address 0x602000000010\n" +
                               kTracerCrash)},
        {"undefined behaviour",
         GTestOutput(true, "water.cpp:12:5: runtime error: signed integer overflow\n" + kTracerCrash)},
        {"another fatal error of the checker",
         GTestOutput(true, "==4242==LeakSanitizer has encountered a fatal error.\n")},
        {"the tracer's signal alone", GTestOutput(true, "Tracer caught signal 11: addr=0x0 pc=0x0 sp=0x0\n")},
        {"no test output at all (a timeout, a crash before main)", kTracerCrash},
        {"nothing", ""},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(Retried(c.output)) << c.what;
}

TEST_F(SanitizeRetryTest, ARunIsRetriedOnlyWhenEveryFailedTestHadTheTracerCrash)
{
    const std::string check = "only_tracer_crashes \"" + dir.string() + "\"";
    WriteLastRun({{"SkyDomeTest.Horizon", GTestOutput(true, kTracerCrash)},
                  {"WaterTest.Surface", GTestOutput(true, kTracerCrash)}});
    EXPECT_EQ(Call(check), 0) << err;
    EXPECT_EQ(err, "");

    WriteLastRun({{"SkyDomeTest.Horizon", GTestOutput(true, kTracerCrash)},
                  {"WaterTest.Surface", GTestOutput(false)},
                  {"BuoyTest.Float", GTestOutput(true, kTracerCrash)}});
    EXPECT_EQ(Call(check), 1);
    EXPECT_EQ(err,
              "sanitize.sh: WaterTest.Surface failed on its own, not by the leak checker's tracer crashing: "
              "not run again\n");

    // A test's output is told apart from the next one's.
    WriteLastRun({{"SkyDomeTest.Horizon", GTestOutput(true)}, {"WaterTest.Surface", GTestOutput(true, kTracerCrash)}});
    EXPECT_EQ(Call(check), 1);
    EXPECT_NE(err.find("SkyDomeTest.Horizon failed on its own"), std::string::npos) << err;

    // No list of failed tests: ctest failed before running any.
    fs::remove(dir / "Testing" / "Temporary" / "LastTestsFailed.log");
    EXPECT_EQ(Call(check), 1);
}

}  // namespace
