#include "app/headless_run.h"
#include "app/key_commands.h"
#include "app/options.h"
#include "app/window_shell.h"
#include "core/report.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const ParsedOptions parsed = ParseOptions(argc, argv);
    if (!parsed.error.empty()) {
        PrintError(parsed.error);
        std::fprintf(stderr, "\n%s", UsageText(KeyCommandsUsage()).c_str());
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(UsageText(KeyCommandsUsage()).c_str(), stdout);
        return 0;
    }
    return options.headless ? RunHeadless(options) : RunWindowShell(options);
}
