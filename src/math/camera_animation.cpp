#include "math/camera_animation.h"

#include "math/quat.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

bool IsFinite(const CameraPose& pose)
{
    return std::isfinite(pose.position.x) && std::isfinite(pose.position.y) && std::isfinite(pose.position.z) &&
           std::isfinite(pose.orientation.x) && std::isfinite(pose.orientation.y) &&
           std::isfinite(pose.orientation.z) && std::isfinite(pose.orientation.w);
}

// t as a float sampling time; beyond the float range the spline only
// extrapolates further, so the range's end stands in.
float FloatTime(double t)
{
    return static_cast<float>(std::clamp(t, -double(FLT_MAX), double(FLT_MAX)));
}

std::string Seconds(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6g s", value);
    return text;
}

CameraKeyStatus CheckPlayable(const std::vector<CameraKey>& keys)
{
    if (keys.size() < 2)
        return CameraKeyStatus::Failure("the animation needs at least two keys, it has " + std::to_string(keys.size()));
    if (Status times = CheckKeyTimes(keys); !times)
        return CameraKeyStatus::Failure(std::move(times.reason));
    return CameraKeyStatus::Success(static_cast<unsigned>(keys.size()));
}

}  // namespace

std::optional<unsigned> RecordingFrameCount(double duration)
{
    if (!std::isfinite(duration) || duration < 0)
        return std::nullopt;
    const double frames = std::ceil(duration * kRecordingFramesPerSecond);
    if (!(frames <= kMaxRecordingFrames))
        return std::nullopt;
    return static_cast<unsigned>(frames);
}

CameraPose PoseOfView(const Matrix4& view)
{
    CameraPose pose;
    pose.orientation = Quat::FromRotationMatrix(view);
    if (pose.orientation.w < 0)  // same rotation, one sign for every stored key
        pose.orientation = math::QuatNegate(pose.orientation);
    const Matrix4 inverse = view.Inverse();
    pose.position = {-inverse[12], -inverse[13], -inverse[14]};
    return pose;
}

Matrix4 ViewOfPose(const CameraPose& pose)
{
    Matrix4 view = Matrix4::Identity();
    pose.orientation.ToRotationMatrix(view);
    return view * Matrix4::Translation(pose.position);
}

CameraKeyStatus CameraAnimation::PushPose(const Matrix4& view, double clock)
{
    if (recorded_keys.size() >= kMaxCameraKeys)
        return CameraKeyStatus::Failure("the animation already holds " + std::to_string(kMaxCameraKeys) + " keys");
    const CameraPose pose = PoseOfView(view);
    if (!std::isfinite(clock) || !IsFinite(pose))
        return CameraKeyStatus::Failure("the camera pose or the clock is not finite");
    const double base = recorded_keys.empty() ? clock : recording_time_base;
    const double time = clock - base;
    if (!(std::fabs(time) <= FLT_MAX))
        return CameraKeyStatus::Failure("key time " + Seconds(time) + " is out of range");
    CameraKey key;
    key.position = pose.position;
    key.orientation = pose.orientation;
    key.time = static_cast<float>(time);
    // Also catches two pushes the float time cannot tell apart.
    if (!recorded_keys.empty() && !(key.time > recorded_keys.back().time))
        return CameraKeyStatus::Failure("key time " + Seconds(key.time) + " does not come after the last key at " +
                                        Seconds(recorded_keys.back().time));
    recording_time_base = base;
    recorded_keys.push_back(key);
    return CameraKeyStatus::Success(static_cast<unsigned>(recorded_keys.size()));
}

CameraKeyStatus CameraAnimation::Play(double clock)
{
    CameraKeyStatus status = CheckPlayable(recorded_keys);
    if (!status)
        return status;
    playback_keys.points.clear();
    playback_keys.points.reserve(recorded_keys.size() + 2);
    // The end keys serve as their own outer neighbours.
    playback_keys.points.push_back(recorded_keys.front());
    playback_keys.points.insert(playback_keys.points.end(), recorded_keys.begin(), recorded_keys.end());
    playback_keys.points.push_back(recorded_keys.back());
    playing = true;
    ClockRestarted(clock);
    return status;
}

void CameraAnimation::Reset()
{
    playing = false;
    recorded_keys.clear();
}

CameraKeyStatus CameraAnimation::Save(const std::filesystem::path& path) const
{
    return SaveKeyFile(path, recorded_keys);
}

CameraKeyStatus CameraAnimation::Load(const std::filesystem::path& path, double clock)
{
    std::vector<CameraKey> keys;
    CameraKeyStatus status = LoadKeyFile(path, keys);
    if (!status)
        return status;
    playing = false;
    recorded_keys = std::move(keys);
    // Measure the next key from now, continuing after the last loaded one.
    recording_time_base = recorded_keys.empty() ? clock : clock - double(recorded_keys.back().time);
    return status;
}

CameraKeyStatus CameraAnimation::PrepareRecording(double clock, unsigned& frames)
{
    if (CameraKeyStatus status = CheckPlayable(recorded_keys); !status)
        return status;
    const std::optional<unsigned> count = RecordingFrameCount(Duration());
    if (!count)
        return CameraKeyStatus::Failure("an animation of " + Seconds(Duration()) + " would need more than " +
                                        std::to_string(kMaxRecordingFrames) + " frames");
    CameraKeyStatus status = Play(clock);
    if (status)
        frames = *count;
    return status;
}

double CameraAnimation::Duration() const
{
    if (recorded_keys.size() < 2)
        return 0.0;
    return double(recorded_keys.back().time) - double(recorded_keys.front().time);
}

std::optional<Matrix4> CameraAnimation::PlaybackView(double t)
{
    if (!playing)
        return std::nullopt;
    const std::vector<CameraKey>& keys = playback_keys.points;
    CameraPose pose;
    if (keys.size() < 4 || !CameraSampler(playback_keys).Sample(pose, FloatTime(t))) {
        playing = false;
        return std::nullopt;
    }
    // This frame still shows the spline; the next one is the free camera's.
    if (t > double(keys.back().time) - double(keys.front().time))
        playing = false;
    return ViewOfPose(pose);
}

void CameraAnimation::ClockRestarted(double clock)
{
    recording_time_base -= clock;
}
