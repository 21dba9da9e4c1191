// The follow camera's pose and its smoothing, without a context.
#include "math/follow_camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectNear(const Vector3& a, const Vector3& b, float tolerance, const char* what)
{
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

// Where a world point lands in view space.
Vector3 InView(const Matrix4& view, const Vector3& p)
{
    const Vector4 v = view * Vector4(p, 1.0f);
    return {v.x, v.y, v.z};
}

TEST(FollowCamera, TargetPoseIsBehindAndAboveTheDiverAlongItsHorizontalHeading)
{
    FollowCameraSettings settings;
    settings.distance = 2.0f;
    settings.height = 1.0f;
    const struct {
        Vector3 position, heading, eye;
    } cases[] = {
        {{5, -10, 3}, {1, 0, 0}, {3, -9, 3}},              // heading east: camera west of it
        {{0, -4, 0}, {0, 0, -1}, {0, -3, 2}},              // heading -z
        {{0, -4, 0}, {0, -0.6f, 0.8f}, {0, -3, -2}},       // descending: only the horizontal part counts
        {{1, -2, 1}, {3, 0, 4}, {1 - 1.2f, -1, 1 - 1.6f}}, // not unit length
        {{0, -4, 0}, {0, -1, 0}, {0, -3, 2}},              // straight down: the fallback, -z
    };
    for (const auto& c : cases) {
        const FollowPose pose = FollowTargetPose(c.position, c.heading, settings);
        ExpectNear(pose.eye, c.eye, 1e-5f, "eye");
        ExpectNear(pose.centre, c.position, 0.0f, "centre");
    }
}

TEST(FollowCamera, TheViewLooksAtTheDiverWithUpUpAndIsNotMirrored)
{
    FollowCameraSettings settings;
    const Vector3 diver(4, -8, -2), heading(1, 0, 0);
    const Matrix4 view = FollowPoseView(FollowTargetPose(diver, heading, settings));
    // The diver straight ahead on the view's -z axis, at the eye's distance.
    const Vector3 seen = InView(view, diver);
    EXPECT_NEAR(seen.x, 0.0f, 1e-5f);
    EXPECT_NEAR(seen.y, 0.0f, 1e-5f);
    EXPECT_NEAR(seen.z, -std::hypot(settings.distance, settings.height), 1e-4f);
    // Heading along +x with the camera behind it, -z is on the diver's left
    // and so on the screen's left (a mirrored view would swap them); up is up.
    EXPECT_LT(InView(view, diver + Vector3(0, 0, -1)).x, 0.0f);
    EXPECT_GT(InView(view, diver + Vector3(0, 1, 0)).y, 0.0f);
    // A rotation and a translation: lengths are kept.
    const Vector3 a = InView(view, {0, 0, 0}), b = InView(view, {1, 2, 3});
    EXPECT_NEAR((b - a).Length(), std::sqrt(14.0f), 1e-4f);
}

TEST(FollowCamera, ApproachIsExponentialAndIndependentOfTheStepLength)
{
    const FollowPose from{{0, 0, 0}, {0, 0, 0}}, to{{10, 0, 0}, {0, -10, 0}};
    // One time constant covers 1 - 1/e of the way.
    const FollowPose one = ApproachPose(from, to, 0.5, 0.5);
    EXPECT_NEAR(one.eye.x, 10.0f * (1.0f - std::exp(-1.0f)), 1e-4f);
    EXPECT_NEAR(one.centre.y, -10.0f * (1.0f - std::exp(-1.0f)), 1e-4f);
    // Ten frames of 0.01 s end where one of 0.1 s does.
    FollowPose stepped = from;
    for (int i = 0; i < 10; ++i)
        stepped = ApproachPose(stepped, to, 0.01, 0.5);
    const FollowPose whole = ApproachPose(from, to, 0.1, 0.5);
    ExpectNear(stepped.eye, whole.eye, 1e-4f, "eye");
    ExpectNear(stepped.centre, whole.centre, 1e-4f, "centre");
    // No time, no move; no lag, a jump.
    ExpectNear(ApproachPose(from, to, 0.0, 0.5).eye, from.eye, 0.0f, "no time");
    ExpectNear(ApproachPose(from, to, 0.1, 0.0).eye, to.eye, 0.0f, "no lag");
}

TEST(FollowCamera, SmoothedPoseLagsBehindAMovingDiverAndSettlesOnAStillOne)
{
    FollowCameraSettings settings;
    settings.time_constant = 0.5;
    // A diver moving east at 1 m/s from x = 0 at time 0.
    const auto moving = [&](double t) {
        return FollowTargetPose(Vector3(float(t), -5, 0), Vector3(1, 0, 0), settings);
    };
    const FollowPose at10 = SmoothedFollowPose(moving, 10.0, 0.0, settings);
    const FollowPose target = moving(10.0);
    // A first-order lag behind a constant speed trails by speed x time constant.
    EXPECT_NEAR(at10.centre.x, target.centre.x - 0.5f, 0.02f);
    EXPECT_NEAR(at10.eye.y, target.eye.y, 1e-4f);
    // A still diver: the pose is the target pose.
    const auto still = [&](double) { return FollowTargetPose(Vector3(3, -5, 1), Vector3(0, 0, 1), settings); };
    ExpectNear(SmoothedFollowPose(still, 7.0, 0.0, settings).eye, still(0).eye, 1e-5f, "still");
    // At the start of the motion there is no history: the target itself.
    ExpectNear(SmoothedFollowPose(moving, 20.0, 20.0, settings).centre, moving(20.0).centre, 0.0f, "start");
    // The same time gives the same pose: it depends on the time alone.
    const FollowPose again = SmoothedFollowPose(moving, 10.0, 0.0, settings);
    EXPECT_EQ(again.eye, at10.eye);
}

}  // namespace
