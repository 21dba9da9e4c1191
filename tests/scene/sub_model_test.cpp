// The submersible on the headless context: which way up it is drawn, that
// its outside faces the viewer, and headings that give no look-at.
#include "scene/sub_model.h"

#include "scene/scene_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace scenetest;

namespace {

// Seen from +x: world -z is screen right, y is up; 32 pixels per unit.
const Matrix4 kSideView = View({10, 0, 0}, {0, 0, 0}, {0, 1, 0});
const Matrix4 kSideMvp = Ortho(-4, 4, -4, 4, 0.1f, 100) * kSideView;
int Px(float screen)
{
    return int((screen + 4) * 32);
}

class SubModelTest : public SceneTest {
protected:
    RgbaImage DrawSide(CSubModel& sub, const Vector3& direction)
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        sub.Draw(Vector3(0, 0, 0), direction, 1, kSideMvp, kSideView);
        return ReadFrame();
    }
};

int CountCovered(const RgbaImage& f)
{
    int n = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            n += Covered(f, x, y);
    return n;
}

int CountDiffering(const RgbaImage& a, const RgbaImage& b)
{
    int n = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) {
        bool differs = false;
        for (size_t c = 0; c < 4; ++c)
            differs |= std::abs(int(a.rgba[i + c]) - int(b.rgba[i + c])) > 8;
        n += differs;
    }
    return n;
}

// Bow along D = (0, 0, -1): the sail (up to 1.25) is above the hull
// (radius 1) and the stern duct (2.05 to 2.55) is towards +z.
TEST_F(SubModelTest, SailAboveHullDuctTowardsPlusZ)
{
    CSubModel sub;
    ASSERT_GT(sub.IndexCount(), 0u);
    const RgbaImage f = DrawSide(sub, Vector3(0, 0, -1));
    EXPECT_TRUE(Covered(f, Px(0), Px(1.15f)));    // sail
    EXPECT_FALSE(Covered(f, Px(0), Px(-1.15f)));  // nothing under the keel
    EXPECT_TRUE(Covered(f, Px(-2.3f), Px(0)));    // duct, at world z = +2.3
    EXPECT_FALSE(Covered(f, Px(2.3f), Px(0)));    // beyond the bow, z = -2.3
}

// With back faces culled the picture is the one without culling (the
// outside is nearest everywhere), unlike culling the front faces, which
// shows the far inner walls; and the white hull shows ambient light
// everywhere and diffuse light on part of it.
TEST_F(SubModelTest, OutsideIsDrawnAndLit)
{
    CSubModel sub;
    const RgbaImage culled = DrawSide(sub, Vector3(0, 0, -1));
    glDisable(GL_CULL_FACE);
    const RgbaImage open = DrawSide(sub, Vector3(0, 0, -1));
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    const RgbaImage inside = DrawSide(sub, Vector3(0, 0, -1));
    glCullFace(GL_BACK);

    const int covered = CountCovered(culled);
    ASSERT_GT(covered, 5000);
    EXPECT_LT(CountDiffering(culled, open), covered / 100);
    EXPECT_GT(CountDiffering(culled, inside), covered / 5);
    // White hull: ambient alone gives 64; the lit side must show more.
    int darkest = 255, brightest = 0;
    for (size_t i = 0; i < culled.rgba.size(); i += 4)
        if (culled.rgba[i + 3])
            darkest = std::min<int>(darkest, culled.rgba[i]), brightest = std::max<int>(brightest, culled.rgba[i]);
    EXPECT_GE(darkest, 62);
    EXPECT_GT(brightest, 150);
}

struct HeadingCase {
    const char* name;
    Vector3 direction;
    Vector3 heading_before;
    Vector3 forward, up, heading_after;  // expected model -z and +y in the world
};

// Zero, non-finite and vertical directions still give a rotation: the last
// heading stands in, and going straight down the sail leans along it.
TEST(SubModelPlacementTest, EveryDirectionGivesARotation)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const HeadingCase cases[] = {
        {"ahead", {0, 0, -5}, {0, 0, -1}, {0, 0, -1}, {0, 1, 0}, {0, 0, -1}},
        {"climbing east", {3, 4, 0}, {0, 0, -1}, {0.6f, 0.8f, 0}, {-0.8f, 0.6f, 0}, {1, 0, 0}},
        {"zero", {0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}},
        {"not finite", {nan, 0, 1}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}},
        {"straight down", {0, -2, 0}, {1, 0, 0}, {0, -1, 0}, {1, 0, 0}, {1, 0, 0}},
        {"almost down", {1e-6f, -1, 0}, {0, 0, 1}, {0, -1, 0}, {0, 0, 1}, {0, 0, 1}},
        {"straight up", {0, 1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}},
        {"down, no heading yet", {0, -1, 0}, {0, 0, 0}, {0, -1, 0}, {0, 0, -1}, {0, 0, -1}},
    };
    const Vector3 position(4, -2, 7);
    for (const HeadingCase& c : cases) {
        SCOPED_TRACE(c.name);
        Vector3 heading = c.heading_before;
        const Matrix4 b = CSubModel::Placement(position, c.direction, heading);
        for (float e : b.f)
            ASSERT_TRUE(std::isfinite(e));
        EXPECT_NEAR(b.Determinant(), -1, 1e-4);
        const Vector4 forward = b * Vector4(0, 0, -1, 0), up = b * Vector4(0, 1, 0, 0);
        const Vector4 origin = b * Vector4(0, 0, 0, 1);
        EXPECT_NEAR(forward.x, c.forward.x, 1e-5);
        EXPECT_NEAR(forward.y, c.forward.y, 1e-5);
        EXPECT_NEAR(forward.z, c.forward.z, 1e-5);
        EXPECT_NEAR(up.x, c.up.x, 1e-5);
        EXPECT_NEAR(up.y, c.up.y, 1e-5);
        EXPECT_NEAR(up.z, c.up.z, 1e-5);
        EXPECT_NEAR(heading.x, c.heading_after.x, 1e-6);
        EXPECT_EQ(heading.y, 0);
        EXPECT_NEAR(heading.z, c.heading_after.z, 1e-6);
        EXPECT_EQ(Vector3(origin.x, origin.y, origin.z), position);
    }
}

// Drawn: a zero heading repeats the last picture; diving straight down the
// hull stands upright with the sail towards the old heading.
TEST_F(SubModelTest, ZeroOrVerticalHeadingStillDraws)
{
    CSubModel sub;
    const RgbaImage ahead = DrawSide(sub, Vector3(0, 0, -1));
    const RgbaImage zero = DrawSide(sub, Vector3(0, 0, 0));
    EXPECT_EQ(CountDiffering(ahead, zero), 0);

    const RgbaImage down = DrawSide(sub, Vector3(0, -1, 0));
    int x0 = 256, x1 = -1, y0 = 256, y1 = -1;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            if (Covered(down, x, y)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    ASSERT_GE(x1, x0);
    EXPECT_GT(y1 - y0, 4 * 32);  // hull and duct, 4.55 long, now vertical
    EXPECT_LT(x1 - x0, 3 * 32);
    EXPECT_TRUE(Covered(down, Px(1.15f), Px(0)));  // sail towards -z, screen right
    EXPECT_FALSE(Covered(down, Px(-1.15f), Px(0)));
}

}  // namespace
