// A private X server (Xvfb) for tests that need a real window.
//
// Start() picks a display that no server holds (neither /tmp/.X11-unix/X<n>
// nor /tmp/.X<n>-lock exists), starts Xvfb there, and returns only once the
// server has accepted a client connection. A start that fails (another
// server took the display first, or the server did not come up in time) is
// retried on the next free display, so a server that has just exited and
// still holds its display cannot make a test fail. Stop() (or destruction)
// ends the server. One XServer per test fixture; not thread-safe.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace testsupport {

class XServer {
public:
    static constexpr int kAttempts = 5;                 // starts tried before giving up
    static constexpr double kAcceptTimeoutSeconds = 20; // per start, on a busy machine

    XServer() = default;
    ~XServer() { Stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts the server; false (with the reasons in *why) when every attempt failed.
    bool Start(std::string* why = nullptr);
    // Ends the server and waits for it; nothing when none runs.
    void Stop();

    const std::string& Display() const { return display; } // ":<n>", empty when none runs
    int Number() const { return number; }                   // -1 when none runs

private:
    std::string display;
    int number = -1;
    pid_t pid = 0;
};

// The first display number from `from` on (up to `from` + 1000) whose socket
// and lock file are both absent under tmp; -1 when there is none.
int FirstFreeDisplay(int from, const std::filesystem::path& tmp = "/tmp");

// Whether an X server on display n accepts a client: the connection setup
// over its socket under tmp succeeds.
bool DisplayAcceptsClient(int n, const std::filesystem::path& tmp = "/tmp");

}  // namespace testsupport
