#include "support/tool_test.h"

namespace testsupport {

int ToolTest::Run(const std::string& arguments)
{
    ToolRun run = RunTool(m_tool, arguments, dir);
    out = std::move(run.out);
    err = std::move(run.err);
    return run.status;
}

}  // namespace testsupport
