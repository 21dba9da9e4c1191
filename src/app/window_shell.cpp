#include "app/window_shell.h"

#include "app/demo_application.h"
#include "app/key_commands.h"
#include "app/shell_state.h"
#include "gl/gles20.h"
#include "platform/window.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the callbacks share: they take no user pointer. The application
// lives here, not on RunWindowShell's stack: in the web page the main loop
// returns at once and the frames run after it. It is owned through a plain
// pointer so that exit() (Esc, closing the window) does not destroy it after
// the window's context may be gone.
ShellState g_shell;
Options g_options;
DemoApplication* g_application = nullptr;  // set once constructed; callbacks test it first
unsigned long g_frames_drawn = 0;

void OnReshape(int width, int height)
{
    g_shell.window_width = width;
    g_shell.window_height = height;
    glViewport(0, 0, width, height);
}

void Dispatch(int key)
{
    if (!g_application)
        return;
    const KeyCommand* command = DispatchKey(*g_application, key);
    if (command && command->redisplay)
        platform::Window_PostRedisplay();
}

void OnKeyboard(unsigned char key, int, int)
{
    Dispatch(key);
}

void OnSpecial(int key, int, int)
{
    Dispatch(kSpecialKeyBase + key);
}

void OnMouse(int button, int state, int x, int y)
{
    Shell_OnMouse(g_shell, button, state, x, y);
}

void OnMotion(int x, int y)
{
    Shell_OnMotion(g_shell, x, y);
}

void OnDisplay()
{
    if (g_application) {
        g_application->Tick();
        ++g_frames_drawn;
    }
    platform::Window_SwapBuffers();
    platform::Window_PostRedisplay();
}

// A context without these entry points would crash at the first call
// through a null pointer; say which are missing and stop instead.
bool ReportMissingEntryPoints()
{
    const auto missing = CGLES20ExtensionHandler::Missing_EntryPoints();
    if (missing.empty())
        return false;
    std::fprintf(stderr, "error: the OpenGL context lacks %zu entry point%s:", missing.size(),
                 missing.size() == 1 ? "" : "s");
    for (const char* name : missing)
        std::fprintf(stderr, " %s", name);
    std::fprintf(stderr, "\n");
    return true;
}

}  // namespace

int RunWindowShell(const Options& options)
{
    ShellState& shell = g_shell;
    std::vector<std::string> arguments = options.window_arguments;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int argc = int(arguments.size());
    platform::Window_Init(&argc, argv.data());
    platform::Window_Create("Nerelle Demo", shell.window_width, shell.window_height, 200, 200);

    CGLES20ExtensionHandler::Init_GLES20();
    CGLES20ExtensionHandler::Init_VertexArrayObject();
    if (ReportMissingEntryPoints())
        return EXIT_FAILURE;

    std::printf("controls:\nn: onPushSplinePose()\nm: onPlayAnimation()\nj: onResetAnimation()\n"
                "k: onSaveAnimation()\nl: onLoadAnimation()\n");
    std::fflush(stdout);

    // A dataset that cannot be loaded ends the program with its message,
    // not with an uncaught exception and a core dump.
    g_options = options;
    if (!OpenWindowDataset(options.data.empty() ? kDefaultDiveDirectory : options.data))
        return EXIT_FAILURE;

    platform::WindowCallbacks callbacks;
    callbacks.reshape = &OnReshape;
    callbacks.keyboard = &OnKeyboard;
    callbacks.mouse = &OnMouse;
    callbacks.motion = &OnMotion;
    callbacks.display = &OnDisplay;
    callbacks.special = &OnSpecial;
    platform::Window_SetCallbacks(callbacks);
    platform::Window_MainLoop();
    delete std::exchange(g_application, nullptr);
    return 0;
}

bool OpenWindowDataset(const std::string& directory)
{
    std::unique_ptr<DemoApplication> application;
    try {
        application = std::make_unique<DemoApplication>(g_shell, directory);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return false;
    }
    ApplyViewOptions(*application, g_options);
    delete std::exchange(g_application, application.release());
    return true;
}

DemoApplication* WindowApplication()
{
    return g_application;
}

ShellState& WindowShellState()
{
    return g_shell;
}

unsigned long WindowFramesDrawn()
{
    return g_frames_drawn;
}
