#include "app/demo_application.h"

#include "app/hud_text.h"

#include "gl/gles20.h"

#include <cstdio>

namespace {

// Water surface y = 0 pushed down a little: the capture keeps what lies
// above y = -0.1, so the shore line does not open a gap at the surface.
constexpr Vector4 kCapturePlane{0.0f, 1.0f, 0.0f, 0.1f};
constexpr Vector4 kMotionTrackColour{1.0f, 0.0f, 1.0f, 1.0f};
constexpr Vector4 kSolutionTrackColour{0.0f, 1.0f, 0.0f, 1.0f};
constexpr float kBuoyScale = 0.2f;
constexpr float kSubmersibleScale = 0.1f;

void ReportFailure(const CameraKeyStatus& status)
{
    std::fprintf(stderr, "error: %s\n", status.reason.c_str());
}

// A screen-sized copy target: RGBA, no mipmaps, linear, clamped. Null when
// GL refuses the texture, which the next frame then tries again.
std::unique_ptr<TTexture> MakeScreenCopy(int width, int height)
{
    auto copy = std::make_unique<TTexture>();
    CreateTexture(width, height, *copy, GL_RGBA, false, GL_RGB, nullptr);
    if (!copy->name)
        return nullptr;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return copy;
}

bool CopyFits(const std::unique_ptr<TTexture>& copy, int width, int height)
{
    return copy && copy->name && copy->width == width && copy->height == height;
}

// Copies the framebuffer's lower-left corner into the copy; nothing without one.
void CopyFramebuffer(const std::unique_ptr<TTexture>& copy)
{
    if (!copy || !copy->name)
        return;
    glBindTexture(copy->target, copy->name);
    glCopyTexImage2D(copy->target, 0, GL_RGBA, 0, 0, copy->width, copy->height, 0);
}

void BindCopy(const std::unique_ptr<TTexture>& copy)
{
    glBindTexture(GL_TEXTURE_2D, copy ? GLuint(copy->name) : 0u);
}

}  // namespace

float TrackLineWidth(int window_width)
{
    if (window_width <= 1024)
        return 3.0f;
    return window_width <= 2048 ? 9.0f : 13.0f;
}

float TrackPointSize(int window_width)
{
    if (window_width <= 1024)
        return 3.0f;
    return window_width <= 2048 ? 9.0f : 11.0f;
}

bool FrameProjection(const ShellState& shell, Matrix4& projection)
{
    if (shell.window_width <= 0 || shell.window_height <= 0)
        return false;
    const float aspect = static_cast<float>(shell.window_width) / static_cast<float>(shell.window_height);
    projection = Matrix4::Perspective(60.0f, aspect, 0.1f, 10000.0f);
    return true;
}

Vector3 EyeOfView(const Matrix4& view)
{
    const Matrix4 inverse = view.Inverse();
    return {inverse[12], inverse[13], inverse[14]};
}

bool EyeBelowSurface(const Matrix4& view)
{
    return EyeOfView(view).y < 0.0f;
}

DemoApplication::DemoApplication(ShellState& shell)
    : m_shell(shell), m_sky(kSkyZenith, kSkyHorizon, kSkyVerticalRadius, kSkyHorizontalRadius),
      dataset(kDefaultDiveDirectory)
{
    // A solution written with tabs loads with its lines silently ignored;
    // more than a few of them are worth a word.
    const DiveData& data = dataset.Data();
    if (data.ignored_solution_lines.count > 3)
        std::fprintf(stderr, "warning: %s\n", DescribeIgnoredLines(data.ignored_solution_lines).c_str());

    // A program that fails has said why on standard error; its draws are
    // skipped, the rest of the scene still shows.
    m_line_program.Create();
    m_point_program.Create();
    m_water_above.Create();
    m_water_below.Create();
    hud.SetText("test\nlat lon 123 456", 0.25f);
}

void DemoApplication::Tick()
{
    if (first_frame_pending) {
        first_frame_pending = false;
        // Keys pushed before the first frame keep their order across the restart.
        animation.ClockRestarted(clock.Read());
        clock.Reset();
    }
    renderFrame(clock.Read());
}

// ---------------------------------------------------------------------------
// Frame

void DemoApplication::renderFrame(double t)
{
    FrameView frame;
    if (!PrepareFrame(t, frame))
        return;
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    if (!m_shell.reuse_scene_copies)
        RenderSceneCopy(frame);
    RenderOpaqueScene(frame);
    if (!frame.below)
        RenderTracks(frame, false);
    RenderWaterSurface(frame);
    if (frame.below) {
        RenderTracks(frame, true);
        RenderGlows(frame);
    }
    glDisable(GL_DEPTH_TEST);
    DrawHud(t, frame.position, frame.direction);
}

void DemoApplication::renderSceneCopies(double t)
{
    FrameView frame;
    if (!PrepareFrame(t, frame))
        return;
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    RenderSceneCopy(frame);
    glDisable(GL_DEPTH_TEST);
}

bool DemoApplication::PrepareFrame(double t, FrameView& frame)
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    // A minimised window has nothing to draw into (and no aspect ratio).
    if (viewport[2] <= 0 || viewport[3] <= 0 || !FrameProjection(m_shell, frame.projection))
        return false;
    if (!m_shell.reuse_scene_copies)
        UpdateScreenCopies(viewport[2], viewport[3]);

    if (std::optional<Matrix4> spline_view = animation.PlaybackView(t))
        frame.view = *spline_view;
    else
        frame.view = FreeCameraView(m_shell);
    frame.view_projection = frame.projection * frame.view;
    frame.below = EyeBelowSurface(frame.view);
    frame.position = dataset.SolutionPositionAt(t);
    frame.direction = dataset.SolutionDirectionAt(t);
    frame.t = t;
    frame.time = static_cast<float>(t);
    return true;
}

void DemoApplication::UpdateScreenCopies(int width, int height)
{
    // Both copies are checked: a lost mirror copy is made again as well.
    if (CopyFits(mirror_copy, width, height) && CopyFits(surface_copy, width, height))
        return;
    mirror_copy.reset();
    surface_copy.reset();
    mirror_copy = MakeScreenCopy(width, height);
    surface_copy = MakeScreenCopy(width, height);
}

void DemoApplication::RenderSceneCopy(const FrameView& frame)
{
    const std::vector<Vector3>& buoys = dataset.Data().solution_points;
    glDisable(GL_CULL_FACE);
    if (frame.below) {
        const Matrix4 mvp = math::ObliqueClip(kCapturePlane, frame.view, frame.projection) * frame.view;
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        m_sky.DrawBelow(mvp, frame.time);
        m_terrain.DrawBelow(mvp, frame.view);
        for (const Vector3& b : buoys)
            m_buoys.DrawBall(mvp, frame.view, b, kBuoyScale);
        m_submersible.Draw(frame.position, frame.direction, kSubmersibleScale, mvp, frame.view);
        CopyFramebuffer(surface_copy);
    } else {
        const Matrix4 mirrored = frame.view * Matrix4::Reflection(Vector4(0.0f, 1.0f, 0.0f, 0.0f));
        const Matrix4 mvp = math::ObliqueClip(kCapturePlane, mirrored, frame.projection) * mirrored;
        glFrontFace(GL_CW);  // the mirror reverses the winding
        glClearColor(0.3f, 0.9f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        m_sky.DrawAbove(mvp, frame.time);
        m_terrain.DrawAbove(mvp);
        // The model-view handed along is the unmirrored view.
        for (const Vector3& b : buoys)
            m_buoys.DrawBall(mvp, frame.view, b, kBuoyScale);
        m_submersible.Draw(frame.position, frame.direction, kSubmersibleScale, mvp, frame.view);
        CopyFramebuffer(mirror_copy);
        glFrontFace(GL_CCW);
    }
    glEnable(GL_CULL_FACE);
}

void DemoApplication::RenderOpaqueScene(const FrameView& frame)
{
    const Matrix4& vp = frame.view_projection;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (frame.below) {
        m_sky.DrawBelow(vp, frame.time);
        m_terrain.DrawBelow(vp, frame.view);
    } else {
        m_sky.DrawAbove(vp, frame.time);
        m_terrain.DrawAbove(vp);
    }
    for (const Vector3& b : dataset.Data().solution_points)
        m_buoys.DrawBall(vp, frame.view, b, kBuoyScale);
    m_submersible.Draw(frame.position, frame.direction, kSubmersibleScale, vp, frame.view);
}

void DemoApplication::RenderTracks(const FrameView& frame, bool smooth)
{
    const Matrix4& vp = frame.view_projection;
    const double t = frame.t;
    const float point_size = TrackPointSize(m_shell.window_width);
    glLineWidth(TrackLineWidth(m_shell.window_width));
    if (smooth) {
        glDepthMask(GL_FALSE);
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
    } else {
        glDisable(GL_BLEND);
        glDisable(GL_LINE_SMOOTH);
    }
    if (m_line_program.Use(vp, kMotionTrackColour))
        dataset.DrawTrack(GL_LINE_STRIP, t, true);
    if (m_point_program.Use(vp, kMotionTrackColour, point_size))
        dataset.DrawTrack(GL_POINTS, t, true);
    if (m_line_program.Use(vp, kSolutionTrackColour))
        dataset.DrawTrack(GL_LINE_STRIP, t, false);
    if (m_point_program.Use(vp, kSolutionTrackColour, point_size))
        dataset.DrawTrack(GL_POINTS, t, false);
    if (smooth) {
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
    }
}

void DemoApplication::RenderWaterSurface(const FrameView& frame)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    BindCopy(mirror_copy);
    if (m_water_above.Use(frame.view_projection, frame.view, frame.time))
        m_water_plane.Draw();
    glDisable(GL_BLEND);
    // With the winding reversed, culling lets this draw through only for an
    // eye below the surface, and the one above only for an eye above it.
    glDepthMask(GL_FALSE);
    glFrontFace(GL_CW);
    BindCopy(surface_copy);
    if (m_water_below.Use(frame.view_projection, frame.view, frame.time))
        m_water_plane.Draw();
    glFrontFace(GL_CCW);
    glDepthMask(GL_TRUE);
}

void DemoApplication::RenderGlows(const FrameView& frame)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    for (const Vector3& b : dataset.Data().solution_points)
        m_buoys.DrawGlow(frame.view_projection, b, frame.time);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
}

void DemoApplication::DrawHud(double t, const Vector3&, const Vector3&)
{
    if (!hud_visible)
        return;
    // The dataset's own text for t: the same solution position as the frame's
    // (SolutionPositionAt), and a speed fitted over about a second of it rather
    // than the unit heading.
    hud.SetText(FormatHudText(dataset.Data(), t).c_str(), 0.18f);
    hud.Draw();
}

// ---------------------------------------------------------------------------
// Camera keys

void DemoApplication::onPushSplinePose()
{
    const CameraKeyStatus status = animation.PushPose(FreeCameraView(m_shell), clock.Read());
    if (!status)
        ReportFailure(status);
}

void DemoApplication::onPlayAnimation()
{
    const CameraKeyStatus status = animation.Play(clock.Read());
    if (!status) {
        ReportFailure(status);
        return;
    }
    // The diver's motion and the camera restart together from time 0.
    clock.Reset();
}

void DemoApplication::onResetAnimation()
{
    animation.Reset();
}

void DemoApplication::onSaveAnimation()
{
    const CameraKeyStatus status = animation.Save(kCameraKeyFileName);
    if (!status) {
        ReportFailure(status);
        return;
    }
    std::printf("saved %u keypoints\n", status.count);
    std::fflush(stdout);
}

void DemoApplication::onLoadAnimation()
{
    const CameraKeyStatus status = animation.Load(kCameraKeyFileName, clock.Read());
    if (!status) {
        ReportFailure(status);
        return;
    }
    std::printf("loaded %u keypoints\n", status.count);
    std::fflush(stdout);
}
