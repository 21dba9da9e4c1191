#include "math/follow_camera.h"

#include <algorithm>
#include <cmath>

namespace {

Vector3 Horizontal(const Vector3& v)
{
    return Normalise(Vector3(v.x, 0.0f, v.z));
}

Vector3 Lerp(const Vector3& a, const Vector3& b, float f)
{
    return a + (b - a) * f;
}

}  // namespace

FollowPose FollowTargetPose(const Vector3& position, const Vector3& heading, const FollowCameraSettings& settings,
                            const Vector3& fallback)
{
    Vector3 ahead = Horizontal(heading);
    if (ahead == Vector3())
        ahead = Horizontal(fallback);
    if (ahead == Vector3())
        ahead = Vector3(0.0f, 0.0f, -1.0f);
    FollowPose pose;
    pose.centre = position;
    pose.eye = position - ahead * settings.distance + Vector3(0.0f, settings.height, 0.0f);
    return pose;
}

FollowPose ApproachPose(const FollowPose& from, const FollowPose& to, double seconds, double time_constant)
{
    if (!(time_constant > 0.0))
        return to;
    if (!(seconds > 0.0))
        return from;
    const float f = static_cast<float>(1.0 - std::exp(-seconds / time_constant));
    return {Lerp(from.eye, to.eye, f), Lerp(from.centre, to.centre, f)};
}

Matrix4 FollowPoseView(const FollowPose& pose)
{
    Vector3 forward = Normalise(pose.centre - pose.eye);
    if (forward == Vector3())
        forward = Vector3(0.0f, 0.0f, -1.0f);
    Vector3 side = Normalise(Cross(forward, Vector3(0.0f, 1.0f, 0.0f)));
    if (side == Vector3())
        side = Normalise(Cross(forward, Vector3(0.0f, 0.0f, -1.0f)));
    const Vector3 up = Cross(side, forward);
    Matrix4 view = Matrix4::Identity();
    view[0] = side.x;
    view[4] = side.y;
    view[8] = side.z;
    view[1] = up.x;
    view[5] = up.y;
    view[9] = up.z;
    view[2] = -forward.x;
    view[6] = -forward.y;
    view[10] = -forward.z;
    view[12] = -Dot(side, pose.eye);
    view[13] = -Dot(up, pose.eye);
    view[14] = Dot(forward, pose.eye);
    return view;
}

FollowPose SmoothedFollowPose(const std::function<FollowPose(double)>& target_at, double t, double start,
                              const FollowCameraSettings& settings)
{
    const double history = kFollowHistoryTimeConstants * std::max(settings.time_constant, 0.0);
    // Steps counted from t backwards, so every t replays the same kind of
    // history: whole steps, then the part step that reaches t.
    const double from = std::max(start, t - history);
    if (!(t > from))
        return target_at(t);
    const long steps = static_cast<long>(std::floor((t - from) / kFollowStep));
    double now = t - double(steps) * kFollowStep;
    FollowPose pose = target_at(from);
    pose = ApproachPose(pose, target_at(now), now - from, settings.time_constant);
    for (long k = 0; k < steps; ++k) {
        now += kFollowStep;
        pose = ApproachPose(pose, target_at(now), kFollowStep, settings.time_constant);
    }
    return pose;
}
