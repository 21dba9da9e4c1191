// The follow camera: behind and above the diver, looking at it, catching up
// with it smoothly instead of being fixed to it.
//
// The target pose is a fixed offset from the diver along its horizontal
// heading; the camera approaches it exponentially (a first-order lag with a
// time constant), which is independent of the step length it is advanced
// with. SmoothedFollowPose runs that approach over the seconds before a time
// from a settled start, so the pose is a function of the time alone: a
// screenshot, a recorded frame and the window show the same view for the
// same time, and a recording split over processes matches one made in one
// go. Plain C++, no GL.
#pragma once

#include "math/matrix4.h"
#include "math/vector.h"

#include <functional>

struct FollowCameraSettings {
    float distance = 2.5f;        // metres behind the diver, along its horizontal heading
    float height = 1.0f;          // metres above it
    double time_constant = 0.6;   // seconds to cover 63% of the way to the target pose
};

// Where a camera is and what it looks at.
struct FollowPose {
    Vector3 eye;
    Vector3 centre;
};

// The pose the camera settles at for a diver at `position` heading along
// `heading`: `distance` back along the heading's horizontal part, `height`
// up, looking at the diver. A heading without a horizontal part (straight
// up or down, or zero) uses `fallback` instead (its horizontal part; -z when
// that is zero too).
FollowPose FollowTargetPose(const Vector3& position, const Vector3& heading, const FollowCameraSettings& settings,
                            const Vector3& fallback = Vector3(0.0f, 0.0f, -1.0f));

// `from` moved towards `to` by the fraction 1 - exp(-seconds / time_constant)
// of the way: two steps of s/2 towards a fixed target end where one step of
// s does. A time constant that is not positive jumps to `to`; a step that is
// not positive stays at `from`.
FollowPose ApproachPose(const FollowPose& from, const FollowPose& to, double seconds, double time_constant);

// The view matrix of a camera at pose.eye looking at pose.centre with y up
// (right-handed, not mirrored: x to the right on screen). A pose looking
// straight up or down takes -z as its up direction instead.
Matrix4 FollowPoseView(const FollowPose& pose);

// Seconds of history SmoothedFollowPose replays, and its step.
inline constexpr double kFollowHistoryTimeConstants = 6.0;  // what is left of the start: e^-6, 0.25%
inline constexpr double kFollowStep = 1.0 / 60.0;

// The follow pose at time t, for a target pose over time `target_at`: the
// approach run in steps of kFollowStep from the settled target pose at
// max(start, t - 6 time constants) up to t. `start` is where the motion
// begins (a wrap of the playback, where the diver jumps back to its start).
FollowPose SmoothedFollowPose(const std::function<FollowPose(double)>& target_at, double t, double start,
                              const FollowCameraSettings& settings);
