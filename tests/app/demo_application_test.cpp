// The application's frame on the headless context, read back pixel by
// pixel, and its camera-key commands.
#include "app/demo_application.h"

#include "app_test_util.h"
#include "gl_test.h"

#include "gl/gles20.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>

namespace {

using apptest::Image;

constexpr int kSize = testsupport::kGLTestWidth;

// Free camera with its eye at `eye`, turned by yaw and pitch.
void PlaceCamera(ShellState& shell, const Vector3& eye, float yaw, float pitch)
{
    shell.camera_offset = -eye;
    shell.yaw = yaw;
    shell.pitch = pitch;
    shell.roll = 0;
}

class DemoApplicationTest : public testsupport::GLTest {
protected:
    struct Shared {
        ShellState shell;
        std::unique_ptr<DemoApplication> app;
    };

    static Shared& Get()
    {
        static Shared shared;
        return shared;
    }

    void SetUp() override
    {
        GLTest::SetUp();
        ASSERT_FALSE(apptest::EnterRunDirectory().empty());
        Shared& s = Get();
        s.shell = ShellState();
        s.shell.window_width = kSize;
        s.shell.window_height = testsupport::kGLTestHeight;
        if (!s.app) {
            const auto start = std::chrono::steady_clock::now();
            s.app = std::make_unique<DemoApplication>(s.shell);
            std::printf("constructed in %.3f s\n",
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        glEnable(GL_POINT_SPRITE);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
    }

    ShellState& Shell() { return Get().shell; }
    DemoApplication& App() { return *Get().app; }

    Image Render(double t)
    {
        App().renderFrame(t);
        return apptest::FromBottomUpRGBA(Context().Width(), Context().Height(), Context().ReadPixels());
    }
};

TEST_F(DemoApplicationTest, Look)
{
    PlaceCamera(Shell(), {0, 20, 25}, 0.0f, 0.7f);
    apptest::SaveForViewing(Render(100), "above");
    PlaceCamera(Shell(), {0, -8, 20}, 0.0f, 0.0f);
    apptest::SaveForViewing(Render(100), "below");
    PlaceCamera(Shell(), {-3, -2, 5}, 0.5f, -0.2f);
    apptest::SaveForViewing(Render(100), "default");
    PlaceCamera(Shell(), {-30, 6, 30}, -0.8f, 0.15f);
    apptest::SaveForViewing(Render(100), "shore");
}

}  // namespace
