// The f, p and v keys with the real application on the headless context, in
// a private run directory: the recording of camera keys ending at 1.0 s,
// and a screenshot compared with a window-sized frame of the same view.
#include "app/demo_application.h"
#include "app/key_commands.h"
#include "capture/image_capture.h"
#include "capture/recording.h"
#include "capture/screenshot.h"
#include "image/png_file.h"
#include "image/tga.h"

#include "app/app_gl_test_util.h"
#include "support/rgba_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::RgbaImage;

// Columns x0 .. x0 + w - 1 of a top-down bitmap, area-averaged down to
// width x height and rounded to bytes; opaque.
RgbaImage Shrink(const TBitmap& b, int x0, int w, int width, int height)
{
    // Weight of source index j in target index i along an axis of m -> k.
    auto weights = [](int m, int k) {
        std::vector<std::vector<std::pair<int, double>>> table;
        table.resize(size_t(k));
        const double scale = double(m) / k;
        for (int i = 0; i < k; ++i)
            for (int j = int(i * scale); j < m && j < (i + 1) * scale; ++j)
                table[size_t(i)].push_back(
                    {j, (std::min((i + 1) * scale, j + 1.0) - std::max(i * scale, double(j))) / scale});
        return table;
    };
    const auto wx = weights(w, width), wy = weights(b.height, height);
    RgbaImage out{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 4, 255)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                float sum = 0;
                for (const auto& [sy, ay] : wy[size_t(y)])
                    for (const auto& [sx, ax] : wx[size_t(x)])
                        sum += float(ay * ax * double((b.Row(sy)[x0 + sx] >> (8 * c)) & 0xFF));
                out.At(x, y)[c] = uint8_t(std::lround(std::clamp(sum, 0.0f, 255.0f)));
            }
    return out;
}

class CaptureCommandsTest : public apptest::ApplicationTest {
protected:
    void SetUp() override
    {
        ApplicationTest::SetUp();
        if (HasFatalFailure())
            return;
        App().Animation().Reset();
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all("frames", ec);
        fs::remove_all("screenshots", ec);
        Context().BindFramebuffer();
        ApplicationTest::TearDown();
    }

    // The application's frame at t, rendered off-screen at width x height
    // as the commands do; top row first.
    BitmapPtr Frame(double t, int width, int height)
    {
        BitmapPtr bitmap(TBitmap::Create(width, height, false, false, 8));
        const Status rendered = ImageRenderer(FramebufferSampleCount()).Render(*bitmap, t, App().Draws());
        EXPECT_TRUE(rendered) << rendered.reason;
        bitmap->FlipVertical();
        return bitmap;
    }
};

TEST_F(CaptureCommandsTest, FTogglesWireframe)
{
    for (const GLint mode_after : {GL_LINE, GL_FILL, GL_LINE, GL_FILL}) {
        ASSERT_NE(DispatchKey(App(), 'f'), nullptr);
        GLint mode[2] = {};
        glGetIntegerv(GL_POLYGON_MODE, mode);
        EXPECT_EQ(mode[0], mode_after);
        EXPECT_EQ(View().wireframe, mode_after == GL_LINE);
    }
}

TEST_F(CaptureCommandsTest, RecordingKeysEndingAtOneSecondWritesFrames0To23)
{
    // Two keys one second apart: from the default view, then 4 m further on
    // and turned.
    Place({-3, 2, 5}, 0.5f, 0.2f);
    const Matrix4 first = FreeCameraView(View());
    ASSERT_TRUE(App().Animation().PushPose(first, 10.0));
    Place({-1, 3, 1}, 0.9f, 0.3f);
    ASSERT_TRUE(App().Animation().PushPose(FreeCameraView(View()), 11.0));
    ASSERT_EQ(App().Animation().Duration(), 1.0);

    // Two frames of a longer, earlier recording are left behind: said once.
    fs::create_directories("frames");
    for (const char* old : {"frames/frame_00030.png", "frames/frame_00031.png"})
        std::ofstream(old) << "old";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_NE(DispatchKey(App(), 'v'), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "warning: 2 older frames from an earlier recording left in frames, from frames/frame_00030.png on\n");
    EXPECT_EQ(out.rfind("rendering frame 0 / 24\r", 0), 0u) << out;
    EXPECT_TRUE(out.ends_with("rendering frame 23 / 24\r\ndone\n")) << out;
    for (unsigned k = 0; k < 24; ++k)
        EXPECT_TRUE(fs::is_regular_file(CMTEncoder::FrameFileName("frames", k))) << k;
    EXPECT_FALSE(fs::exists(CMTEncoder::FrameFileName("frames", 24)));
    EXPECT_TRUE(App().Animation().Playing()) << "frame times stay within the keys";

    // Frame 0 is the first key's view; the last one has left it.
    BitmapPtr frame0 = ReadPNG(CMTEncoder::FrameFileName("frames", 0).c_str());
    BitmapPtr frame23 = ReadPNG(CMTEncoder::FrameFileName("frames", 23).c_str());
    ASSERT_TRUE(frame0 && frame23);
    ASSERT_EQ(frame0->width, 1280);
    ASSERT_EQ(frame0->height, 720);
    App().Animation().Stop();
    Place({-3, 2, 5}, 0.5f, 0.2f);
    BitmapPtr expected = Frame(0.0, 1280, 720);
    const double same = testsupport::Psnr(Shrink(*frame0, 0, 1280, 1280, 720), Shrink(*expected, 0, 1280, 1280, 720));
    const double moved = testsupport::Psnr(Shrink(*frame23, 0, 1280, 1280, 720), Shrink(*expected, 0, 1280, 1280, 720));
    EXPECT_GT(same, 40.0);
    EXPECT_LT(moved, 25.0);
    std::printf("frame 0 against the first key's view: %.1f dB; frame 23: %.1f dB\n", same, moved);
    testsupport::SaveForViewing(Shrink(*frame0, 0, 1280, 1280, 720), "recorded_frame_00000");
    testsupport::SaveForViewing(Shrink(*frame23, 0, 1280, 1280, 720), "recorded_frame_00023");
}

TEST_F(CaptureCommandsTest, DrawingOnlyTheScreenTexturesFirstGivesTheSameImage)
{
    const int samples = FramebufferSampleCount();
    ASSERT_GT(samples, 0);
    const FrameDraws whole_frames{App().Draws().frame, {}};
    for (const float eye_y : {6.0f, -4.0f}) {  // reflection, refraction
        SCOPED_TRACE(eye_y);
        Place({-3, eye_y, 5}, 0.5f, eye_y > 0 ? 0.3f : -0.1f);
        BitmapPtr whole(TBitmap::Create(320, 200, false, false, 8));
        BitmapPtr copies_only(TBitmap::Create(320, 200, false, false, 8));
        ImageRenderer renderer(samples);
        ASSERT_TRUE(renderer.Render(*whole, 30.0, whole_frames));
        // Stale textures must not pass: they are remade elsewhere, at another size.
        Place({10, eye_y * 2, -5}, -1.0f, 0.0f);
        App().renderFrame({30.0, 100, 100, false});
        Place({-3, eye_y, 5}, 0.5f, eye_y > 0 ? 0.3f : -0.1f);
        ASSERT_TRUE(renderer.Render(*copies_only, 30.0, App().Draws()));
        EXPECT_TRUE(std::equal(whole->pixels, whole->pixels + 320 * 200, copies_only->pixels));
        EXPECT_EQ(App().Reflection()->width, 320);
    }
}

TEST_F(CaptureCommandsTest, ScreenshotMatchesAWindowFrameOfTheSameView)
{
    const double t = 120.0;
    // The panel sits at the same place on screen whatever the aspect, so
    // it does not crop as the scene does: it is left out here.
    App().View().hud_visible = false;
    struct View {
        Vector3 eye;
        float yaw, pitch;
    };
    const View views[] = {{{-6, 12, 22}, 0.25f, 0.45f}, {{-3, -5, 2}, 0.1f, 0.1f}};  // above, below the water
    for (const View& view : views) {
        SCOPED_TRACE(view.eye.y);
        Place(view.eye, view.yaw, view.pitch);
        fs::path name;
        ASSERT_TRUE(SaveScreenshot(App().Draws(), t, {}, &name));
        EXPECT_EQ(name.parent_path(), fs::path("screenshots"));
        BitmapPtr shot = ReadTGA(name.c_str());
        ASSERT_TRUE(shot);
        ASSERT_EQ(shot->width, 4096);
        ASSERT_EQ(shot->height, 3072);

        // The same vertical field at 4:3 is the middle 640 columns of 3:2.
        BitmapPtr window = Frame(t, 720, 480);
        const RgbaImage small = Shrink(*shot, 0, 4096, 640, 480);
        const RgbaImage middle = Shrink(*window, 40, 640, 640, 480);
        const double psnr = testsupport::Psnr(small, middle);
        // Neither a frame upside down nor one turned a little matches.
        RgbaImage flipped = small;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                for (int c = 0; c < 3; ++c)
                    flipped.At(x, y)[c] = small.At(x, 479 - y)[c];
        Place(view.eye, view.yaw + 0.05f, view.pitch);
        const RgbaImage turned = Shrink(*Frame(t, 720, 480), 40, 640, 640, 480);
        std::printf("screenshot against the window frame: %.1f dB; upside down %.1f dB; turned %.1f dB\n", psnr,
                    testsupport::Psnr(flipped, middle), testsupport::Psnr(turned, middle));
        EXPECT_GT(psnr, 25.0);
        EXPECT_LT(testsupport::Psnr(flipped, middle), psnr - 8.0);
        EXPECT_LT(testsupport::Psnr(turned, middle), psnr - 5.0);
        const std::string side = view.eye.y > 0 ? "above" : "below";
        testsupport::SaveForViewing(small, "screenshot_scaled_" + side);
        testsupport::SaveForViewing(middle, "window_frame_" + side);
    }
    App().View().hud_visible = true;
}

}  // namespace
