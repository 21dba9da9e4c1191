// Runs the real program as a user does: in a real window on an X server
// (Xvfb), checking what it prints, its window, and that Esc ends it cleanly.
#include "x_server.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kControlSummary =
    "controls:\n"
    "n: onPushSplinePose()\n"
    "m: onPlayAnimation()\n"
    "j: onResetAnimation()\n"
    "k: onSaveAnimation()\n"
    "l: onLoadAnimation()\n";

// Starts argv with the given environment additions; stdout and stderr go to files.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const fs::path& cwd,
            const fs::path& out, const fs::path& err)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    for (const auto& e : env)
        putenv(strdup(e.c_str()));
    if (chdir(cwd.c_str()) != 0)
        _exit(126);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Waits up to `seconds` for pid; returns its wait status, or -1 on timeout.
int WaitFor(pid_t pid, double seconds)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs a shell command with DISPLAY set and returns its standard output.
std::string Capture(const std::string& display, const std::string& command)
{
    std::string full = "DISPLAY=" + display + " " + command + " 2>/dev/null";
    FILE* f = popen(full.c_str(), "r");
    if (!f)
        return {};
    std::string text;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, f))
        text.append(buf, n);
    pclose(f);
    return text;
}

class ProgramWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("nerelle-window-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        std::string why;
        ASSERT_TRUE(m_xserver.Start(&why)) << "no X server: " << why;
        m_display = m_xserver.Display();
    }

    void TearDown() override
    {
        if (m_program > 0 && WaitFor(m_program, 0) == -1) {
            kill(m_program, SIGKILL);
            waitpid(m_program, nullptr, 0);
        }
        m_xserver.Stop();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    void StartProgram(const fs::path& run_dir = NERELLE_RUN_DIR)
    {
        m_program = Spawn({NERELLE_PROGRAM}, {"DISPLAY=" + m_display}, run_dir, m_dir / "out.txt",
                          m_dir / "err.txt");
        ASSERT_GT(m_program, 0);
    }

    // The X window id of the program's window, once it is mapped.
    std::string FindWindow()
    {
        for (int i = 0; i < 600; ++i) {
            std::string id = Capture(m_display, "xdotool search --onlyvisible --name '^Nerelle Demo$'");
            if (!id.empty())
                return id.substr(0, id.find('\n'));
            if (WaitFor(m_program, 0.1) != -1) {
                ADD_FAILURE() << "the program ended before its window showed:\n" << Slurp(m_dir / "err.txt");
                m_program = 0;
                return {};
            }
        }
        return {};
    }

    // A copy of the program's data directory with the given solution text.
    fs::path RunDirWithSolution(const std::string& solution)
    {
        const fs::path run = m_dir / "solution-run";
        fs::create_directories(run / "data" / "spiral_long");
        fs::copy_file(fs::path(NERELLE_RUN_DIR) / "data" / "spiral_long" / "manifest.txt",
                      run / "data" / "spiral_long" / "manifest.txt", fs::copy_options::overwrite_existing);
        std::ofstream(run / "data" / "spiral_long" / "solution.txt") << solution;
        return run;
    }

    // Presses Esc in the program's window; returns its exit status, -1 when
    // it did not end normally.
    int EndWithEscape(const std::string& window)
    {
        Capture(m_display, "xdotool windowfocus --sync " + window + " key Escape");
        int status = WaitFor(m_program, 60);
        if (status == -1)
            return -1;
        m_program = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path m_dir;
    testsupport::XServer m_xserver;
    std::string m_display;
    pid_t m_program = 0;
};

TEST_F(ProgramWindowTest, OpensItsWindowPrintsTheControlsAndEndsOnEscape)
{
    StartProgram();
    std::string window = FindWindow();
    ASSERT_FALSE(window.empty()) << "no window titled \"Nerelle Demo\" appeared";

    EXPECT_EQ(Capture(m_display, "xdotool getwindowname " + window), "Nerelle Demo\n");
    std::string geometry = Capture(m_display, "xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Geometry: 720x480"), std::string::npos) << geometry;

    // Some frames must have been drawn before the key arrives; the first
    // ones can take a while on a software renderer.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Capture(m_display, "xdotool windowfocus --sync " + window + " key Escape");
    int status = WaitFor(m_program, 60);
    ASSERT_NE(status, -1) << "the program did not end after Esc";
    m_program = 0;
    ASSERT_TRUE(WIFEXITED(status)) << "the program was killed by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0) << Slurp(m_dir / "err.txt");

    std::string out = Slurp(m_dir / "out.txt");
    EXPECT_EQ(out.substr(0, std::strlen(kControlSummary)), kControlSummary) << out;
    EXPECT_EQ(Slurp(m_dir / "err.txt").find("warning: "), std::string::npos) << Slurp(m_dir / "err.txt");
}

TEST_F(ProgramWindowTest, WarnsAtStartAboutMoreThanAFewIgnoredSolutionLines)
{
    const struct {
        const char* solution;
        const char* warning;  // expected line on standard error, "" for no warning at all
    } cases[] = {
        {"1\t2\t3\n4 5 6 0 0 1\n1\t2\t3\n1\t2\t3\n", ""},  // three: a few
        {"1 2 3\n1\t2\t3\t0\t0\t1\n1\t2\n1\t2\n1\t2\n",
         "warning: 4 solution lines ignored (neither 3 nor 6 numbers separated by spaces); "
         "the first, line 2: \"1\\t2\\t3\\t0\\t0\\t1\"\n"},
    };
    for (const auto& c : cases) {
        StartProgram(RunDirWithSolution(c.solution));
        std::string window = FindWindow();
        ASSERT_FALSE(window.empty()) << c.solution;
        ASSERT_EQ(EndWithEscape(window), 0);
        const std::string err = Slurp(m_dir / "err.txt");
        if (*c.warning)
            EXPECT_NE(err.find(c.warning), std::string::npos) << err;
        else
            EXPECT_EQ(err.find("warning: "), std::string::npos) << err;
        EXPECT_EQ(Slurp(m_dir / "out.txt").substr(0, std::strlen(kControlSummary)), kControlSummary);
    }
}

TEST_F(ProgramWindowTest, KeepsRunningUnderMouseDragsAndMovementKeys)
{
    StartProgram();
    std::string window = FindWindow();
    ASSERT_FALSE(window.empty());
    Capture(m_display, "xdotool windowfocus --sync " + window +
                           " mousemove --window " + window + " 100 100 mousedown 1 mousemove --window " + window +
                           " 400 300 mouseup 1 mousedown 3 mousemove --window " + window +
                           " 200 200 mouseup 3 key w a s d W");
    EXPECT_EQ(WaitFor(m_program, 1.0), -1) << "the program ended on drags or movement keys:\n"
                                            << Slurp(m_dir / "err.txt");
    EXPECT_EQ(EndWithEscape(window), 0);
}

TEST_F(ProgramWindowTest, AMissingDatasetEndsWithItsMessageAndStatusOne)
{
    const fs::path empty = m_dir / "empty-run";
    fs::create_directories(empty);
    StartProgram(empty);
    int status = WaitFor(m_program, 60);
    ASSERT_NE(status, -1) << "the program kept running without its dataset";
    m_program = 0;
    ASSERT_TRUE(WIFEXITED(status)) << "the program was killed by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = Slurp(m_dir / "err.txt");
    EXPECT_NE(err.find("error: failed to open solution\n"), std::string::npos) << err;
}

TEST_F(ProgramWindowTest, AMalformedManifestEndsWithItsMessageAndStatusOne)
{
    const fs::path run = m_dir / "bad-run";
    fs::create_directories(run / "data" / "spiral_long");
    fs::copy_file(fs::path(NERELLE_RUN_DIR) / "data" / "spiral_long" / "solution.txt",
                  run / "data" / "spiral_long" / "solution.txt");
    std::ofstream(run / "data" / "spiral_long" / "manifest.txt") << "time=100\ndt=0\n";
    StartProgram(run);
    int status = WaitFor(m_program, 60);
    ASSERT_NE(status, -1);
    m_program = 0;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = Slurp(m_dir / "err.txt");
    EXPECT_NE(err.find("error: failed to read manifest\n"), std::string::npos) << err;
}

}  // namespace
