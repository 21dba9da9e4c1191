// The key commands of the application: camera keys, wireframe, screenshot,
// recording, the playback timeline, the follow camera and the error view,
// the free camera's steps and quitting.
#include "app/demo_application.h"

#include "capture/recording.h"
#include "capture/screenshot.h"
#include "gl/gles20.h"
#include "platform/window.h"

#include <cstdio>
#include <cstdlib>

namespace {

void ReportFailure(const std::string& reason)
{
    std::fprintf(stderr, "error: %s\n", reason.c_str());
}

void PrintKeyCount(const char* what, unsigned count)
{
    std::printf("%s %u keypoints\n", what, count);
    std::fflush(stdout);
}

}  // namespace

bool DemoApplication::RestartClockFor(const CameraKeyStatus& started)
{
    if (!started) {
        ReportFailure(started.reason);
        return false;
    }
    m_clock.Reset();
    RestartTimeline();
    return true;
}

void DemoApplication::onPushSplinePose()
{
    const CameraKeyStatus status = m_animation.PushPose(FreeCameraView(m_shell), m_clock.Read());
    if (!status)
        ReportFailure(status.reason);
}

void DemoApplication::onPlayAnimation()
{
    RestartClockFor(m_animation.Play(m_clock.Read()));
}

void DemoApplication::onResetAnimation()
{
    m_animation.Reset();
}

void DemoApplication::onSaveAnimation()
{
    const CameraKeyStatus status = m_animation.Save(kCameraKeyFileName);
    if (status)
        PrintKeyCount("saved", status.count);
    else
        ReportFailure(status.reason);
}

void DemoApplication::onLoadAnimation()
{
    const CameraKeyStatus status = m_animation.Load(kCameraKeyFileName, m_clock.Read());
    if (!status) {
        ReportFailure(status.reason);
        return;
    }
    if (!status.warning.empty())
        std::fprintf(stderr, "warning: %s\n", status.warning.c_str());
    PrintKeyCount("loaded", status.count);
}

void DemoApplication::onToggleWireframe()
{
    if (platform::Window_SetWireframe(!m_shell.wireframe))
        m_shell.wireframe = !m_shell.wireframe;
    else
        std::fprintf(stderr, "warning: wireframe is not available here: the context draws filled polygons only\n");
}

void DemoApplication::onScreenshot()
{
    // The view of the window's frame: the timeline's time for both passes,
    // so the surface shows textures made at the same moment; no buffer
    // swap, nothing was drawn into the window to show.
    if (const char* unavailable = platform::Window_NoFileCapture()) {
        ReportFailure(std::string("screenshots are ") + unavailable);
        return;
    }
    if (m_first_frame_pending)
        Tick();  // starts the clock as the first frame does
    if (const Status saved = SaveScreenshot(Draws(), m_timeline.Time()); !saved)
        ReportFailure(saved.reason);
}

void DemoApplication::onRecord()
{
    if (const char* unavailable = platform::Window_NoFileCapture()) {
        ReportFailure(std::string("recordings are ") + unavailable);
        return;
    }
    unsigned frames = 0;
    if (!RestartClockFor(m_animation.PrepareRecording(m_clock.Read(), frames)))
        return;
    RecordingSettings settings;
    settings.report = ReportFailure;
    const RecordingResult result = RecordFrames(frames, {}, Draws(), settings);
    if (!result.started) {
        m_animation.playing = false;  // nothing was recorded: the free camera stays
        return;
    }
    // A shorter recording than the last one leaves its later frames behind.
    size_t older = 0;
    unsigned first_older = 0;
    for (unsigned k : RecordedFramesIn(settings.directory))
        if (k >= frames && older++ == 0)
            first_older = k;
    if (older > 0)
        std::fprintf(stderr, "warning: %zu older frame%s from an earlier recording left in %s, from %s on\n", older,
                     older == 1 ? "" : "s", settings.directory.string().c_str(),
                     CMTEncoder::FrameFileName(settings.directory, first_older).c_str());
}

void DemoApplication::onTogglePause()
{
    m_timeline.TogglePause();
}

void DemoApplication::onSlower()
{
    m_timeline.Slower();
}

void DemoApplication::onFaster()
{
    m_timeline.Faster();
}

void DemoApplication::onStepBack()
{
    m_timeline.Step(-1, m_dataset.Data().dt);
}

void DemoApplication::onStepForward()
{
    m_timeline.Step(+1, m_dataset.Data().dt);
}

void DemoApplication::onHome()
{
    m_timeline.Home();
}

void DemoApplication::onToggleFollow()
{
    m_follow = !m_follow;
}

void DemoApplication::onToggleErrorView()
{
    m_error_view = !m_error_view;
}

void DemoApplication::onMoveForward()
{
    Shell_Move(m_shell, +1, 0);
}

void DemoApplication::onMoveBack()
{
    Shell_Move(m_shell, -1, 0);
}

void DemoApplication::onMoveLeft()
{
    Shell_Move(m_shell, 0, +1);
}

void DemoApplication::onMoveRight()
{
    Shell_Move(m_shell, 0, -1);
}

void DemoApplication::onQuit()
{
    std::exit(0);
}

void ApplyViewOptions(DemoApplication& application, const Options& options)
{
    application.SetFollow(options.follow);
    application.SetErrorView(options.error_view);
    if (options.error_thresholds)
        application.SetErrorThresholds(options.error_thresholds->first, options.error_thresholds->second);
}
