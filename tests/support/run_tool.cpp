#include "support/run_tool.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

std::string ReadFileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ToolRun RunTool(const std::string& tool, const std::string& arguments, const std::filesystem::path& scratch)
{
    const std::filesystem::path out = scratch / "tool_stdout.txt", err = scratch / "tool_stderr.txt";
    const std::string command = tool + " " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFileText(out);
    run.err = ReadFileText(err);
    return run;
}

std::string UnderFileSizeLimit(const std::string& tool, unsigned long bytes)
{
    // The shell's ulimit counts the limit in 512-byte blocks.
    return "trap '' XFSZ; ulimit -f " + std::to_string(bytes / 512) + "; exec " + tool;
}

std::string WithTimeLimit(const std::string& tool, unsigned seconds)
{
    return "timeout -s KILL " + std::to_string(seconds) + " " + tool;
}

}  // namespace testsupport
