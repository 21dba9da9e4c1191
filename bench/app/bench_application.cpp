#include "bench_application.h"

#include "support/run_directory.h"
#include "gl/gles20.h"

BenchApplication::BenchApplication(int width, int height, int window_width, int window_height)
{
    context = platform::HeadlessContext::Create(width, height, &error);
    if (!context)
        return;
    CGLES20ExtensionHandler::Init_GLES20();
    CGLES20ExtensionHandler::Init_VertexArrayObject();
    glEnable(GL_POINT_SPRITE);
    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
    if (testsupport::EnterRunDirectory().empty()) {
        error = "cannot make the run directory";
        context.reset();
        return;
    }
    shell.window_width = window_width;
    shell.window_height = window_height;
    app = std::make_unique<DemoApplication>(shell);
}

void BenchApplication::Place(const Vector3& eye, float yaw, float pitch)
{
    shell.camera_offset = -eye;
    shell.yaw = yaw;
    shell.pitch = pitch;
    shell.roll = 0;
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
