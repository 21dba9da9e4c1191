#include "app/capture_commands.h"

#include "app/demo_application.h"
#include "app/recording.h"
#include "app/screenshot.h"
#include "gl/gles20.h"

#include <cstdio>

void Shell_ToggleWireframe(ShellState& state)
{
    state.wireframe = !state.wireframe;
    glPolygonMode(GL_FRONT_AND_BACK, state.wireframe ? GL_LINE : GL_FILL);
}

void DrawSceneCopies(DemoApplication& app, double t)
{
    app.renderSceneCopies(t);
}

void Shell_Screenshot(ShellState& state)
{
    DemoApplication* app = state.application;
    if (!app)
        return;
    // The view of the window's next frame: one clock reading for both
    // passes, so the surface shows copies made at the same moment; no
    // buffer swap, nothing was drawn into the window to show.
    if (app->first_frame_pending)
        app->Tick();  // starts the clock as the first frame does
    const double t = app->clock.Read();
    SaveScreenshot(
        state, [app, t] { app->renderFrame(t); }, "screenshots", [app, t] { DrawSceneCopies(*app, t); });
}

void Shell_Record(ShellState& state)
{
    DemoApplication* app = state.application;
    if (!app)
        return;
    unsigned frames = 0;
    const CameraKeyStatus status = app->animation.PrepareRecording(app->clock.Read(), frames);
    if (!status) {
        std::fprintf(stderr, "error: %s\n", status.reason.c_str());
        return;
    }
    app->clock.Reset();
    RecordingSettings settings;
    settings.render_scene_copies = [app](double t) { DrawSceneCopies(*app, t); };
    const RecordingResult result = RecordFrames(
        state, frames, {}, [app](double t) { app->renderFrame(t); }, settings);
    if (!result.started)
        app->animation.playing = false;  // nothing was recorded: the free camera stays
}
