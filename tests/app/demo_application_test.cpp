// The application's frame on the headless context, read back pixel by
// pixel, and its camera-key commands, in a private run directory holding the
// committed textures and the default dataset.
#include "app/demo_application.h"
#include "app/key_commands.h"

#include "app/app_gl_test_util.h"
#include "support/rgba_image.h"

#include "gl/gles20.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Image = testsupport::RgbaImage;
using testsupport::CountDifferentPixels;

constexpr int kSize = testsupport::kGLTestWidth;  // the test framebuffer is square
constexpr double kFrameTime = 120.0;              // the diver is 12 m down, inside the pit

// Free-camera placements: eye, yaw, pitch (pitch > 0 looks down).
struct Camera {
    Vector3 eye;
    float yaw, pitch;
};
// Over the dive from above, the horizon in the upper quarter.
constexpr Camera kAbove{{0, 10, 22}, 0.0f, 0.3f};
// Looking steeply down on the dive: the surface lets most of it through.
constexpr Camera kAboveSteep{{0, 25, -8}, 0.0f, 1.45f};
// Just under the surface beside the dive, looking out over the pit.
constexpr Camera kBelow{{-3, -0.6f, 2}, 0.1f, 0.0f};
// Deep in the pit, looking up at the dive.
constexpr Camera kBelowUp{{0, -25, -10}, 0.0f, -1.5f};

bool Magenta(const uint8_t* p)
{
    return p[0] > p[1] + 50 && p[2] > p[1] + 50;
}
bool Green(const uint8_t* p)
{
    return p[1] > p[0] + 50 && p[1] > p[2] + 30;
}

// Whether a pixel satisfying `is` lies within `radius` of (x, y).
bool Near(const Image& image, float x, float y, int radius, bool (*is)(const uint8_t*))
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int px = int(std::lround(x)) + dx, py = int(std::lround(y)) + dy;
            if (px >= 0 && py >= 0 && px < image.width && py < image.height && is(image.At(px, py)))
                return true;
        }
    return false;
}

// A copy's pixels as read back, RGBA.
std::vector<uint8_t> ReadCopy(const TTexture& copy)
{
    std::vector<uint8_t> rgba(size_t(copy.width) * size_t(copy.height) * 4);
    glBindTexture(GL_TEXTURE_2D, copy.name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

// Fills a copy with one colour.
void FillCopy(const TTexture& copy, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> rgba(size_t(copy.width) * size_t(copy.height) * 4);
    for (size_t i = 0; i < rgba.size(); i += 4)
        rgba[i] = r, rgba[i + 1] = g, rgba[i + 2] = b, rgba[i + 3] = 255;
    glBindTexture(GL_TEXTURE_2D, copy.name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, copy.width, copy.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

bool AllPixels(const std::vector<uint8_t>& rgba, uint8_t r, uint8_t g, uint8_t b)
{
    for (size_t i = 0; i < rgba.size(); i += 4)
        if (rgba[i] != r || rgba[i + 1] != g || rgba[i + 2] != b)
            return false;
    return true;
}

std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DemoApplicationTest : public apptest::ApplicationTest {
protected:
    void SetUp() override
    {
        ApplicationTest::SetUp();
        if (HasFatalFailure())
            return;
        App().Animation() = CameraAnimation();
        App().Timeline() = PlaybackTimeline(App().Dataset().Data().Period());
        App().View().hud_visible = false;  // the panel's text changes with t; one test below shows it
        std::error_code ignored;
        std::filesystem::remove(kCameraKeyFileName, ignored);
    }

    void Place(const Camera& camera) { ApplicationTest::Place(camera.eye, camera.yaw, camera.pitch); }
    // Playback time on by `seconds`, paused or not, as frames would move it.
    void PlayOn(double seconds) { App().Timeline().Seek(App().Timeline().Time() + seconds); }
    // Standard output and standard error of one key press.
    std::pair<std::string, std::string> Press(int key)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_NE(DispatchKey(App(), key), nullptr) << key;
        std::string out = testing::internal::GetCapturedStdout();
        return {out, testing::internal::GetCapturedStderr()};
    }

    Image Render(double t, bool reuse_screen_textures = false)
    {
        Context().BindFramebuffer();
        FrameRequest request = Request(t);
        request.reuse_screen_textures = reuse_screen_textures;
        App().renderFrame(request);
        return testsupport::ReadFrame(Context());
    }

    // Where a world point lands in the image (y from the top) with the
    // free camera; false when behind the eye or off the image.
    bool Project(const Vector3& p, float& x, float& y)
    {
        Matrix4 projection;
        if (!FrameProjection(View().window_width, View().window_height, projection))
            return false;
        const Vector4 clip = projection * FreeCameraView(View()) * Vector4(p, 1.0f);
        if (clip.w <= 0.01f)
            return false;
        x = (clip.x / clip.w * 0.5f + 0.5f) * float(Context().Width());
        y = (0.5f - clip.y / clip.w * 0.5f) * float(Context().Height());
        return x >= 2 && y >= 2 && x < float(Context().Width() - 2) && y < float(Context().Height() - 2);
    }

    // Direction through the centre of pixel (x, y) in the world, with the
    // free camera (unit length).
    Vector3 WorldRay(int x, int y)
    {
        const float t = std::tan(30.0f * 3.14159265f / 180.0f);
        const float nx = (2.0f * (float(x) + 0.5f) / float(Context().Width()) - 1.0f) * t;
        const float ny = (1.0f - 2.0f * (float(y) + 0.5f) / float(Context().Height())) * t;
        const Vector4 d = FreeCameraView(View()).Inverse() * Vector4(nx, ny, -1.0f, 0.0f);
        return Normalise(Vector3(d.x, d.y, d.z));
    }

    // Of the track positions at times from..to (step 0.5 s) that land on
    // the image, the share with a pixel of the track's colour within 2
    // pixels; `found` counts them.
    double TrackShare(const Image& image, double from, double to, bool motion, int* landed = nullptr,
                      int* hits = nullptr)
    {
        int on_image = 0, found = 0;
        for (double s = from; s <= to; s += 0.5) {
            const Vector3 p = motion ? App().Dataset().MotionPositionAt(s) : App().Dataset().SolutionPositionAt(s);
            float x, y;
            if (!Project(p, x, y))
                continue;
            ++on_image;
            found += Near(image, x, y, 2, motion ? Magenta : Green);
        }
        if (landed)
            *landed = on_image;
        if (hits)
            *hits = found;
        return on_image ? double(found) / on_image : 0.0;
    }
};

TEST_F(DemoApplicationTest, FromAboveSkyOnTopAndBothTracksUpToTheFrameTimeUnderTheSurface)
{
    Place(kAbove);
    const Image sky = Render(kFrameTime);
    testsupport::SaveForViewing(sky, "frame_above");
    // Sky over the top rows: blue, never the black the frame clears to.
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < sky.width; x += 8) {
            const uint8_t* p = sky.At(x, y);
            EXPECT_GT(p[2], 150) << x << ", " << y;
            EXPECT_GT(p[2], p[0] + 40) << x << ", " << y;
            EXPECT_FALSE(Magenta(p) || Green(p)) << x << ", " << y;
        }

    Place(kAboveSteep);
    const Image image = Render(kFrameTime);
    testsupport::SaveForViewing(image, "frame_above_steep");
    // Both tracks up to the frame time, where their samples project.
    int landed = 0;
    EXPECT_GT(TrackShare(image, 40, kFrameTime - 1, false, &landed), 0.8);
    EXPECT_GT(landed, 100);
    EXPECT_GT(TrackShare(image, 40, kFrameTime - 1, true), 0.2);  // partly under the noisier solution

    // Nothing of either colour where only later parts of the dive would be.
    std::vector<std::pair<float, float>> drawn;
    for (double s = 1; s <= kFrameTime; s += 0.25) {
        float x, y;
        if (Project(App().Dataset().SolutionPositionAt(s), x, y) || Project(App().Dataset().MotionPositionAt(s), x, y))
            drawn.emplace_back(x, y);
    }
    int checked = 0;
    for (double s = kFrameTime + 40; s <= kFrameTime + 200; s += 2) {
        float x, y;
        if (!Project(App().Dataset().MotionPositionAt(s), x, y))
            continue;
        bool clear = true;
        for (const auto& [dx, dy] : drawn)
            clear = clear && std::hypot(dx - x, dy - y) > 10;
        if (!clear)
            continue;
        ++checked;
        EXPECT_FALSE(Near(image, x, y, 1, Magenta) || Near(image, x, y, 1, Green)) << "track drawn at time " << s;
    }
    EXPECT_GT(checked, 5);
}

TEST_F(DemoApplicationTest, FromAboveTheMirrorCopyIsBlendedOverTheWaterOnly)
{
    Place(kAbove);
    const Image normal = Render(kFrameTime);
    ASSERT_TRUE(App().Reflection() && App().Reflection()->name);
    // The mirror as captured: the sky's blue fills most of it.
    const std::vector<uint8_t> mirror = ReadCopy(*App().Reflection());
    int blue = 0;
    for (size_t i = 0; i < mirror.size(); i += 4)
        blue += mirror[i + 2] > 150 && mirror[i + 2] > mirror[i] + 40;
    EXPECT_GT(blue, int(mirror.size() / 4 / 2));

    // The same frame with the capture replaced by pure red, kept as a
    // multisampled pass keeps it.
    FillCopy(*App().Reflection(), 255, 0, 0);
    const Image red = Render(kFrameTime, true);
    testsupport::SaveForViewing(red, "frame_above_red_mirror");
    EXPECT_TRUE(AllPixels(ReadCopy(*App().Reflection()), 255, 0, 0)) << "the capture was redone";

    // Above the horizon nothing changes; on the water the red shows, blended
    // with the scene under the surface (never plain red looking down).
    EXPECT_EQ(CountDifferentPixels(normal, red, 0) > 0, true);
    for (int x = 0; x < kSize; x += 16) {
        EXPECT_EQ(0, std::memcmp(normal.At(x, 2), red.At(x, 2), 3)) << x;
        const uint8_t* before = normal.At(x, kSize - 8);
        const uint8_t* after = red.At(x, kSize - 8);
        EXPECT_GT(int(after[0]), int(before[0]) + 30) << x;
        EXPECT_LT(after[2], before[2]) << x;
        EXPECT_GT(int(after[1]) + int(after[2]), 20) << x << ": opaque";
    }
}

TEST_F(DemoApplicationTest, TheHudPanelShowsInTheLowerLeftOverTheScene)
{
    Place(kAbove);
    const Image plain = Render(kFrameTime);
    App().View().hud_visible = true;
    const Image with_hud = Render(kFrameTime);
    testsupport::SaveForViewing(with_hud, "frame_above_hud");
    // The text's green (0.3, 1.0, 0.4), blended into the panel at this small
    // size: pixels turned greener than the plain frame, inside the panel's
    // box (the lower quarter, from x = 5% of the width) and nowhere else.
    auto greener = [](const uint8_t* hud, const uint8_t* scene) {
        return int(hud[1]) - int(hud[0]) > int(scene[1]) - int(scene[0]) + 25 && hud[1] > 100;
    };
    size_t in_panel = 0, elsewhere = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (greener(with_hud.At(x, y), plain.At(x, y)))
                ++(y >= kSize * 3 / 4 && x >= kSize / 20 ? in_panel : elsewhere);
    EXPECT_GT(in_panel, size_t(40));
    EXPECT_EQ(elsewhere, size_t(0));
    EXPECT_EQ(CountDifferentPixels(plain, with_hud, 0) > 0, true);
}

TEST_F(DemoApplicationTest, FromBelowFogColourTheSurfaceAboveAndBothTracks)
{
    Place(kBelow);
    const Image image = Render(kFrameTime);
    testsupport::SaveForViewing(image, "frame_below");

    // Where the view meets the surface more than 30 units away it has faded
    // into the water's fog colour (0.12, 0.2, 0.5); only the tracks and
    // buoys drawn over it differ.
    int fog = 0, sampled = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; x += 2) {
            const Vector3 ray = WorldRay(x, y);
            if (ray.y <= 0 || -kBelow.eye.y / ray.y < 35)
                continue;
            const uint8_t* p = image.At(x, y);
            ++sampled;
            fog += std::abs(p[0] - 31) <= 3 && std::abs(p[1] - 51) <= 3 && std::abs(p[2] - 128) <= 3;
        }
    EXPECT_GT(sampled, 500);
    EXPECT_GT(fog, sampled * 95 / 100) << fog << " of " << sampled;
    // The surface seen from below fills the top rows: what the capture saw
    // (sky fading into fog), neither black nor plain fog.
    for (int x = 0; x < kSize; x += 16) {
        const uint8_t* p = image.At(x, 1);
        EXPECT_GT(p[2], 140) << x;
        EXPECT_GT(p[2], p[0] + 40) << x;
    }

    // The tracks over the surface, looking up at them.
    Place(kBelowUp);
    const Image up = Render(kFrameTime);
    testsupport::SaveForViewing(up, "frame_below_up");
    int landed = 0, magenta = 0;
    EXPECT_GT(TrackShare(up, 40, kFrameTime - 1, false, &landed), 0.8);
    EXPECT_GT(landed, 60);
    TrackShare(up, 40, kFrameTime - 1, true, nullptr, &magenta);  // mostly under the solution
    EXPECT_GE(magenta, 5);
}

TEST_F(DemoApplicationTest, TheEyeChoosesTheCaptureAndAtTheSurfaceItIsTheMirror)
{
    const struct {
        float eye_y;
        bool mirror;  // which capture the frame makes
    } cases[] = {{5.0f, true}, {0.0f, true}, {-0.001f, false}, {-5.0f, false}};
    for (const auto& c : cases) {
        Place({{-3, c.eye_y, 2}, 0.1f, 0.1f});
        Render(kFrameTime);  // makes both copies
        FillCopy(*App().Reflection(), 1, 2, 3);
        FillCopy(*App().Refraction(), 1, 2, 3);
        Render(kFrameTime);
        EXPECT_EQ(AllPixels(ReadCopy(*App().Reflection()), 1, 2, 3), !c.mirror) << c.eye_y;
        EXPECT_EQ(AllPixels(ReadCopy(*App().Refraction()), 1, 2, 3), c.mirror) << c.eye_y;
        EXPECT_EQ(EyeBelowSurface(FreeCameraView(View())), !c.mirror) << c.eye_y;
    }
}

TEST_F(DemoApplicationTest, BothScreenTexturesFollowTheFrameSize)
{
    Place(kAbove);
    const auto size_is = [&](int w, int h) {
        const TTexture* reflection = App().Reflection();
        const TTexture* refraction = App().Refraction();
        return reflection && refraction && reflection->name && refraction->name && reflection->width == w &&
               reflection->height == h && refraction->width == w && refraction->height == h;
    };
    Render(kFrameTime);
    EXPECT_TRUE(size_is(kSize, kSize));
    const TTexture* reflection = App().Reflection();
    Render(kFrameTime);
    EXPECT_EQ(App().Reflection(), reflection) << "textures of the right size are kept";

    // A frame of another size (a resized window, an off-screen image).
    App().renderFrame({kFrameTime, 128, 96, false});
    EXPECT_TRUE(size_is(128, 96));
    // While a multisampled pass reuses the textures they are left alone.
    Context().BindFramebuffer();
    reflection = App().Reflection();
    App().renderFrame({kFrameTime, 128, 96, true});
    EXPECT_EQ(App().Reflection(), reflection);
    EXPECT_TRUE(size_is(128, 96));
    Render(kFrameTime);
    EXPECT_TRUE(size_is(kSize, kSize));
}

TEST_F(DemoApplicationTest, NothingIsDrawnForAFrameWithASideOfZero)
{
    Place(kAbove);
    const struct {
        int width, height;
    } cases[] = {{kSize, 0}, {0, kSize}, {0, 0}, {-kSize, kSize}};
    for (const auto& c : cases) {
        Context().BindFramebuffer();
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        App().renderFrame({kFrameTime, c.width, c.height, false});
        glViewport(0, 0, kSize, kSize);
        const Image image = testsupport::ReadFrame(Context());
        EXPECT_EQ(image.DistinctColours(2), 1u) << c.width << " x " << c.height;
        EXPECT_EQ(image.At(10, 10)[2], 153) << c.width << " x " << c.height;
    }
}

TEST_F(DemoApplicationTest, TheFrameLeavesTheStateItPromises)
{
    for (const Camera& camera : {kAbove, kBelow}) {
        Place(camera);
        glEnable(GL_BLEND);
        glFrontFace(GL_CW);
        glDepthMask(GL_FALSE);
        Render(kFrameTime);
        GLint front_face = 0;
        GLboolean depth_mask = GL_FALSE;
        glGetIntegerv(GL_FRONT_FACE, &front_face);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depth_mask);
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_EQ(front_face, GL_CCW);
        EXPECT_EQ(depth_mask, GL_TRUE);
    }
}

TEST_F(DemoApplicationTest, ProjectionAspectIsAFloatingPointRatioAndNeedsBothSides)
{
    const struct {
        int width, height;
        bool ok;
        float aspect;
    } cases[] = {{720, 480, true, 1.5f}, {480, 720, true, 480.0f / 720.0f},
                 {256, 256, true, 1.0f}, {1, 1000, true, 0.001f},
                 {720, 0, false, 0},     {0, 480, false, 0},
                 {-720, 480, false, 0}};
    for (const auto& c : cases) {
        Matrix4 projection;
        ASSERT_EQ(FrameProjection(c.width, c.height, projection), c.ok) << c.width << " x " << c.height;
        if (!c.ok)
            continue;
        EXPECT_NEAR(projection[5] / projection[0], c.aspect, c.aspect * 1e-6f) << c.width << " x " << c.height;
        EXPECT_NEAR(projection[5], 1.0f / std::tan(30.0f * 3.14159265f / 180.0f), 1e-5f);
    }
}

TEST(TrackSizes, GrowWithTheImageWidth)
{
    const struct {
        int width;
        float line, point;
    } cases[] = {{0, 3, 3},    {720, 3, 3},  {1024, 3, 3},   {1025, 9, 9},
                 {1280, 9, 9}, {2048, 9, 9}, {2049, 13, 11}, {4096, 13, 11}};
    for (const auto& c : cases) {
        EXPECT_EQ(TrackLineWidth(c.width), c.line) << c.width;
        EXPECT_EQ(TrackPointSize(c.width), c.point) << c.width;
    }
}

TEST_F(DemoApplicationTest, PlaybackFliesTheKeysThenHandsBackToTheFreeCamera)
{
    Place(kAbove);
    const Image above = Render(1.0);
    Place(kBelow);
    const Image below = Render(1.0);
    ASSERT_GT(CountDifferentPixels(above, below, 16), size_t(kSize * kSize / 2));

    // Two keys of the view from above, then the free camera goes under water.
    Place(kAbove);
    App().onPushSplinePose();
    PlayOn(0.02);
    App().onPushSplinePose();
    ASSERT_EQ(App().Animation().Keys().size(), 2u);
    const float last = App().Animation().Keys().back().time;
    App().onPlayAnimation();
    ASSERT_TRUE(App().Animation().Playing());
    EXPECT_EQ(App().Timeline().Time(), 0.0) << "m restarts the diver with the flight";
    Place(kBelow);

    const Image spline = Render(0.5 * last);
    EXPECT_TRUE(App().Animation().Playing());
    EXPECT_LT(CountDifferentPixels(spline, above, 24), size_t(kSize * kSize / 100));
    // Past the last key: this frame still flies, the next is the free camera's.
    const Image end = Render(1.0);
    EXPECT_FALSE(App().Animation().Playing());
    EXPECT_LT(CountDifferentPixels(end, above, 24), size_t(kSize * kSize / 100));
    const Image free = Render(1.0);
    EXPECT_EQ(CountDifferentPixels(free, below, 0), 0u);
}

TEST_F(DemoApplicationTest, KeyCommandsRecordSaveLoadAndKeepKeyTimesIncreasing)
{
    ViewState& shell = View();
    const auto press = [&](unsigned char key) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const KeyCommand* command = DispatchKey(App(), key);
        EXPECT_NE(command, nullptr) << key;
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        return std::make_pair(out, err);
    };
    const auto times_increase = [&] {
        const auto& keys = App().Animation().Keys();
        for (size_t i = 1; i < keys.size(); ++i)
            if (!(keys[i].time > keys[i - 1].time))
                return false;
        return true;
    };

    // n three times with the camera moved between: keys at 0, then later.
    for (int i = 0; i < 3; ++i) {
        Place({{float(i), 3, 10}, 0.2f * float(i), 0.1f});
        PlayOn(0.01);
        EXPECT_EQ(press('n'), std::make_pair(std::string(), std::string()));
    }
    const std::vector<CameraKey> recorded = App().Animation().Keys();
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[0].time, 0.0f);
    EXPECT_TRUE(times_increase());
    EXPECT_NEAR(recorded[2].position.x, shell.camera_offset.x, 1e-5f);  // the negated eye
    EXPECT_NEAR(recorded[2].position.y, shell.camera_offset.y, 1e-5f);
    EXPECT_NEAR(recorded[2].position.z, shell.camera_offset.z, 1e-5f);

    // k writes them; a pushed key after m comes after the last one.
    EXPECT_EQ(press('k').first, "saved 3 keypoints\n");
    EXPECT_EQ(Slurp(kCameraKeyFileName).substr(0, 2), "3\n");
    EXPECT_EQ(press('m'), std::make_pair(std::string(), std::string()));
    EXPECT_TRUE(App().Animation().Playing());
    PlayOn(0.01);
    press('n');
    ASSERT_EQ(App().Animation().Keys().size(), 4u);
    EXPECT_TRUE(times_increase());

    // j forgets them and stops; l brings back the saved ones, and a key
    // pushed then still comes after the last loaded one.
    press('j');
    EXPECT_TRUE(App().Animation().Keys().empty());
    EXPECT_FALSE(App().Animation().Playing());
    EXPECT_EQ(press('l').first, "loaded 3 keypoints\n");
    ASSERT_EQ(App().Animation().Keys().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const CameraKey& a = recorded[i];
        const CameraKey& b = App().Animation().Keys()[i];
        EXPECT_NEAR(a.time, b.time, 1e-6f);
        EXPECT_NEAR(a.position.x, b.position.x, 1e-6f);
        EXPECT_NEAR(a.position.z, b.position.z, 1e-6f);
        EXPECT_NEAR(a.orientation.w, b.orientation.w, 1e-6f);
        EXPECT_NEAR(a.orientation.y, b.orientation.y, 1e-6f);
    }
    PlayOn(0.01);
    press('n');
    EXPECT_TRUE(times_increase());
    EXPECT_EQ(App().Animation().Keys().size(), 4u);

    // Refusals: one "error: " line each, and the keys stay as they were.
    const std::vector<CameraKey> kept = App().Animation().Keys();
    const std::string bad_files[] = {"", "5\n0 0 0 0 0 0 0 0 0 0 1\n", "4294967295\n",
                                     "2\n1 0 0 0 0 0 0 0 0 0 1\n"
                                     "1 0 0 0 0 0 0 0 0 0 1\n"};
    for (const std::string& text : bad_files) {
        std::ofstream(kCameraKeyFileName, std::ios::binary) << text;
        const auto [out, err] = press('l');
        EXPECT_EQ(out, "") << text;
        EXPECT_EQ(err.rfind("error: ", 0), 0u) << text;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(App().Animation().Keys(), kept) << text;
    }
    std::filesystem::remove(kCameraKeyFileName);
    EXPECT_EQ(press('l').second.rfind("error: ", 0), 0u);
    EXPECT_EQ(App().Animation().Keys(), kept);
    // Play needs two keys: with one, the free camera stays in control.
    press('j');
    press('n');
    const auto [out, err] = press('m');
    EXPECT_EQ(err.rfind("error: ", 0), 0u) << err;
    EXPECT_FALSE(App().Animation().Playing());
}

TEST_F(DemoApplicationTest, KeysAreStampedAndFlownInPlaybackTime)
{
    // At 4x a second of wall time is four of playback: the key lands there,
    // where the diver is when it is flown.
    Place(kAbove);
    Press('n');
    App().Timeline().Faster();
    App().Timeline().Faster();
    App().Timeline().Advance(1.0);
    Press('n');
    ASSERT_EQ(App().Animation().Keys().size(), 2u);
    EXPECT_EQ(App().Animation().Keys()[1].time, 4.0f);

    // Paused (or after Home, or a step back) the time does not move on: the
    // key is refused with one line and the keys stay.
    App().Timeline().SetPaused(true);
    const std::vector<CameraKey> kept = App().Animation().Keys();
    EXPECT_EQ(Press('n').second,
              "error: key at 4.00 s is not after the last key at 4.00 s: play on before adding a key\n");
    Press(kSpecialKeyBase + platform::kSpecialKeyHome);
    EXPECT_EQ(Press('n').second,
              "error: key at 0.00 s is not after the last key at 4.00 s: play on before adding a key\n");
    EXPECT_EQ(App().Animation().Keys(), kept);

    // m restarts both at 0; pause holds the flight with the diver.
    App().Timeline().SetPaused(false);
    PlayOn(3.0);
    Press('m');
    EXPECT_EQ(App().Timeline().Time(), 0.0);
    EXPECT_TRUE(App().Animation().Playing());
    App().Timeline().SetPaused(true);
    App().Timeline().Advance(10.0);
    App().Tick();
    EXPECT_TRUE(App().Animation().Playing()) << "a paused flight does not run out";
}

TEST_F(DemoApplicationTest, AFlightLongerThanThePeriodPlaysToItsEnd)
{
    const double period = App().Dataset().Data().Period();
    ASSERT_GT(period, 0.0);
    Place(kAbove);
    Press('n');
    PlayOn(period + 40.0);
    Press('n');
    EXPECT_EQ(App().Animation().Keys().back().time, float(period + 40.0));
    Press('m');
    PlayOn(period + 20.0);
    Render(App().Timeline().Time());
    EXPECT_TRUE(App().Animation().Playing()) << "past the period the flight goes on";
    PlayOn(21.0);
    Render(App().Timeline().Time());
    Render(App().Timeline().Time());
    EXPECT_FALSE(App().Animation().Playing()) << "and ends after its last key";
}

TEST_F(DemoApplicationTest, SteeringWhileFollowingTakesOverFromTheViewOnScreen)
{
    PlayOn(30.0);
    const double t = App().Timeline().Time();
    App().View().follow = true;
    const Matrix4 follow = App().FollowView(t);

    // n records the follow camera's view, which is on screen.
    Press('n');
    ASSERT_EQ(App().Animation().Keys().size(), 1u);
    const CameraPose key = PoseOfView(follow);
    EXPECT_NEAR(App().Animation().Keys()[0].position.x, key.position.x, 1e-4f);
    EXPECT_NEAR(App().Animation().Keys()[0].position.z, key.position.z, 1e-4f);

    // w moves on from there: the follow camera is off and the free camera
    // looks the same way, one step further along it.
    Press('w');
    EXPECT_FALSE(App().View().follow);
    const Matrix4 free = FreeCameraView(View());
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        EXPECT_NEAR(free[i], follow[i], 1e-4f) << i;
    EXPECT_NEAR((EyeOfView(free) - EyeOfView(follow)).Length(), 0.5f, 1e-3f);

    // A drag takes over the same way.
    App().View().follow = true;
    View_OnMouse(View(), platform::kLeftButton, platform::kButtonDown, 10, 10);
    ASSERT_TRUE(View_Dragging(View()));
    App().TakeOverSteering();
    EXPECT_FALSE(App().View().follow);
    const Matrix4 taken = FreeCameraView(View());
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(taken[i], follow[i], 1e-3f) << i;
}

TEST_F(DemoApplicationTest, ARecordingThatCannotStartLeavesPlaybackAsItWas)
{
    Place(kAbove);
    Press('n');
    PlayOn(1.0);
    Press('n');
    PlayOn(5.0);
    std::ofstream("frames") << "a file where the directory would go";
    const auto [out, err] = Press('v');
    std::filesystem::remove("frames");
    EXPECT_EQ(err.rfind("error: cannot create the directory frames", 0), 0u) << err;
    EXPECT_DOUBLE_EQ(App().Timeline().Time(), 6.0);
    EXPECT_FALSE(App().Animation().Playing());
}

TEST_F(DemoApplicationTest, AMissingTextureIsNamedInOneWarningAtStart)
{
    std::filesystem::rename("clouds.png", "clouds.png.away");
    ViewState shell;
    testing::internal::CaptureStderr();
    { DemoApplication app(shell); }
    const std::string err = testing::internal::GetCapturedStderr();
    std::filesystem::rename("clouds.png.away", "clouds.png");
    EXPECT_EQ(err, "warning: cannot read texture 'clouds.png': no such file\n");
}

TEST_F(DemoApplicationTest, TimeStartsAtTheFirstFrameAndKeysFromBeforeItStayFirst)
{
    // An application of its own: the shared one has had its first frame.
    ViewState shell;
    shell.window_width = kSize;
    shell.window_height = kSize;
    DemoApplication app(shell);
    app.Clock().seconds = 500.0;  // as if building had taken that long
    app.onPushSplinePose();
    app.Tick();
    EXPECT_LT(app.Clock().seconds, 0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    app.Tick();
    app.onPushSplinePose();
    ASSERT_EQ(app.Animation().Keys().size(), 2u);
    EXPECT_GT(app.Animation().Keys()[1].time, app.Animation().Keys()[0].time);
    // Later ticks go on from there.
    const double before = app.Clock().seconds;
    app.Tick();
    EXPECT_GE(app.Clock().seconds, before);
}

}  // namespace
