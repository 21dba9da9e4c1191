// The buoy on the headless context: where the ball lands, its stripes, and
// the glow sprite's pulsing alpha.
#include "scene/buoy.h"

#include "mesh/assemblies.h"
#include "scene/scene_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace scenetest;

namespace {

constexpr float kPi = 3.14159265f;

// 100 pixels per unit, the eye at the origin looking along -z.
const Matrix4 kOrtho = Ortho(-1.28f, 1.28f, -1.28f, 1.28f, 0.1f, 100);
float ToPixel(float world)
{
    return (world + 1.28f) * 100;
}

class BuoyTest : public SceneTest {};

// The ball (radius 1) on its stalk (down to -1.5) lands in the box of its
// position and scale.
TEST_F(BuoyTest, BallSpansItsBox)
{
    CPolyMesh model;
    ASSERT_TRUE(mesh::BuildBuoyMesh(model));
    Vector3 lo, hi;
    ASSERT_TRUE(model.GetBounds(lo, hi));
    EXPECT_NEAR(lo.x, -1, 0.02);
    EXPECT_NEAR(hi.x, 1, 0.02);
    EXPECT_NEAR(lo.y, -1.5, 1e-5);
    EXPECT_NEAR(hi.y, 1, 0.02);

    CBuoy buoy;
    ASSERT_GT(buoy.IndexCount(), 0u);
    const Vector3 position(0.3f, -0.2f, -5);
    const float scale = 0.5f;
    buoy.DrawBall(kOrtho, Matrix4::Identity(), position, scale);
    const RgbaImage frame = ReadFrame();
    int x0 = 256, x1 = -1, y0 = 256, y1 = -1;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            if (Covered(frame, x, y)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    EXPECT_NEAR(x0, ToPixel(position.x + lo.x * scale), 1.0);
    EXPECT_NEAR(x1 + 1, ToPixel(position.x + hi.x * scale), 1.0);
    EXPECT_NEAR(y0, ToPixel(position.y - 1.5f * scale), 1.0);
    EXPECT_NEAR(y1 + 1, ToPixel(position.y + hi.y * scale), 1.0);
}

// Down the front meridian the bands change every 12 degrees of latitude:
// red where |mod(3t, 0.4) - 0.2| < 0.1 (centred on 12, 36, 60, ...), white between.
TEST_F(BuoyTest, StripesAlternateDownTheBall)
{
    CBuoy buoy;
    const float radius = 1.1f;
    buoy.DrawBall(kOrtho, Matrix4::Identity(), Vector3(0, 0, -5), radius);
    const RgbaImage frame = ReadFrame();
    for (int k = 1; k <= 12; ++k) {
        const float theta = float(12 * k) * kPi / 180;
        const int y = int(ToPixel(radius * std::cos(theta)));
        const uint8_t* p = frame.AtGL(128, y);
        SCOPED_TRACE(::testing::Message()
                     << 12 * k << " degrees: " << int(p[0]) << ", " << int(p[1]) << ", " << int(p[2]));
        ASSERT_TRUE(Covered(frame, 128, y));
        if (k % 2 == 1) {
            EXPECT_GT(p[0] - p[1], 38);  // red: only the highlight reaches green
            EXPECT_EQ(p[1], p[2]);
        } else {
            EXPECT_LE(std::abs(p[0] - p[1]), 2);  // white under white light
            EXPECT_LE(std::abs(p[1] - p[2]), 2);
        }
    }
}

// A sprite of 255 / w pixels whose alpha at the centre is 0.5 + 0.5 sin(5t),
// in between f (0.5 + 0.5 sin(5t + 8 pi f)) with f = 1 - r, and 0 from the
// rim (r = 1) outwards.
TEST_F(BuoyTest, GlowAlphaPulsesAtCentreAndVanishesAtRim)
{
    CBuoy buoy;
    glViewport(0, 0, 255, 255);  // odd, so a pixel sits on the sprite's centre
    Matrix4 mvp = Matrix4::Identity();
    mvp[15] = 5;  // clip w 5: a 51-pixel sprite centred at (127.5, 127.5)
    const float size = 51, left = 127.5f - size / 2;
    const int pixels[][2] = {{127, 127}, {140, 127}, {127, 110}, {127, 103}, {104, 104}, {101, 127}};
    for (float t : {0.0f, 0.1f, 0.3f, 0.6f, 1.0f}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        buoy.DrawGlow(mvp, Vector3(0, 0, 0), t);
        const RgbaImage frame = ReadFrame();
        for (const auto& px : pixels) {
            const float dx = (float(px[0]) + 0.5f - left) / size - 0.5f;
            const float dy = (float(px[1]) + 0.5f - left) / size - 0.5f;
            const float f = std::max(0.0f, 1 - 2 * std::sqrt(dx * dx + dy * dy));
            const float w = f * (0.5f + 0.5f * std::sin(5 * t + 8 * kPi * f));
            const uint8_t* p = frame.AtGL(px[0], px[1]);
            SCOPED_TRACE(::testing::Message() << "t " << t << " pixel " << px[0] << ", " << px[1]);
            EXPECT_NEAR(p[3], w * 255, 2.0);
            if (px[0] == 127 && px[1] == 127) {
                EXPECT_NEAR(p[3], (0.5f + 0.5f * std::sin(5 * t)) * 255, 1.0);
                const float glow[3] = {0.2f, 0.2f, 1.0f};
                EXPECT_TRUE(ColourNear(p, glow, 1));
            }
        }
    }
}

}  // namespace
