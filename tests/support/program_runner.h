// The real program run as a user runs it, in a window on an X server, and
// driven with xdotool. Shared by the tests that start the program under Xvfb.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Runs a shell command with DISPLAY set; returns its standard output
// (standard error is dropped).
std::string RunOnDisplay(const std::string& display, const std::string& command);

// Focuses the window and types the keys (an xdotool key list, options first).
void PressKeys(const std::string& display, const std::string& window, const std::string& keys);

// One run of a program, owned: destruction kills it if it still runs.
// Not thread-safe.
class ProgramRun {
public:
    ProgramRun() = default;
    ~ProgramRun() { Kill(); }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Starts `program` with `arguments` and DISPLAY set, in `cwd`; its
    // standard output and error go to the two files. False when it could
    // not be started.
    bool Start(const std::string& program, const std::string& display, const std::filesystem::path& cwd,
               const std::filesystem::path& out, const std::filesystem::path& err,
               const std::vector<std::string>& arguments = {});

    // Sends `signal` to a program that runs; false when none does.
    bool Signal(int signal);

    // Waits up to `seconds` for the program to end; its wait status, or -1
    // when it still runs (or none was started).
    int Wait(double seconds);
    // Waits like Wait(); the exit code, -1 when it still runs or was killed.
    int ExitCode(double seconds);
    // Whether a started program has not been seen to end.
    bool Running() const { return m_pid > 0; }
    // Kills the program if it still runs, and reaps it.
    void Kill();

    // Polls up to `seconds` until `file` holds `text`; false at the
    // deadline, or as soon as the program has ended without it.
    bool WaitForText(const std::filesystem::path& file, const std::string& text, double seconds);

    // The X id of the visible window titled exactly `title`, polled for up
    // to `seconds`; empty when none showed or the program ended first.
    std::string FindWindow(const std::string& display, const std::string& title, double seconds);

private:
    pid_t m_pid = 0;
};

}  // namespace testsupport
