// Camera key animation: the keys the user records from the free camera, the
// playback that flies the camera along their Kochanek-Bartels spline, and the
// span the offline recorder renders.
//
// The application owns one CameraAnimation and forwards its key commands
// (push, play, reset, save, load) and, every frame while playing, asks it for
// the view. It holds no clock: every call that depends on time takes the
// application's playback time, so keys are stamped and flown on the same
// timeline as the diver; pausing, speed, steps and Home act on both. Play
// expects the caller to send its playback time back to 0 right after it
// succeeds.
//
// Rules kept here so the camera never runs backwards:
// - key times strictly increase; a key whose playback time is not after the
//   last key's is refused (pushed twice while paused, after stepping back or
//   going home), also after a play (time restarts) or a load (other times);
// - play and recording need at least two keys in increasing time;
// - the frame count of a recording is bounded.
// Failures come back as a status with a reason; nothing is printed.
//
// Use, with `time` the application's playback time:
//   n  animation.PushPose(view, time)
//   m  if (animation.Play(time)) time = 0;
//   j  animation.Reset()
//   k  animation.Save(kCameraKeyFileName)          -> "saved %u keypoints", count
//   l  animation.Load(kCameraKeyFileName, time)    -> "loaded %u keypoints", count
//   v  animation.RecordingFrames(frames), then, once the recording can
//      start, Play(time) and time = 0, and frames k = 0 .. frames - 1 at
//      t = k / kRecordingFramesPerSecond
//   frame: view = animation.PlaybackView(t), else the free camera's view
// A failed status's reason goes out as one "error: " line; a load's
// warning, when there is one, as one "warning: " line.
#pragma once

#include "math/camera_key_file.h"
#include "math/kochanek_bartels_spline.h"
#include "math/matrix4.h"
#include "math/spline_sampler.h"

#include <filesystem>
#include <optional>
#include <vector>

using CameraSpline = CKochanekBartelsQuatSpline<math::Vector3<float>>;
using CameraSampler = CSplineSampler_ExplicitTime_UniformStep<CameraSpline>;
using CameraPose = CameraSpline::_TyPose;

inline constexpr double kRecordingFramesPerSecond = 23.976;
// A day of frames, ceil(86400 * 23.976): no flight through the scene comes
// near it. What the cap guards against, a duration that is not finite or a
// count that overflows unsigned, begins only around 2,000 days.
inline constexpr unsigned kMaxRecordingFrames = 2071527;

// ceil(duration * 23.976): the frames a recording of `duration` seconds
// renders. Empty for a duration that is negative, not finite or would need
// more than kMaxRecordingFrames.
std::optional<unsigned> RecordingFrameCount(double duration);

// Key pose of a view matrix (rotation, then translation by minus the eye):
// the orientation with w >= 0 and the negated eye position.
CameraPose PoseOfView(const Matrix4& view);
// View matrix of a pose: rotation of the orientation, post-multiplied by the
// translation of the position.
Matrix4 ViewOfPose(const CameraPose& pose);

class CameraAnimation {
public:
    // Appends a key for `view` at playback time `time` (seconds). The first
    // key of a recording sets the time base, so it has time 0. A key not
    // after the last one is refused: "key at 12.00 s is not after the last
    // key at 12.00 s: play on before adding a key".
    CameraKeyStatus PushPose(const Matrix4& view, double time);
    // Builds the playback keys (the recorded keys with both end keys doubled)
    // and starts playing from time 0. `time` is the playback time just
    // before the caller sends it back to 0. Refused with fewer than two keys
    // or times that do not increase; the free camera then stays in control.
    CameraKeyStatus Play(double time);
    // Stops playing; the keys stay.
    void Stop() { m_playing = false; }
    // Stops playing and discards the recorded keys.
    void Reset();
    // Writes the recorded keys to `path`.
    CameraKeyStatus Save(const std::filesystem::path& path) const;
    // Replaces the recorded keys by those of `path` and stops playing (see
    // Replace). On failure nothing changes.
    CameraKeyStatus Load(const std::filesystem::path& path, double time);
    // Replaces the recorded keys and stops playing; a key pushed afterwards
    // comes as long after the last of them as playback time advances from
    // `time`.
    void Replace(std::vector<CameraKey> keys, double time);
    // What a recording of the keys would render: on success `frames` is the
    // number of frames at 23.976 per second. Changes nothing, so a caller
    // can check this before it starts anything and Play once it has.
    CameraKeyStatus RecordingFrames(unsigned& frames) const;

    // Span of the recorded keys in seconds (the last key's time for keys
    // recorded here, which start at 0); 0 with fewer than two keys.
    double Duration() const;
    // The view for frame time t while playing, or nothing when the free
    // camera is in control. The frame past the end of the keys still gets
    // the spline's view and ends playing.
    std::optional<Matrix4> PlaybackView(double t);

    bool Playing() const { return m_playing; }
    const std::vector<CameraKey>& Keys() const { return m_recorded_keys; }  // recording or file order
    const std::vector<CameraKey>& PlaybackKeys() const { return m_playback_keys.points; }
    // Playback time that key time 0 corresponds to.
    double TimeBase() const { return m_time_base; }

private:
    std::vector<CameraKey> m_recorded_keys;  // the user's keys, in recording or file order
    CameraSpline m_playback_keys;            // what the sampler reads while playing
    bool m_playing = false;
    double m_time_base = 0.0;
};
