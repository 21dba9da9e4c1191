// The water surface on the headless context: culling picks the side, from
// straight above the alpha is 0.25 bent by the noise, the capture is
// sampled off the fragment's own position as the noise says, and from below
// it fades into fog within 30 units.
#include "scene/water_above.h"
#include "scene/water_below.h"
#include "scene/water_plane.h"

#include "image/bitmap.h"
#include "scene/scene_test_util.h"

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
        const RgbaImage f = ReadFrame();
        // The horizon runs across the middle; the surface fills the half
        // towards it, out to the screen's edges.
        const int surface_row = c.eye_y > 0 ? 20 : 235;
        for (int x : {0, 128, 255})
            EXPECT_EQ(Covered(f, x, surface_row), c.visible) << "column " << x;
        EXPECT_FALSE(Covered(f, 128, 255 - surface_row));  // sky side of the horizon
    }
    glFrontFace(GL_CCW);
}

// Straight below an eye above the water the surface is a quarter opaque
// where it lies flat (alpha = 1 - (n.V)^3 * 0.75 with n.V = 1); the noise
// bends its normal away from the eye, so alpha rises above that, by at most
// what the largest bend allows (each noise component within 0.5, so the
// normal tilts by no more than atan(10 * 0.025 * sqrt 2)), and differs from
// place to place and moment to moment.
TEST_F(WaterTest, AboveFromStraightOverheadIsQuarterOpaqueBentByTheNoise)
{
    const GLTexture capture = MakeTexture(4, 4, Uniform(4, 64, 64, 64));
    glBindTexture(GL_TEXTURE_2D, capture);
    const float steepest = std::pow(1 / std::sqrt(1 + 2 * 0.25f * 0.25f), 3.0f);
    const float flat_alpha = 0.25f, most_alpha = 1 - steepest * 0.75f;
    // Up to 6.7 units high the bend is at its strongest (off = noise / 20).
    struct Case {
        float x, z, height, time;
    } cases[] = {{0, 0, 10, 0},        {7, 5.4f, 3, 1.5f},      {-2.8f, 8.1f, 4, 0}, {-5.6f, -4.5f, 2, 0.4f},
                 {-5.6f, -4.5f, 2, 2}, {-5.6f, -4.5f, 2, 3.1f}, {3.3f, -1.2f, 5, 7}};
    float lowest = 1, highest = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << ", " << c.height << ", " << c.z << " at " << c.time);
        const Vector3 eye(c.x, c.height, c.z);
        const Matrix4 view = View(eye, eye - Vector3(0, 1, 0), {0, 0, -1});
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ASSERT_TRUE(above().Use(Perspective60() * view, view, c.time));
        plane().Draw();
        const testsupport::RgbaImage frame = ReadFrame();  // kept: px points into it
        const uint8_t* px = frame.AtGL(128, 128);
        EXPECT_GE(px[3], std::floor(flat_alpha * 255));
        EXPECT_LE(px[3], std::ceil(most_alpha * 255));
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_GE(px[ch], 63);  // capture plus light, never less
        lowest = std::min(lowest, px[3] / 255.0f);
        highest = std::max(highest, px[3] / 255.0f);
    }
    EXPECT_GT((highest - lowest) * 255, 6) << "the bend does not change with place and time";
}

// Captures whose colour turns round kPeriods times across the screen along
// one axis, as three phases 120 degrees apart: the angle read back from a
// pixel says where in the capture that pixel sampled, to a small fraction of
// a pixel, whatever a program adds equally to the three channels.
constexpr int kPeriods = 32, kPhaseTexels = 1024;
constexpr double kTwoPi = 6.283185307179586;

GLTexture PhaseCapture(bool along_s)
{
    std::vector<uint32_t> texels;
    for (int j = 0; j < (along_s ? 4 : kPhaseTexels); ++j)
        for (int i = 0; i < (along_s ? kPhaseTexels : 4); ++i) {
            const double a = kTwoPi * kPeriods * ((along_s ? i : j) + 0.5) / kPhaseTexels;
            auto level = [&](double shift) { return uint8_t(std::lround(255 * (0.35 + 0.3 * std::cos(a + shift)))); };
            texels.push_back(PackRGBA(level(0), level(-kTwoPi / 3), level(kTwoPi / 3), 255));
        }
    return along_s ? MakeTexture(kPhaseTexels, 4, texels) : MakeTexture(4, kPhaseTexels, texels);
}

// How far, in pixels along the capture's axis, the sample of pixel (x, y)
// lies from the pixel itself; NaN where a channel is clipped.
double SampleShift(const RgbaImage& f, int x, int y, bool along_s)
{
    const uint8_t* p = f.AtGL(x, y);
    for (int ch = 0; ch < 3; ++ch)
        if (p[ch] == 0 || p[ch] == 255)
            return std::nan("");
    const double angle = std::atan2(std::sqrt(3.0) * (p[1] - p[2]), 2.0 * p[0] - p[1] - p[2]);
    const int size = along_s ? f.width : f.height;
    const double own = kTwoPi * kPeriods * ((along_s ? x : y) + 0.5) / size;
    return std::remainder(angle - own, kTwoPi) / (kTwoPi * kPeriods) * size;
}

struct Shift {
    double s = 0, t = 0;
};

class WaterDistortionTest : public WaterTest {
protected:
    // The sample shift of every pixel (NaN where not measured) with the
    // program of that side of the water seen through `view`.
    std::vector<Shift> Shifts(bool from_above, const Matrix4& view, float time)
    {
        std::vector<Shift> shifts(size_t(256) * 256);
        glFrontFace(from_above ? GL_CCW : GL_CW);
        for (bool along_s : {true, false}) {
            const GLTexture capture = PhaseCapture(along_s);
            glBindTexture(GL_TEXTURE_2D, capture);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            const bool used = from_above ? above().Use(Perspective60() * view, view, time)
                                         : below().Use(Perspective60() * view, view, time);
            EXPECT_TRUE(used);
            plane().Draw();
            const RgbaImage f = ReadFrame();
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x)
                    (along_s ? shifts[size_t(y) * 256 + size_t(x)].s : shifts[size_t(y) * 256 + size_t(x)].t) =
                        Covered(f, x, y) ? SampleShift(f, x, y, along_s) : std::nan("");
        }
        glFrontFace(GL_CCW);
        return shifts;
    }
};

// Both programs sample the capture away from the fragment's own position by
// 0.2 x the two noise samples at that point of the water, over
// max(20, 3 x eye distance). The reference is the CPU copy of the noise, so
// a missing, mirrored, swapped or mis-scaled shift shows. Below the water
// only the near surface is read, where fog barely tints the capture.
TEST_F(WaterDistortionTest, CaptureShiftFollowsTheNoiseAtThatPointOfTheWater)
{
    struct Case {
        bool from_above;
        Vector3 eye, target, up;
        float time, farthest;
    } cases[] = {
        {true, {2, 3, 1}, {2, 0, 1}, {0, 0, -1}, 0, 10},          // time 0: the second sample at time 3
        {true, {-1, 2, 3}, {-1, 0.3f, -5}, {0, 1, 0}, 1.7f, 40},  // out to where the shift weakens
        {false, {0.3f, -1, 0.7f}, {0.3f, 0, 0.7f}, {0, 0, -1}, 2, 3},
        {false, {1, -1.5f, -2}, {1, 0, -4}, {0, 1, 0}, 0.6f, 3},
    };
    double largest = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.from_above ? "above" : "below") << " at " << c.time);
        const Matrix4 view = View(c.eye, c.target, c.up);
        const std::vector<Shift> shifts = Shifts(c.from_above, view, c.time);
        int checked = 0, wrong = 0;
        for (int y = 2; y < 256; y += 6)
            for (int x = 2; x < 256; x += 6) {
                const Shift& got = shifts[size_t(y) * 256 + size_t(x)];
                const Vector3 p = PlanePoint(view, c.eye, x, y);
                const float distance = (p - c.eye).Length();
                if (std::isnan(got.s) || std::isnan(got.t) || !(distance <= c.farthest))
                    continue;
                const float nx = SimplexNoise(p.x * 0.7f, p.z * 0.7f, c.time * 0.7f) * 0.5f;
                const float nz = SimplexNoise(p.z * 0.7f, p.x * 0.7f, (3 - c.time) * 0.7f) * 0.5f;
                const double scale = 0.2 * 256 / std::max(20.0f, 3 * distance);
                const Shift want{nx * scale, nz * scale};
                largest = std::max({largest, std::fabs(want.s), std::fabs(want.t)});
                ++checked;
                if (std::fabs(got.s - want.s) > 0.1 || std::fabs(got.t - want.t) > 0.1) {
                    if (++wrong <= 3)
                        ADD_FAILURE() << "pixel " << x << ", " << y << ": shift (" << got.s << ", " << got.t
                                      << ") pixels, noise says (" << want.s << ", " << want.t << ")";
                }
            }
        EXPECT_GT(checked, 300);
        EXPECT_EQ(wrong, 0) << "of " << checked;
    }
    EXPECT_GT(largest, 0.7) << "the cases do not exercise the shift";
}

// What the eye sees of the same: the capture wavers by up to a pixel and a
// quarter (0.2 x 0.5 / 20 of the screen) and no more, the pattern rides on
// the water (an eye moved sideways by 64 pixels' worth sees it 64 pixels
// over), and it changes from moment to moment.
TEST_F(WaterDistortionTest, WaverIsBoundedRidesOnTheWaterAndChangesOverTime)
{
    const float height = 4, across = 64 * 2 * height * std::tan(3.14159265f / 6) / 256;
    auto look = [&](float x, float time) {
        const Vector3 eye(x, height, 1);
        return Shifts(true, View(eye, eye - Vector3(0, 1, 0), {0, 0, -1}), time);
    };
    const std::vector<Shift> now = look(0.5f, 1), moved = look(0.5f + across, 1), later = look(0.5f, 1.6f);
    double largest = 0, ride = 0, change = 0;
    int count = 0;
    for (int y = 4; y < 252; y += 4)
        for (int x = 68; x < 252; x += 4) {
            const Shift &a = now[size_t(y) * 256 + size_t(x)], &b = moved[size_t(y) * 256 + size_t(x - 64)],
                        &c = later[size_t(y) * 256 + size_t(x)];
            if (std::isnan(a.s + a.t + b.s + b.t + c.s + c.t))
                continue;
            ++count;
            largest = std::max({largest, std::fabs(a.s), std::fabs(a.t)});
            ride = std::max({ride, std::fabs(a.s - b.s), std::fabs(a.t - b.t)});
            change += std::hypot(a.s - c.s, a.t - c.t);
        }
    ASSERT_GT(count, 1500);
    EXPECT_GT(largest, 0.5) << "the capture hardly wavers";
    EXPECT_LE(largest, 1.3) << "the capture wavers further than the noise allows";
    EXPECT_LT(ride, 0.08) << "the pattern does not move with the water";
    EXPECT_GT(change / count, 0.2) << "the pattern stands still";
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
    const RgbaImage f = ReadFrame();
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
            EXPECT_TRUE(ColourNear(f.AtGL(x, y), expected, 3));
            EXPECT_EQ(f.AtGL(x, y)[3], 255);
            saw_fog |= d >= 30;
            saw_near |= d < 3;
        }
    }
    EXPECT_TRUE(saw_fog && saw_near);
}

}  // namespace
