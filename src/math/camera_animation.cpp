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

CameraKeyStatus CameraAnimation::PushPose(const Matrix4& view, double time)
{
    if (m_recorded_keys.size() >= kMaxCameraKeys)
        return CameraKeyStatus::Failure("the animation already holds " + std::to_string(kMaxCameraKeys) + " keys");
    const CameraPose pose = PoseOfView(view);
    if (!std::isfinite(time) || !IsFinite(pose))
        return CameraKeyStatus::Failure("the camera pose or the playback time is not finite");
    const double base = m_recorded_keys.empty() ? time : m_time_base;
    const double key_time = time - base;
    if (!(std::fabs(key_time) <= FLT_MAX))
        return CameraKeyStatus::Failure("key time " + Seconds(key_time) + " is out of range");
    CameraKey key;
    key.position = pose.position;
    key.orientation = pose.orientation;
    key.time = static_cast<float>(key_time);
    // Also catches two pushes the float time cannot tell apart.
    if (!m_recorded_keys.empty() && !(key.time > m_recorded_keys.back().time)) {
        char text[160];
        std::snprintf(text, sizeof text, "key at %.2f s is not after the last key at %.2f s: play on before adding a key",
                      double(key.time), double(m_recorded_keys.back().time));
        return CameraKeyStatus::Failure(text);
    }
    m_time_base = base;
    m_recorded_keys.push_back(key);
    return CameraKeyStatus::Success(static_cast<unsigned>(m_recorded_keys.size()));
}

CameraKeyStatus CameraAnimation::Play(double time)
{
    CameraKeyStatus status = CheckPlayable(m_recorded_keys);
    if (!status)
        return status;
    std::vector<CameraKey>& points = m_playback_keys.points;
    points.clear();
    points.reserve(m_recorded_keys.size() + 2);
    // The end keys serve as their own outer neighbours.
    points.push_back(m_recorded_keys.front());
    points.insert(points.end(), m_recorded_keys.begin(), m_recorded_keys.end());
    points.push_back(m_recorded_keys.back());
    m_playing = true;
    // Playback time restarts at 0: keys pushed from now on continue after
    // the ones there are.
    m_time_base -= time;
    return status;
}

void CameraAnimation::Reset()
{
    m_playing = false;
    m_recorded_keys.clear();
}

CameraKeyStatus CameraAnimation::Save(const std::filesystem::path& path) const
{
    return SaveKeyFile(path, m_recorded_keys);
}

CameraKeyStatus CameraAnimation::Load(const std::filesystem::path& path, double time)
{
    std::vector<CameraKey> keys;
    CameraKeyStatus status = LoadKeyFile(path, keys);
    if (status)
        Replace(std::move(keys), time);
    return status;
}

void CameraAnimation::Replace(std::vector<CameraKey> keys, double time)
{
    m_playing = false;
    m_recorded_keys = std::move(keys);
    // Measure the next key from now, continuing after the last loaded one.
    m_time_base = m_recorded_keys.empty() ? time : time - double(m_recorded_keys.back().time);
}

CameraKeyStatus CameraAnimation::RecordingFrames(unsigned& frames) const
{
    CameraKeyStatus status = CheckPlayable(m_recorded_keys);
    if (!status)
        return status;
    const std::optional<unsigned> count = RecordingFrameCount(Duration());
    if (!count)
        return CameraKeyStatus::Failure("an animation of " + Seconds(Duration()) + " would need more than " +
                                        std::to_string(kMaxRecordingFrames) + " frames");
    frames = *count;
    return status;
}

double CameraAnimation::Duration() const
{
    if (m_recorded_keys.size() < 2)
        return 0.0;
    return double(m_recorded_keys.back().time) - double(m_recorded_keys.front().time);
}

std::optional<Matrix4> CameraAnimation::PlaybackView(double t)
{
    if (!m_playing)
        return std::nullopt;
    const std::vector<CameraKey>& keys = m_playback_keys.points;
    CameraPose pose;
    if (keys.size() < 4 || !CameraSampler(m_playback_keys).Sample(pose, FloatTime(t))) {
        m_playing = false;
        return std::nullopt;
    }
    // This frame still shows the spline; the next one is the free camera's.
    if (t > double(keys.back().time) - double(keys.front().time))
        m_playing = false;
    return ViewOfPose(pose);
}
