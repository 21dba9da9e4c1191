#include "app/app_gl_test_util.h"

#include "support/run_directory.h"

#include <memory>
#include <string>

namespace apptest {

namespace fs = std::filesystem;

namespace {

struct SharedApplication {
    ShellState shell;
    std::unique_ptr<DemoApplication> app;
};

SharedApplication& Shared()
{
    static SharedApplication shared;
    return shared;
}

}  // namespace

void ApplicationTest::SetUp()
{
    GLTest::SetUp();
    ASSERT_FALSE(testsupport::EnterRunDirectory().empty()) << "cannot make the run directory";
    SharedApplication& s = Shared();
    s.shell = ShellState();
    s.shell.window_width = Context().Width();
    s.shell.window_height = Context().Height();
    if (!s.app)
        s.app = std::make_unique<DemoApplication>(s.shell);
    glEnable(GL_POINT_SPRITE);
    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
}

ShellState& ApplicationTest::Shell()
{
    return Shared().shell;
}

DemoApplication& ApplicationTest::App()
{
    return *Shared().app;
}

void ApplicationTest::Place(const Vector3& eye, float yaw, float pitch)
{
    Shell().camera_offset = -eye;
    Shell().yaw = yaw;
    Shell().pitch = pitch;
    Shell().roll = 0;
}

FrameRequest ApplicationTest::Request(double t) const
{
    return {t, Shared().shell.window_width, Shared().shell.window_height, false};
}

}  // namespace apptest
