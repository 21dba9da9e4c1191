#include "support/x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace testsupport {

namespace fs = std::filesystem;

namespace {

fs::path SocketPath(int n, const fs::path& tmp) { return tmp / ".X11-unix" / ("X" + std::to_string(n)); }
fs::path LockPath(int n, const fs::path& tmp) { return tmp / (".X" + std::to_string(n) + "-lock"); }

// Reads exactly size bytes within the deadline.
bool ReadAll(int fd, char* data, size_t size, std::chrono::steady_clock::time_point deadline)
{
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        const ssize_t n = ::read(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Starts Xvfb on display n with its output discarded; 0 when fork fails.
pid_t SpawnXvfb(int n)
{
    // Nothing that allocates between fork and exec.
    const std::string display = ":" + std::to_string(n);
    const pid_t child = ::fork();
    if (child != 0)
        return child < 0 ? 0 : child;
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    // -noreset: the server would otherwise reset when its last client leaves
    // and refuse connections meanwhile, racing with the next client's start.
    ::execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset",
             static_cast<char*>(nullptr));
    ::_exit(127);
}

// Whether the lock file of display n names pid: the server that answers on
// the display is ours, not one that took the display first.
bool LockHeldBy(int n, pid_t pid, const fs::path& tmp)
{
    const int fd = ::open(LockPath(n, tmp).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[32] = {};
    const ssize_t size = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return size > 0 && std::strtol(text, nullptr, 10) == static_cast<long>(pid);
}

}  // namespace

int FirstFreeDisplay(int from, const fs::path& tmp)
{
    for (int n = from; n <= from + 1000; ++n) {
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(SocketPath(n, tmp), ec)) && !fs::exists(fs::symlink_status(LockPath(n, tmp), ec)))
            return n;
    }
    return -1;
}

bool DisplayAcceptsClient(int n, const fs::path& tmp)
{
    const std::string path = SocketPath(n, tmp).string();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool accepted = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        // Connection setup: little-endian, protocol 11.0, no authorisation.
        // The reply starts with 1 when the server accepts the client.
        const char request[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        char reply[8];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        accepted = ::write(fd, request, sizeof request) == static_cast<ssize_t>(sizeof request) &&
                   ReadAll(fd, reply, sizeof reply, deadline) && reply[0] == 1;
    }
    ::close(fd);
    return accepted;
}

bool XServer::Start(std::string* why)
{
    Stop();
    std::string reasons;
    // Test programs running side by side start their search at different
    // numbers, so they rarely reach for the same display.
    int from = 20 + static_cast<int>(::getpid() % 500);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int n = FirstFreeDisplay(from);
        if (n < 0) {
            reasons += "no free display from :" + std::to_string(from) + "; ";
            break;
        }
        from = n + 1;
        const pid_t child = SpawnXvfb(n);
        if (child == 0) {
            reasons += "cannot fork; ";
            continue;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(kAcceptTimeoutSeconds);
        bool up = false;
        int status = 0;
        bool exited = false;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(child, &status, WNOHANG) == child) {
                exited = true;
                break;
            }
            if (LockHeldBy(n, child, "/tmp") && DisplayAcceptsClient(n)) {
                up = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (up) {
            pid = child;
            number = n;
            display = ":" + std::to_string(n);
            return true;
        }
        if (exited) {
            const bool missing = WIFEXITED(status) && WEXITSTATUS(status) == 127;
            reasons += ":" + std::to_string(n) + (missing ? " Xvfb not found (is the xvfb package installed?); "
                                                          : " the server exited at start; ");
            if (missing)
                break;
        } else {
            reasons += ":" + std::to_string(n) + " accepted no client in time; ";
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }
    if (why)
        *why = reasons;
    return false;
}

void XServer::Stop()
{
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    pid = 0;
    number = -1;
    display.clear();
}

}  // namespace testsupport
