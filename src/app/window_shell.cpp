#include "app/window_shell.h"

#include "app/demo_application.h"
#include "app/key_commands.h"
#include "app/startup.h"
#include "app/view_state.h"
#include "gl/gl_start.h"
#include "gl/gles20.h"
#include "core/report.h"
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
// returns at once and the frames run after it.
ViewState g_view;
Options g_options;
std::unique_ptr<DemoApplication> g_application;  // set once constructed; callbacks test it first
unsigned long g_frames_drawn = 0;

// exit() (Esc, closing the window) runs this before static destructors:
// the window's context may be gone by then, so the application is let go
// rather than destroyed; the process is ending anyway.
void LetApplicationGo()
{
    (void)g_application.release();
}

void OnReshape(int width, int height)
{
    g_view.window_width = width;
    g_view.window_height = height;
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
    View_OnMouse(g_view, button, state, x, y);
}

void OnMotion(int x, int y)
{
    // A drag steers the view on screen, the follow camera's too.
    if (g_application && View_Dragging(g_view))
        g_application->TakeOverSteering();
    View_OnMotion(g_view, x, y);
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

}  // namespace

int RunWindowShell(const Options& options)
{
    ViewState& view = g_view;
    std::vector<std::string> arguments = options.window_arguments;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int argc = int(arguments.size());
    platform::Window_Init(&argc, argv.data());
    platform::Window_Create("Nerelle Demo", view.window_width, view.window_height, 200, 200);
    if (const Status started = StartGL(); !started) {
        PrintError(started.reason);
        return EXIT_FAILURE;
    }
    std::atexit(LetApplicationGo);

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
    g_application.reset();
    return 0;
}

bool OpenWindowDataset(const std::string& directory)
{
    Status status;
    std::string import_report;
    std::unique_ptr<DemoApplication> application =
        CreateApplication(g_view, directory, status, &g_options, &import_report);
    std::fputs(import_report.c_str(), stderr);
    if (!application) {
        PrintError(status.reason);
        return false;
    }
    // The new one is whole before the old one goes.
    g_application = std::move(application);
    return true;
}

DemoApplication* WindowApplication()
{
    return g_application.get();
}

ViewState& WindowViewState()
{
    return g_view;
}

unsigned long WindowFramesDrawn()
{
    return g_frames_drawn;
}
