#include "run_tool.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

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

}  // namespace testsupport
