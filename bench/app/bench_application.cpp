#include "bench_application.h"

#include "support/run_directory.h"
#include "app/startup.h"
#include "gl/gl_start.h"

BenchApplication::BenchApplication(int width, int height, int window_width, int window_height)
{
    Status status;
    context = StartHeadlessGL(width, height, status);
    if (!context) {
        error = status.reason;
        return;
    }
    if (testsupport::EnterRunDirectory().empty()) {
        error = "cannot make the run directory";
        context.reset();
        return;
    }
    view.window_width = window_width;
    view.window_height = window_height;
    app = CreateApplication(view, kDefaultDiveDirectory, status);
    if (!app) {
        error = status.reason;
        context.reset();
    }
}

void BenchApplication::Place(const Vector3& eye, float yaw, float pitch)
{
    view.camera_offset = -eye;
    view.yaw = yaw;
    view.pitch = pitch;
    view.roll = 0;
}

bool BenchApplication::Ready(benchmark::State& state)
{
    if (!app) {
        state.SkipWithError(("no headless context: " + error).c_str());
        return false;
    }
    context->BindFramebuffer();
    return true;
}
