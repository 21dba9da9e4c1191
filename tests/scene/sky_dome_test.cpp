// The sky dome on the headless context: its mesh, apex colour, cloud
// scrolling and the fog band seen from below.
#include "scene/sky_dome.h"

#include "scene/scene_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace scenetest;

namespace {

// Mid-range colours, so the clouds' contribution shows in every channel.
const Vector3 kZenith(0.5f, 0.6f, 0.2f), kHorizon(0.1f, 0.2f, 0.9f);

class SkyDomeTest : public SceneTest {};

TEST(SkyDomeMeshTest, ApexRingColoursAndInwardWinding)
{
    CPolyMesh dome;
    ASSERT_TRUE(CSkyDome::BuildMesh(dome, kZenith, kHorizon, 350, 1500));
    ASSERT_EQ(dome.VertexCount(), 221u);
    ASSERT_EQ(dome.PolygonCount(), 420u);
    const auto& apex = dome.Vertex(0);
    EXPECT_EQ(apex.Position(), Vector3(0, 350, 0));
    EXPECT_EQ(apex.color[0], kZenith.x);
    EXPECT_EQ(apex.color[1], kZenith.y);
    EXPECT_EQ(apex.color[2], kZenith.z);
    // Last ring, k = 5: colour from w = exp(y / Rv) / 2.8, texture s = x / Rh.
    const auto& v = dome.Vertex(1 + 20 * 10 + 5);
    const float theta = (0.1f + 1.8849556f * 10) / 10, w = std::exp(std::cos(theta)) / 2.8f;
    EXPECT_NEAR(v.position[1], 350 * std::cos(theta), 1e-3);
    EXPECT_NEAR(v.color[1], kHorizon.y + (kZenith.y - kHorizon.y) * w, 1e-5);
    EXPECT_NEAR(v.texcoord[0][0], v.position[0] / 1500, 1e-6);
    EXPECT_NEAR(v.texcoord[0][1], v.position[2] / 1500, 1e-6);
    // Every triangle faces the inside: its normal points back towards the centre.
    for (size_t i = 0; i < dome.PolygonCount(); ++i) {
        const auto& p = dome.Polygon(i).vertices;
        ASSERT_EQ(p.size(), 3u);
        const Vector3 a = p[0].vertex->Position(), b = p[1].vertex->Position(), c = p[2].vertex->Position();
        const Vector3 n = Cross(b - a, c - a);
        EXPECT_LT(Dot(n, a + b + c), 0) << "triangle " << i;
    }
}

// Looking straight up, the centre pixel is the apex: zenith colour under
// two cloud layers, sampled where each layer has scrolled to by time t.
TEST_F(SkyDomeTest, ApexColourUnderScrollingClouds)
{
    CSkyDome sky(kZenith, kHorizon, 350, 1500);
    ASSERT_GT(sky.IndexCount(), 0u);
    const Matrix4 mvp = Perspective60() * View({0, 0, 0}, {0, 1, 0}, {0, 0, -1});
    for (float t : {20.0f, 45.0f, 75.0f}) {
        SCOPED_TRACE(t);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        sky.DrawAbove(mvp, t);
        const RgbaImage frame = ReadFrame();
        // The clouds' red is s and green t of the sample point: at the apex
        // the layers sit at (0.01, 0.0066) t and (0.0184, 0.014) t.
        const float layers[2][3] = {{std::fmod(0.01f * t, 1.0f), std::fmod(0.0066f * t, 1.0f), 0},
                                    {std::fmod(0.0184f * t, 1.0f), std::fmod(0.014f * t, 1.0f), 0}};
        const float zenith[3] = {kZenith.x, kZenith.y, kZenith.z};
        float sky_rgb[3];
        for (int c = 0; c < 3; ++c) {
            float s = zenith[c];
            for (const auto& layer : layers) {
                const float cloud = layer[c] * zenith[c];
                s = s * (1 - cloud) + cloud;
            }
            sky_rgb[c] = s;
        }
        EXPECT_TRUE(ColourNear(frame.AtGL(128, 128), sky_rgb, 2));
    }
}

// Looking at the horizon: from below, what lies at or under height 1 is
// fog, and the sky above it is the same as seen from above.
TEST_F(SkyDomeTest, BelowTurnsHorizonBandIntoFog)
{
    CSkyDome sky(kZenith, kHorizon, 350, 1500);
    const Matrix4 mvp = Perspective60();  // eye at the origin looking along -z
    // Rows 127 and 128 straddle the horizon: the dome there is 3.4 units
    // below and above the eye. Then rows at -3 and +10 degrees.
    const auto row = [](float degrees) {
        return int(128 + 128 * std::tan(degrees * 3.14159265f / 180) / std::tan(3.14159265f / 6));
    };
    const int low_rows[] = {127, row(-3)}, high_rows[] = {128, row(10)};
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    sky.DrawAbove(mvp, 10);
    const RgbaImage above = ReadFrame();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    sky.DrawBelow(mvp, 10);
    const RgbaImage below = ReadFrame();
    for (int x : {20, 128, 230}) {
        SCOPED_TRACE(x);
        for (int low : low_rows) {
            ASSERT_TRUE(Covered(above, x, low));
            EXPECT_TRUE(ColourNear(below.AtGL(x, low), kFog, 1)) << "row " << low;
            EXPECT_FALSE(ColourNear(above.AtGL(x, low), kFog, 20)) << "row " << low;
        }
        for (int high : high_rows)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(below.AtGL(x, high)[c], above.AtGL(x, high)[c]) << "row " << high;
    }
}

}  // namespace
