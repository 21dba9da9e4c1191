#include "support/program_runner.h"

#include "support/run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace testsupport {

namespace fs = std::filesystem;

std::string RunOnDisplay(const std::string& display, const std::string& command)
{
    FILE* f = popen(("DISPLAY=" + display + " " + command + " 2>/dev/null").c_str(), "r");
    if (!f)
        return {};
    std::string text;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, f))
        text.append(buf, n);
    pclose(f);
    return text;
}

void PressKeys(const std::string& display, const std::string& window, const std::string& keys)
{
    RunOnDisplay(display, "xdotool windowfocus --sync " + window + " key " + keys);
}

bool ProgramRun::Start(const std::string& program, const std::string& display, const fs::path& cwd,
                       const fs::path& out, const fs::path& err, const std::vector<std::string>& arguments)
{
    Kill();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid > 0) {
        m_pid = pid;
        return true;
    }
    setenv("DISPLAY", display.c_str(), 1);
    if (chdir(cwd.c_str()) != 0)
        _exit(126);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0)
        _exit(126);
    dup2(o, 1);
    dup2(e, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
}

bool ProgramRun::Signal(int signal)
{
    return m_pid > 0 && kill(m_pid, signal) == 0;
}

int ProgramRun::Wait(double seconds)
{
    if (m_pid <= 0)
        return -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = 0;
            return status;
        }
        if (std::chrono::steady_clock::now() >= until)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int ProgramRun::ExitCode(double seconds)
{
    const int status = Wait(seconds);
    return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

void ProgramRun::Kill()
{
    if (Wait(0) != -1 || m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = 0;
}

bool ProgramRun::WaitForText(const fs::path& file, const std::string& text, double seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (ReadFileText(file).find(text) != std::string::npos)
            return true;
        if (Wait(0.1) != -1)  // ended: what it wrote last is in the file now
            return ReadFileText(file).find(text) != std::string::npos;
    }
    return false;
}

std::string ProgramRun::FindWindow(const std::string& display, const std::string& title, double seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        const std::string ids = RunOnDisplay(display, "xdotool search --onlyvisible --name '^" + title + "$'");
        if (!ids.empty())
            return ids.substr(0, ids.find('\n'));
        if (Wait(0.1) != -1)
            return {};
    }
    return {};
}

}  // namespace testsupport
