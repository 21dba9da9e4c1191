// The water surface on the headless context: culling picks the side, from
// straight above the alpha is 0.25 bent by the noise, from below the
// capture fades into fog within 30 units.
#include "scene/water_above.h"
#include "scene/water_below.h"
#include "scene/water_plane.h"

#include "image/bitmap.h"
#include "scene_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace scenetest;

namespace {

class WaterTest : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        // Made here, not as members: the context exists from SetUp on.
        m_water = std::make_unique<Water>();
        ASSERT_EQ(plane().VertexCount(), 9);
        ASSERT_TRUE(above().Create());
        ASSERT_TRUE(below().Create());
    }
    void TearDown() override
    {
        m_water.reset();
        SceneTest::TearDown();
    }
    struct Water {
        CWaterPlane plane;
        CWaterAbove above;
        CWaterBelow below;
    };
    std::unique_ptr<Water> m_water;
    CWaterPlane& plane() { return m_water->plane; }
    CWaterAbove& above() { return m_water->above; }
    CWaterBelow& below() { return m_water->below; }
};

std::vector<uint32_t> Uniform(int size, uint8_t r, uint8_t g, uint8_t b)
{
    return std::vector<uint32_t>(size_t(size) * size_t(size), PackRGBA(r, g, b, 255));
}

// Where the ray through pixel (x, y) meets the plane y = 0.
Vector3 PlanePoint(const Matrix4& view, const Vector3& eye, int x, int y)
{
    const Vector3 ray = EyeRay(x, y, 256);
    const Vector4 d = view.Inverse() * Vector4(ray, 0);
    return eye + Vector3(d.x, d.y, d.z) * (-eye.y / d.y);
}

float Smoothstep(float e0, float e1, float x)
{
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// The triangles face up: with counter-clockwise front faces only an eye
// above sees them, with clockwise ones only an eye below; and they reach
// every corner of the view (the far corners lie at infinity).
TEST_F(WaterTest, CullingPicksTheSideAndPlaneFillsTheView)
{
    const GLTexture capture = MakeTexture(4, 4, Uniform(4, 90, 90, 90));
    struct Case {
        float eye_y;
        GLenum front;
        bool visible;
    } cases[] = {{5, GL_CCW, true}, {5, GL_CW, false}, {-5, GL_CCW, false}, {-5, GL_CW, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "eye y " << c.eye_y << (c.front == GL_CW ? " cw" : " ccw"));
        // Tilted 15 degrees towards the surface: the horizon is in view.
        const Vector3 eye(3, c.eye_y, 2);
        const Matrix4 view = View(eye, eye + Vector3(0, -c.eye_y / 5 * 0.27f, -1), {0, 1, 0});
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFrontFace(c.front);
        glBindTexture(GL_TEXTURE_2D, capture);
        ASSERT_TRUE(below().Use(Perspective60() * view, view, 1));
        plane().Draw();
        const Frame f = ReadFrame();
        // The horizon runs across the middle; the surface fills the half
        // towards it, out to the screen's edges.
        const int surface_row = c.eye_y > 0 ? 20 : 235;
        for (int x : {0, 128, 255})
            EXPECT_EQ(f.Covered(x, surface_row), c.visible) << "column " << x;
        EXPECT_FALSE(f.Covered(128, 255 - surface_row));  // sky side of the horizon
    }
    glFrontFace(GL_CCW);
}

// Straight below an eye above the water: alpha = 1 - (n.V)^3 * 0.75 with
// the normal bent by the two noise samples; unbent it would be 0.25.
TEST_F(WaterTest, AboveFromStraightOverheadHasQuarterAlphaPlusPerturbation)
{
    const GLTexture capture = MakeTexture(4, 4, Uniform(4, 64, 64, 64));
    glBindTexture(GL_TEXTURE_2D, capture);
    // Up to 6.7 units high the bend is at its strongest (off = noise / 20).
    struct Case {
        float x, z, height, time;
    } cases[] = {{0, 0, 10, 0}, {7, 5.4f, 3, 1.5f}, {-2.8f, 8.1f, 4, 0}, {-5.6f, -4.5f, 2, 0.4f}};
    float largest_bend = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << ", " << c.height << ", " << c.z << " at " << c.time);
        const Vector3 eye(c.x, c.height, c.z);
        const Matrix4 view = View(eye, eye - Vector3(0, 1, 0), {0, 0, -1});
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ASSERT_TRUE(above().Use(Perspective60() * view, view, c.time));
        plane().Draw();
        const Frame f = ReadFrame();

        const Vector3 p = PlanePoint(view, eye, 128, 128);
        const Vector4 ve = view * Vector4(p, 1);
        const Vector3 v(ve.x, ve.y, ve.z);
        const float nx = SimplexNoise(p.x * 0.7f, p.z * 0.7f, c.time * 0.7f) * 0.5f;
        const float nz = SimplexNoise(p.z * 0.7f, p.x * 0.7f, (3 - c.time) * 0.7f) * 0.5f;
        const float scale = std::max(20.0f, 3 * v.Length());
        const Vector4 up = view * Vector4(0, 1, 0, 0);
        const Vector3 n = Normalise(Vector3(-up.x + 10 * nx / scale, -up.y, -up.z + 10 * nz / scale));
        const float facing = std::max(0.0f, Dot(n, Normalise(v)));
        const float alpha = 1 - facing * facing * facing * 0.75f;
        largest_bend = std::max(largest_bend, std::fabs(alpha - 0.25f));

        const uint8_t* px = f.At(128, 128);
        EXPECT_NEAR(px[3], alpha * 255, 2.0);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_GE(px[ch], 63);  // capture plus light, never less
    }
    EXPECT_GT(largest_bend * 255, 6) << "the cases do not exercise the perturbation";
}

// From below: the capture at the fragment's own screen position, mixed
// towards fog by eye distance, fog alone from 30 units on.
TEST_F(WaterTest, BelowFadesCaptureIntoFogByThirtyUnits)
{
    std::vector<uint32_t> ramp(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ramp[size_t(y) * 256 + size_t(x)] = PackRGBA(RampByte(x), RampByte(y), 0, 255);
    const GLTexture capture = MakeTexture(256, 256, ramp);
    glBindTexture(GL_TEXTURE_2D, capture);
    // One unit under water, looking 30 degrees up: the bottom row grazes
    // the surface far away, the top row meets it close by.
    const Vector3 eye(0, -1, 0);
    const Matrix4 view = View(eye, eye + Vector3(0, 0.5f, -0.8660254f), {0, 1, 0});
    glFrontFace(GL_CW);
    ASSERT_TRUE(below().Use(Perspective60() * view, view, 2));
    plane().Draw();
    glFrontFace(GL_CCW);
    const Frame f = ReadFrame();
    bool saw_fog = false, saw_near = false;
    for (int y : {1, 8, 30, 80, 128, 200, 254}) {
        for (int x : {40, 128, 220}) {
            const float d = (PlanePoint(view, eye, x, y) - eye).Length();
            const float k = Smoothstep(0.1f, 30, d);
            const float capture_rgb[3] = {(float(x) + 0.5f) / 256, (float(y) + 0.5f) / 256, 0};
            float expected[3];
            for (int c = 0; c < 3; ++c)
                expected[c] = capture_rgb[c] + (kFog[c] - capture_rgb[c]) * k;
            SCOPED_TRACE(::testing::Message() << "pixel " << x << ", " << y << " at distance " << d);
            EXPECT_TRUE(ColourNear(f.At(x, y), expected, 3));
            EXPECT_EQ(f.At(x, y)[3], 255);
            saw_fog |= d >= 30;
            saw_near |= d < 3;
        }
    }
    EXPECT_TRUE(saw_fog && saw_near);
}

}  // namespace
