// Golden images: five views of the default dataset rendered on the headless
// context as a screenshot renders them (640 x 360, multisampled), compared
// with the references in tests/golden/references/ by PSNR; the HUD view also
// per pixel, so a changed digit fails.
//
// After an intended change of the picture, regenerate the references with
// scripts/golden.sh (it runs this program with NERELLE_GOLDEN_UPDATE=1, which
// writes the renders into the source tree instead of comparing) and look at
// them before committing. A failed comparison writes <view>_actual.png and
// <view>_diff.png (differences amplified 8 times) to $NERELLE_GOLDEN_OUT, or
// else to <build>/tests/golden/out, and says where.
//
// Mesa's llvmpipe renders the same bytes on one machine whatever its thread
// count (LP_NUM_THREADS), so an unchanged render matches exactly. The bounds
// leave a little room beyond that, not much: another Mesa version may well
// need references of its own (regenerate, look, commit).
#include "app/demo_application.h"
#include "capture/image_capture.h"
#include "gl/render_target.h"
#include "image/bitmap.h"
#include "image/png_file.h"
#include "math/camera_animation.h"

#include "app/app_gl_test_util.h"
#include "support/rgba_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::RgbaImage;

constexpr int kWidth = 640, kHeight = 360;

// Below this a view has visibly changed (a water shader constant changed by
// a sixth gives about 38 dB); an unchanged render on this machine is
// identical, infinite PSNR.
constexpr double kMinPsnr = 45.0;
// Pixels differing by more than the tolerance in some channel: a thin line
// or a small object that changes colour or moves shows here when it barely
// lowers the PSNR (a track in another colour, faint under the surface, is
// about 30 pixels at 46 dB).
constexpr int kChangedPixelTolerance = 48;
constexpr int kMaxChangedPixels = 20;

struct Region {
    int x, y, width, height;  // pixels, from the top left
};
// The HUD's panel with a margin, in the frame.
constexpr Region kHudRegion{24, 262, 288, 98};
// Its four lines of text, in that crop, and the largest channel difference
// allowed there: a glyph's ink against the panel differs by far more (a
// depth shown with one decimal fewer: 104).
constexpr Region kHudTextRegion{54, 21, 144, 66};
constexpr int kHudMaxChannelDifference = 16;

struct Pose {
    Vector3 eye;
    float yaw, pitch;  // radians; pitch > 0 looks down
};
constexpr double kSceneTime = 120.0;  // the diver 12 m down, the tracks a full spiral turn and more
// High over the far side of the pit, looking across it to the island: the
// spiral shows through the surface, buoys on the water.
constexpr Pose kAbove{{-14, 14, -18}, 2.4f, 0.6f};
// Inside the pit beside the spiral, looking up at the tracks and the surface.
constexpr Pose kBelow{{-12, -12.5f, -13.5f}, 1.9f, -0.5f};
constexpr double kFlightTime = 10.0;  // over the diver's first metres
constexpr const char* kFlight = "data/flights/demo.txt";

bool UpdateMode()
{
    const char* value = std::getenv("NERELLE_GOLDEN_UPDATE");
    return value && *value && std::strcmp(value, "0") != 0;
}

fs::path ReferencePath(const std::string& view)
{
    return fs::path(NERELLE_SOURCE_DIR) / "tests" / "golden" / "references" / (view + ".png");
}

fs::path OutputDirectory()
{
    const char* out = std::getenv("NERELLE_GOLDEN_OUT");
    return out && *out ? fs::path(out) : fs::path(NERELLE_BINARY_DIR) / "tests" / "golden" / "out";
}

// The largest difference in a red, green or blue channel.
int MaxChannelDifference(const RgbaImage& a, const RgbaImage& b)
{
    int most = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (size_t c = i; c < i + 3; ++c)
            most = std::max(most, std::abs(int(a.rgba[c]) - int(b.rgba[c])));
    return most;
}

// |a - b| per colour channel, times 8, so small differences show.
RgbaImage Difference(const RgbaImage& a, const RgbaImage& b)
{
    RgbaImage d{a.width, a.height, std::vector<uint8_t>(a.rgba.size(), 255)};
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (size_t c = i; c < i + 3; ++c)
            d.rgba[c] = uint8_t(std::min(255, 8 * std::abs(int(a.rgba[c]) - int(b.rgba[c]))));
    return d;
}

RgbaImage Crop(const RgbaImage& image, const Region& r)
{
    RgbaImage part{r.width, r.height, {}};
    for (int y = r.y; y < r.y + r.height; ++y)
        part.rgba.insert(part.rgba.end(), image.At(r.x, y), image.At(r.x, y) + 4 * r.width);
    return part;
}

std::string Describe(double psnr)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", psnr);
    return std::isinf(psnr) ? std::string("identical") : std::string(text);
}

// A render measured against its reference, and what fails the comparison.
struct Comparison {
    double psnr = 0;
    int changed = 0;          // pixels changed by more than kChangedPixelTolerance
    int text_difference = 0;  // largest channel difference in the tight region
    std::vector<std::string> failures;
};

Comparison Compare(const RgbaImage& image, const RgbaImage& reference, std::optional<Region> tight)
{
    Comparison c;
    c.psnr = testsupport::Psnr(image, reference);
    c.changed = int(testsupport::CountDifferentPixels(image, reference, kChangedPixelTolerance));
    c.text_difference = tight ? MaxChannelDifference(Crop(image, *tight), Crop(reference, *tight)) : 0;
    if (c.psnr < kMinPsnr)
        c.failures.push_back("PSNR " + Describe(c.psnr) + " (at least " + Describe(kMinPsnr) + " wanted)");
    if (c.changed > kMaxChangedPixels)
        c.failures.push_back(std::to_string(c.changed) + " pixels changed by more than " +
                             std::to_string(kChangedPixelTolerance) + " (at most " + std::to_string(kMaxChangedPixels) +
                             " wanted)");
    if (c.text_difference > kHudMaxChannelDifference)
        c.failures.push_back("a channel in the text " + std::to_string(c.text_difference) + " apart (at most " +
                             std::to_string(kHudMaxChannelDifference) + " wanted)");
    return c;
}

class GoldenTest : public apptest::ApplicationTest {
protected:
    void SetUp() override
    {
        ApplicationTest::SetUp();
        if (HasFatalFailure())
            return;
        View().window_width = kWidth;
        View().window_height = kHeight;
        App().Animation() = CameraAnimation();
        App().View().hud_visible = false;  // the HUD has a view of its own
    }
    void TearDown() override
    {
        App().View().error_view = false;
        App().View().hud_visible = true;
        App().Animation() = CameraAnimation();
        ApplicationTest::TearDown();
    }

    void Place(const Pose& pose) { ApplicationTest::Place(pose.eye, pose.yaw, pose.pitch); }

    // The frame at t as a screenshot renders it, rows from the top.
    RgbaImage Render(double t)
    {
        BitmapPtr bitmap(TBitmap::Create(kWidth, kHeight, false, false, 8));
        EXPECT_TRUE(bitmap);
        if (!bitmap)
            return {};
        const Status rendered = ImageRenderer(FramebufferSampleCount()).Render(*bitmap, t, App().Draws());
        EXPECT_TRUE(rendered) << rendered.reason;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(bitmap->pixels);
        return testsupport::FromBottomUp(kWidth, kHeight, std::span(bytes, size_t(kWidth) * kHeight * 4));
    }

    // Starts the bundled flight from time 0.
    void FlyDemo()
    {
        const fs::path keys = fs::path(NERELLE_SOURCE_DIR) / kFlight;
        const CameraKeyStatus loaded = App().Animation().Load(keys, 0);
        ASSERT_TRUE(loaded) << keys << ": " << loaded.reason;
        const CameraKeyStatus played = App().Animation().Play(0);
        ASSERT_TRUE(played) << played.reason;
    }

    // In update mode writes `image` as the reference of `view`; otherwise
    // compares it with the reference: PSNR at least kMinPsnr, at most
    // kMaxChangedPixels pixels changed and, when `tight` is given, no channel
    // inside it more than kHudMaxChannelDifference apart.
    void Check(const std::string& view, const RgbaImage& image, std::optional<Region> tight = std::nullopt)
    {
        const fs::path reference_path = ReferencePath(view);
        if (UpdateMode()) {
            ASSERT_TRUE(testsupport::WriteImagePNG(image, reference_path)) << "cannot write " << reference_path;
            std::printf("wrote %s\n", reference_path.c_str());
            return;
        }
        const std::optional<RgbaImage> reference = testsupport::ReadImagePNG(reference_path);
        ASSERT_TRUE(reference) << "cannot read " << reference_path << " (scripts/golden.sh makes it)";
        ASSERT_EQ(reference->width, image.width);
        ASSERT_EQ(reference->height, image.height);
        const Comparison c = Compare(image, *reference, tight);
        std::printf("%s: PSNR %s, %d pixels changed", view.c_str(), Describe(c.psnr).c_str(), c.changed);
        if (tight)
            std::printf(", largest channel difference in the text %d", c.text_difference);
        std::printf("\n");
        if (c.failures.empty())
            return;
        const fs::path out = OutputDirectory();
        const fs::path actual = out / (view + "_actual.png"), diff = out / (view + "_diff.png");
        const bool written = testsupport::WriteImagePNG(image, actual) &&
                             testsupport::WriteImagePNG(Difference(image, *reference), diff);
        std::string why;
        for (const std::string& failure : c.failures)
            why += "\n  " + failure;
        ADD_FAILURE() << view << " differs from " << reference_path << ":" << why << "\n"
                      << (written ? "look at " + actual.string() + " and " + diff.string()
                                  : "could not write the images to " + out.string());
    }

    RgbaImage RenderAbove()
    {
        Place(kAbove);
        return Render(kSceneTime);
    }
    RgbaImage RenderBelow()
    {
        Place(kBelow);
        return Render(kSceneTime);
    }
    RgbaImage RenderHud(double t)
    {
        Place(kAbove);
        App().View().hud_visible = true;
        return Crop(Render(t), kHudRegion);
    }
};

TEST_F(GoldenTest, AboveTheWater)
{
    Check("above", RenderAbove());
}

TEST_F(GoldenTest, BelowTheWater)
{
    Check("below", RenderBelow());
}

TEST_F(GoldenTest, DemoFlightMidway)
{
    FlyDemo();
    if (HasFatalFailure())
        return;
    Check("flight", Render(kFlightTime));
}

// The error view from inside the pit: the solution track in the colours of
// its error, and the HUD with its error line.
TEST_F(GoldenTest, ErrorViewBelowTheWater)
{
    App().View().error_view = true;
    App().View().hud_visible = true;
    Place(kBelow);
    Check("error_view", Render(kSceneTime));
}

TEST_F(GoldenTest, HudCloseUp)
{
    Check("hud", RenderHud(kSceneTime), kHudTextRegion);
}

// The comparisons rest on this: nothing left over from one frame, and
// nothing unsettled in the rasteriser, changes the next.
TEST_F(GoldenTest, TwoRendersInARowAreIdentical)
{
    const RgbaImage above = RenderAbove(), below = RenderBelow();
    EXPECT_TRUE(above.rgba == RenderAbove().rgba);
    EXPECT_TRUE(below.rgba == RenderBelow().rgba);
    FlyDemo();
    if (HasFatalFailure())
        return;
    const RgbaImage flight = Render(kFlightTime);
    FlyDemo();
    EXPECT_TRUE(flight.rgba == Render(kFlightTime).rgba);
}

// The bounds are tight enough to see what they are for: the HUD a second
// later (other digits), the view turned by half a degree.
TEST_F(GoldenTest, TheBoundsCatchSmallChanges)
{
    if (UpdateMode())
        GTEST_SKIP() << "no references to compare with while they are being written";
    const std::optional<RgbaImage> hud = testsupport::ReadImagePNG(ReferencePath("hud"));
    const std::optional<RgbaImage> above = testsupport::ReadImagePNG(ReferencePath("above"));
    ASSERT_TRUE(hud && above) << "the references are missing (scripts/golden.sh makes them)";
    const Comparison later = Compare(RenderHud(kSceneTime + 1), *hud, kHudTextRegion);
    EXPECT_GT(later.text_difference, kHudMaxChannelDifference);
    Pose turned = kAbove;
    turned.yaw += 0.5f * 3.14159265f / 180;
    Place(turned);
    App().View().hud_visible = false;
    const Comparison moved = Compare(Render(kSceneTime), *above, std::nullopt);
    std::printf(
        "HUD a second later: largest channel difference in the text %d; turned by half a degree: PSNR %s, "
        "%d pixels changed\n",
        later.text_difference, Describe(moved.psnr).c_str(), moved.changed);
    EXPECT_FALSE(moved.failures.empty()) << "PSNR " << Describe(moved.psnr) << ", " << moved.changed
                                         << " pixels changed";
}

}  // namespace
