#include "app/app_gl_test_util.h"

#include "support/run_directory.h"
#include "app/startup.h"

#include <memory>
#include <string>

namespace apptest {

namespace fs = std::filesystem;

namespace {

struct SharedApplication {
    ViewState view;
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
    s.view = ViewState();
    s.view.window_width = Context().Width();
    s.view.window_height = Context().Height();
    if (!s.app) {
        Status status;
        s.app = CreateApplication(s.view, kDefaultDiveDirectory, status);
        ASSERT_TRUE(s.app) << status.reason;
    }
}

ViewState& ApplicationTest::View()
{
    return Shared().view;
}

DemoApplication& ApplicationTest::App()
{
    return *Shared().app;
}

void ApplicationTest::Place(const Vector3& eye, float yaw, float pitch)
{
    View().camera_offset = -eye;
    View().yaw = yaw;
    View().pitch = pitch;
    View().roll = 0;
}

FrameRequest ApplicationTest::Request(double t) const
{
    return {t, Shared().view.window_width, Shared().view.window_height, false};
}

}  // namespace apptest
