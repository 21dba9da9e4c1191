// The key commands of the application: camera keys, wireframe, screenshot,
// recording, the playback timeline, the follow camera and the error view,
// the free camera's steps and quitting.
#include "app/demo_application.h"

#include "capture/recording.h"
#include "capture/screenshot.h"
#include "gl/gles20.h"
#include "core/report.h"
#include "platform/window.h"

#include <cstdio>
#include <cstdlib>

namespace {

void PrintKeyCount(const char* what, unsigned count)
{
    std::printf("%s %u keypoints\n", what, count);
    std::fflush(stdout);
}

}  // namespace

CameraKeyStatus DemoApplication::PlayFromStart()
{
    CameraKeyStatus status = m_animation.Play(m_timeline.Time());
    if (status)
        RestartTimeline();
    return status;
}

void DemoApplication::onPushSplinePose()
{
    // Keys are stamped on the playback timeline the flight plays them on.
    const double t = m_timeline.Time();
    const CameraKeyStatus status = m_animation.PushPose(SteeredView(t), t);
    if (!status)
        PrintError(status.reason);
}

void DemoApplication::onPlayAnimation()
{
    if (const CameraKeyStatus status = PlayFromStart(); !status)
        PrintError(status.reason);
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
        PrintError(status.reason);
}

void DemoApplication::onLoadAnimation()
{
    const CameraKeyStatus status = m_animation.Load(kCameraKeyFileName, m_timeline.Time());
    if (!status) {
        PrintError(status.reason);
        return;
    }
    if (!status.warning.empty())
        PrintWarning(status.warning);
    PrintKeyCount("loaded", status.count);
}

void DemoApplication::onToggleWireframe()
{
    if (platform::Window_SetWireframe(!m_view.wireframe))
        m_view.wireframe = !m_view.wireframe;
    else
        PrintWarning("wireframe is not available here: the context draws filled polygons only");
}

void DemoApplication::onScreenshot()
{
    // The view of the window's frame: the timeline's time for both passes,
    // so the surface shows textures made at the same moment; no buffer
    // swap, nothing was drawn into the window to show.
    if (const char* unavailable = platform::Window_NoFileCapture()) {
        PrintError(std::string("screenshots are ") + unavailable);
        return;
    }
    if (m_first_frame_pending)
        Tick();  // starts the clock as the first frame does
    if (const Status saved = SaveScreenshot(Draws(), m_timeline.Time()); !saved)
        PrintError(saved.reason);
}

void DemoApplication::onRecord()
{
    if (const char* unavailable = platform::Window_NoFileCapture()) {
        PrintError(std::string("recordings are ") + unavailable);
        return;
    }
    unsigned frames = 0;
    if (const CameraKeyStatus counted = m_animation.RecordingFrames(frames); !counted) {
        PrintError(counted.reason);
        return;
    }
    RecordingSettings settings;
    settings.report = [](const std::string& reason) { PrintError(reason); };
    // The keys start flying, and playback time goes back to 0, only once the
    // encoder runs: a recording that cannot start leaves the window as it was.
    const RecordingResult result = RecordFrames(frames, [this] { (void)PlayFromStart(); }, Draws(), settings);
    if (!result.started)
        return;
    // A shorter recording than the last one leaves its later frames behind.
    size_t older = 0;
    unsigned first_older = 0;
    for (unsigned k : RecordedFramesIn(settings.directory))
        if (k >= frames && older++ == 0)
            first_older = k;
    if (older > 0)
        PrintWarning(std::to_string(older) + " older frame" + (older == 1 ? "" : "s") +
                               " from an earlier recording left in " + settings.directory.string() + ", from " +
                               CMTEncoder::FrameFileName(settings.directory, first_older) + " on");
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
    // Fixes with their own times are stepped through one by one.
    if (m_dataset.Data().Timed())
        m_timeline.StepToFix(-1, m_dataset.Data().solution_times);
    else
        m_timeline.Step(-1, m_dataset.Data().dt);
}

void DemoApplication::onStepForward()
{
    if (m_dataset.Data().Timed())
        m_timeline.StepToFix(+1, m_dataset.Data().solution_times);
    else
        m_timeline.Step(+1, m_dataset.Data().dt);
}

void DemoApplication::onHome()
{
    m_timeline.Home();
}

void DemoApplication::onToggleFollow()
{
    m_view.follow = !m_view.follow;
}

void DemoApplication::onToggleErrorView()
{
    m_view.error_view = !m_view.error_view;
}

bool DemoApplication::SelectTrack(const std::string& name)
{
    const DiveData& data = m_dataset.Data();
    for (size_t k = 0; k < data.tracks.size(); ++k)
        if (data.tracks[k].name == name && m_dataset.SelectTrack(k)) {
            m_errors = ComputeDiveErrors(m_dataset.Data());
            SetErrorThresholds(m_error_low, m_error_high);
            return true;
        }
    return false;
}

void DemoApplication::onSelectNextTrack()
{
    const DiveData& data = m_dataset.Data();
    const size_t count = data.tracks.size();
    for (size_t step = 1; step <= count && data.measured >= 0; ++step) {
        const size_t k = (size_t(data.measured) + step) % count;
        if (data.Selectable(k)) {
            SelectTrack(data.tracks[k].name);
            std::printf("following %s\n", data.tracks[k].name.c_str());
            std::fflush(stdout);
            return;
        }
    }
}

void DemoApplication::TakeOverSteering()
{
    if (!m_view.follow)
        return;
    SetFreeCamera(m_view, FollowView(m_timeline.Time()));
    m_view.follow = false;
}

void DemoApplication::onMoveForward()
{
    TakeOverSteering();
    View_Move(m_view, +1, 0);
}

void DemoApplication::onMoveBack()
{
    TakeOverSteering();
    View_Move(m_view, -1, 0);
}

void DemoApplication::onMoveLeft()
{
    TakeOverSteering();
    View_Move(m_view, 0, +1);
}

void DemoApplication::onMoveRight()
{
    TakeOverSteering();
    View_Move(m_view, 0, -1);
}

void DemoApplication::onQuit()
{
    std::exit(0);
}
