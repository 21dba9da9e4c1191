// What the web page's script may ask of the program while it runs in the
// page's canvas: the playback controls and the views that the keys reach
// only step by step, exact, so a page (and its tests) can show a given
// moment from a given pose; and opening another dataset, dropped on the
// page or fetched from a URL into the page's file system.
//
// Each function acts on the window's application and does nothing (or
// answers 0) while there is none.
#include "app/demo_application.h"
#include "app/view_state.h"
#include "app/window_shell.h"
#include "core/report.h"

#include <emscripten/emscripten.h>

#include <cstdio>

namespace {

template <typename Action>
void WithApplication(Action action)
{
    if (DemoApplication* application = WindowApplication())
        action(*application);
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void nerelle_pause(int paused)
{
    WithApplication([&](DemoApplication& a) { a.Timeline().SetPaused(paused != 0); });
}

EMSCRIPTEN_KEEPALIVE void nerelle_seek(double t)
{
    WithApplication([&](DemoApplication& a) { a.Timeline().Seek(t); });
}

// The free camera's eye and angles (radians; pitch > 0 looks down), no roll.
EMSCRIPTEN_KEEPALIVE void nerelle_place(float x, float y, float z, float yaw, float pitch)
{
    ViewState& view = WindowViewState();
    view.camera_offset = -Vector3(x, y, z);
    view.yaw = yaw;
    view.pitch = pitch;
    view.roll = 0;
}

EMSCRIPTEN_KEEPALIVE void nerelle_hud(int visible)
{
    WithApplication([&](DemoApplication& a) { a.View().hud_visible = visible != 0; });
}

EMSCRIPTEN_KEEPALIVE void nerelle_bar(int visible)
{
    WithApplication([&](DemoApplication& a) { a.View().bar_visible = visible != 0; });
}

EMSCRIPTEN_KEEPALIVE void nerelle_error_view(int on)
{
    WithApplication([&](DemoApplication& a) { a.View().error_view = on != 0; });
}

EMSCRIPTEN_KEEPALIVE void nerelle_follow(int on)
{
    WithApplication([&](DemoApplication& a) { a.View().follow = on != 0; });
}

// Loads camera keys from a file of the page and plays them from time 0;
// 0 with the "error: " line when they cannot be loaded or played.
EMSCRIPTEN_KEEPALIVE int nerelle_fly_keys(const char* path)
{
    DemoApplication* a = WindowApplication();
    if (!a || !path)
        return 0;
    const CameraKeyStatus loaded = a->Animation().Load(path, a->Clock().Read());
    if (!loaded) {
        PrintError(loaded.reason);
        return 0;
    }
    a->onPlayAnimation();
    return a->Animation().Playing() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void nerelle_stop_keys()
{
    WithApplication([](DemoApplication& a) { a.onResetAnimation(); });
}

EMSCRIPTEN_KEEPALIVE double nerelle_time()
{
    DemoApplication* a = WindowApplication();
    return a ? a->Timeline().Time() : 0.0;
}

// The time's position within the dataset's playback period: what the bar
// shows, and where the diver is.
EMSCRIPTEN_KEEPALIVE double nerelle_position()
{
    DemoApplication* a = WindowApplication();
    return a ? a->Timeline().InPeriod() : 0.0;
}

EMSCRIPTEN_KEEPALIVE int nerelle_paused()
{
    DemoApplication* a = WindowApplication();
    return a && a->Timeline().Paused() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int nerelle_speed_level()
{
    DemoApplication* a = WindowApplication();
    return a ? a->Timeline().SpeedLevel() : 0;
}

EMSCRIPTEN_KEEPALIVE int nerelle_playing()
{
    DemoApplication* a = WindowApplication();
    return a && a->Animation().Playing() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int nerelle_keys()
{
    DemoApplication* a = WindowApplication();
    return a ? int(a->Animation().Keys().size()) : 0;
}

// Whether the program runs in the page: once its main function has
// returned, 0 means that it stopped at start-up (its "error: " line says why).
EMSCRIPTEN_KEEPALIVE int nerelle_running()
{
    return WindowApplication() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE double nerelle_frames()
{
    return double(WindowFramesDrawn());
}

// Replaces the dataset by the one in `directory` of the page's file system;
// 0, with the dataset shown before kept, when it cannot be loaded.
EMSCRIPTEN_KEEPALIVE int nerelle_open_dataset(const char* directory)
{
    return directory && OpenWindowDataset(directory) ? 1 : 0;
}

}  // extern "C"
