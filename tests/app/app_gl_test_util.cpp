#include "app_gl_test_util.h"

#include "app_test_util.h"

#include <unistd.h>

#include <memory>
#include <string>

namespace apptest {

namespace fs = std::filesystem;

void ScratchDirTest::SetUp()
{
    GLTest::SetUp();
    const std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
    m_dir = fs::temp_directory_path() / ("nerelle-" + suite + "-" + std::to_string(getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
}

void ScratchDirTest::TearDown()
{
    std::error_code ec;
    fs::remove_all(m_dir, ec);
    Context().BindFramebuffer();
    GLTest::TearDown();
}

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
    ASSERT_FALSE(EnterRunDirectory().empty()) << "cannot make the run directory";
    SharedApplication& s = Shared();
    s.shell = ShellState();
    s.shell.window_width = Context().Width();
    s.shell.window_height = Context().Height();
    if (!s.app)
        s.app = std::make_unique<DemoApplication>(s.shell);
    s.shell.application = s.app.get();
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

void ClearHalves(const std::array<float, 3>& top, const std::array<float, 3>& bottom)
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glClearColor(top[0], top[1], top[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, viewport[2], viewport[3] / 2);
    glClearColor(bottom[0], bottom[1], bottom[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

std::pair<int, int> ViewportSize()
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return {viewport[2], viewport[3]};
}

}  // namespace apptest
