#include "app/demo_application.h"

#include "gl/gles20.h"
#include "hud/hud_text.h"
#include "core/report.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// Water surface y = 0 pushed down a little: the screen texture keeps what lies
// above y = -0.1, so the shore line does not open a gap at the surface.
constexpr Vector4 kScreenTextureClip{0.0f, 1.0f, 0.0f, 0.1f};
constexpr Vector4 kMotionTrackColour{1.0f, 0.0f, 1.0f, 1.0f};
constexpr Vector4 kSolutionTrackColour{0.0f, 1.0f, 0.0f, 1.0f};
// The other tracks of a dataset (a boat, a float, a second diver), in turn:
// colours that stand out against the blue of the water and the sky, and
// from the magenta plan and the green solution.
constexpr Vector4 kOtherTrackColours[] = {
    {1.0f, 0.55f, 0.0f, 1.0f}, {1.0f, 0.95f, 0.1f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f},
    {1.0f, 0.2f, 0.15f, 1.0f}, {0.55f, 0.3f, 1.0f, 1.0f}, {0.45f, 0.25f, 0.1f, 1.0f}};
constexpr float kBuoyScale = 0.2f;
constexpr float kSubmersibleScale = 0.1f;

// A screen-sized texture to copy the framebuffer into: RGBA, no mipmaps,
// linear, clamped. Null when GL refuses the texture, which the next frame
// then tries again.
std::unique_ptr<TTexture> MakeScreenTexture(int width, int height)
{
    auto texture = std::make_unique<TTexture>();
    CreateTexture(width, height, *texture, GL_RGBA, false, GL_RGB, nullptr);
    if (!texture->name)
        return nullptr;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

// The timeline bar: pixels high, its colours, and the text's size in bar heights.
constexpr int kBarPixels = 20;
constexpr Vector4 kBarBackground{0.0f, 0.0f, 0.0f, 0.55f};
constexpr Vector4 kBarPlayed{0.3f, 1.0f, 0.4f, 0.35f};
constexpr Vector4 kBarMarker{0.3f, 1.0f, 0.4f, 0.9f};
constexpr float kBarText[3] = {0.85f, 1.0f, 0.9f};
constexpr float kBarTextSize = 0.8f;

bool Fits(const std::unique_ptr<TTexture>& texture, int width, int height)
{
    return texture && texture->name && texture->width == width && texture->height == height;
}

// Copies the framebuffer's lower-left corner into the texture; nothing without one.
void CopyFramebuffer(const std::unique_ptr<TTexture>& texture)
{
    if (!texture || !texture->name)
        return;
    glBindTexture(texture->target, texture->name);
    // The water reads colour only; a browser's opaque canvas has no alpha to copy.
    glCopyTexImage2D(texture->target, 0, GLint(CGLES20ExtensionHandler::Texture_InternalFormat(GL_RGBA, GL_RGB)), 0, 0,
                     texture->width, texture->height, 0);
}

void Bind(const std::unique_ptr<TTexture>& texture)
{
    glBindTexture(GL_TEXTURE_2D, texture ? GLuint(texture->name) : 0u);
}

}  // namespace

float TrackLineWidth(int width)
{
    if (width <= 1024)
        return 3.0f;
    return width <= 2048 ? 9.0f : 13.0f;
}

float TrackPointSize(int width)
{
    if (width <= 1024)
        return 3.0f;
    return width <= 2048 ? 9.0f : 11.0f;
}

bool FrameProjection(int width, int height, Matrix4& projection)
{
    if (width <= 0 || height <= 0)
        return false;
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
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

std::string FormatErrorLine(float metres)
{
    char line[48];
    std::snprintf(line, sizeof line, "error: %.2f m", double(metres));
    return line;
}

DemoApplication::DemoApplication(ViewState& view, const std::string& dataset_directory)
    : m_view(view), m_sky(kSkyZenith, kSkyHorizon, kSkyVerticalRadius, kSkyHorizontalRadius),
      m_dataset(dataset_directory)
{
    // A solution written with tabs loads with its lines silently ignored;
    // more than a few of them are worth a word.
    const DiveData& data = m_dataset.Data();
    if (data.ignored_solution_lines.count > 3)
        PrintWarning(DescribeIgnoredLines(data.ignored_solution_lines));
    // A texture that could not be read shows black; say which and why.
    for (const TTexture* texture : {&m_sky.Texture(), &m_terrain.Texture(), &m_submersible.Texture(), &m_hud.Background()})
        if (!texture->loaded)
            PrintWarning(texture->loaded.reason);

    // A program that fails has said why on standard error; its draws are
    // skipped, the rest of the scene still shows.
    m_line_program.Create();
    m_point_program.Create();
    m_water_above.Create();
    m_water_below.Create();
    m_hud.SetText("test\nlat lon 123 456", 0.25f);

    m_timeline.SetPeriod(data.Period());
    m_errors = ComputeDiveErrors(data);
    SetErrorThresholds(kDefaultErrorLow, kDefaultErrorHigh);
    // A unit square, as a triangle strip, for the timeline bar.
    const float square[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    m_bar_buffer.Create();
    if (glGenVertexArrays) {
        m_bar_vertex_array.Create();
        glBindVertexArray(m_bar_vertex_array);
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_bar_buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof square, square, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    if (glBindVertexArray)
        glBindVertexArray(default_vertex_array);
}

void DemoApplication::SetErrorThresholds(float low, float high)
{
    m_error_low = low;
    m_error_high = high;
    m_error_classes.clear();
    m_error_classes.reserve(m_errors.total.size());
    for (float e : m_errors.total)
        m_error_classes.push_back(uint8_t(ErrorClass(e, low, high)));
}

Matrix4 DemoApplication::FollowView(double t) const
{
    // The smoothing starts afresh where the playback wraps: the diver jumps
    // back to its start there.
    const double period = m_dataset.Data().Period();
    const double start = period > 0.0 && std::isfinite(t) ? t - std::fmod(std::max(t, 0.0), period) : 0.0;
    const auto target = [this](double time) {
        return FollowTargetPose(m_dataset.SolutionPositionAt(time), m_dataset.SolutionDirectionAt(time),
                                m_follow_settings);
    };
    return FollowPoseView(SmoothedFollowPose(target, t, start, m_follow_settings));
}

// Adds the time of one pass to the attached times, glFinish on both ends so
// the rasteriser's work counts where it is queued; nothing when detached.
class DemoApplication::PassTimer {
public:
    PassTimer(FramePassTimes* times, FramePass pass) : m_times(times), m_pass(pass)
    {
        if (!m_times)
            return;
        glFinish();
        m_start = std::chrono::steady_clock::now();
        m_cpu_start = std::clock();
    }
    ~PassTimer()
    {
        if (!m_times)
            return;
        glFinish();
        m_times->seconds[size_t(m_pass)] +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        m_times->cpu_seconds[size_t(m_pass)] += double(std::clock() - m_cpu_start) / CLOCKS_PER_SEC;
    }
    PassTimer(const PassTimer&) = delete;
    PassTimer& operator=(const PassTimer&) = delete;

private:
    FramePassTimes* m_times;
    FramePass m_pass;
    std::chrono::steady_clock::time_point m_start;
    std::clock_t m_cpu_start = 0;
};

void DemoApplication::Tick()
{
    if (m_first_frame_pending) {
        m_first_frame_pending = false;
        m_clock.Reset();
        RestartTimeline();
    }
    const double now = m_clock.Read();
    m_timeline.Advance(now - m_timeline_clock);
    m_timeline_clock = now;
    renderFrame({m_timeline.Time(), m_view.window_width, m_view.window_height, false});
    if (m_view.bar_visible)
        DrawTimelineBar(m_view.window_width, m_view.window_height);
}

void DemoApplication::RestartTimeline()
{
    m_timeline.Home();
    m_timeline_clock = m_clock.Read();
}

Matrix4 DemoApplication::SteeredView(double t) const
{
    return m_view.follow ? FollowView(t) : FreeCameraView(m_view);
}

FrameDraws DemoApplication::Draws()
{
    return {[this](const FrameRequest& request) { renderFrame(request); },
            [this](const FrameRequest& request) { renderScreenTextures(request); }};
}

// ---------------------------------------------------------------------------
// Frame

void DemoApplication::renderFrame(const FrameRequest& request)
{
    FrameView frame;
    if (!PrepareFrame(request, frame))
        return;
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    if (!request.reuse_screen_textures) {
        PassTimer timer(m_pass_times, FramePass::kScreenTexture);
        RenderScreenTexture(frame);
    }
    {
        PassTimer timer(m_pass_times, FramePass::kOpaqueScene);
        RenderOpaqueScene(frame);
    }
    if (!frame.below) {
        PassTimer timer(m_pass_times, FramePass::kTracks);
        RenderTracks(frame, false);
    }
    {
        PassTimer timer(m_pass_times, FramePass::kWaterSurface);
        RenderWaterSurface(frame);
    }
    if (frame.below) {
        {
            PassTimer timer(m_pass_times, FramePass::kTracks);
            RenderTracks(frame, true);
        }
        PassTimer timer(m_pass_times, FramePass::kGlows);
        RenderGlows(frame);
    }
    glDisable(GL_DEPTH_TEST);
    PassTimer timer(m_pass_times, FramePass::kHud);
    DrawHud(frame.t);
}

void DemoApplication::renderScreenTextures(const FrameRequest& request)
{
    FrameView frame;
    if (!PrepareFrame({request.t, request.width, request.height, false}, frame))
        return;
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    RenderScreenTexture(frame);
    glDisable(GL_DEPTH_TEST);
}

bool DemoApplication::PrepareFrame(const FrameRequest& request, FrameView& frame)
{
    // A minimised window has nothing to draw into (and no aspect ratio).
    if (!FrameProjection(request.width, request.height, frame.projection))
        return false;
    glViewport(0, 0, request.width, request.height);
    if (!request.reuse_screen_textures)
        UpdateScreenTextures(request.width, request.height);

    const double t = request.t;
    if (std::optional<Matrix4> spline_view = m_animation.PlaybackView(t))
        frame.view = *spline_view;
    else
        frame.view = SteeredView(t);
    frame.view_projection = frame.projection * frame.view;
    frame.below = EyeBelowSurface(frame.view);
    frame.position = m_dataset.SolutionPositionAt(t);
    frame.direction = m_dataset.SolutionDirectionAt(t);
    frame.t = t;
    frame.time = static_cast<float>(t);
    frame.width = request.width;
    frame.height = request.height;
    return true;
}

void DemoApplication::UpdateScreenTextures(int width, int height)
{
    // Both are checked: a lost reflection texture is made again as well.
    if (Fits(m_reflection, width, height) && Fits(m_refraction, width, height))
        return;
    m_reflection.reset();
    m_refraction.reset();
    m_reflection = MakeScreenTexture(width, height);
    m_refraction = MakeScreenTexture(width, height);
}

void DemoApplication::RenderScreenTexture(const FrameView& frame)
{
    const std::vector<Vector3>& buoys = m_dataset.Data().solution_points;
    glDisable(GL_CULL_FACE);
    if (frame.below) {
        const Matrix4 mvp = math::ObliqueClip(kScreenTextureClip, frame.view, frame.projection) * frame.view;
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        m_terrain.DrawBelow(mvp, frame.view);
        for (const Vector3& b : buoys)
            m_buoys.DrawBall(mvp, frame.view, b, kBuoyScale);
        m_submersible.Draw(frame.position, frame.direction, kSubmersibleScale, mvp, frame.view);
        m_sky.DrawBelow(mvp, frame.time);  // last: see RenderOpaqueScene
        CopyFramebuffer(m_refraction);
    } else {
        const Matrix4 mirrored = frame.view * Matrix4::Reflection(Vector4(0.0f, 1.0f, 0.0f, 0.0f));
        const Matrix4 mvp = math::ObliqueClip(kScreenTextureClip, mirrored, frame.projection) * mirrored;
        glFrontFace(GL_CW);  // the mirror reverses the winding
        glClearColor(0.3f, 0.9f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        m_terrain.DrawAbove(mvp);
        // The model-view handed along is the unmirrored view.
        for (const Vector3& b : buoys)
            m_buoys.DrawBall(mvp, frame.view, b, kBuoyScale);
        m_submersible.Draw(frame.position, frame.direction, kSubmersibleScale, mvp, frame.view);
        m_sky.DrawAbove(mvp, frame.time);  // last: see RenderOpaqueScene
        CopyFramebuffer(m_reflection);
        glFrontFace(GL_CCW);
    }
    glEnable(GL_CULL_FACE);
}

void DemoApplication::RenderOpaqueScene(const FrameView& frame)
{
    const Matrix4& vp = frame.view_projection;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (frame.below)
        m_terrain.DrawBelow(vp, frame.view);
    else
        m_terrain.DrawAbove(vp);
    for (const Vector3& b : m_dataset.Data().solution_points)
        m_buoys.DrawBall(vp, frame.view, b, kBuoyScale);
    m_submersible.Draw(frame.position, frame.direction, kSubmersibleScale, vp, frame.view);
    // The sky last: everything is opaque and depth-tested, so the picture is
    // the same in any order, but the sky's two cloud lookups are then spent
    // only on pixels nothing nearer covers.
    if (frame.below)
        m_sky.DrawBelow(vp, frame.time);
    else
        m_sky.DrawAbove(vp, frame.time);
}

std::vector<Vector2> DemoApplication::LineOffsets(float line_width, int width, int height)
{
    if (m_max_line_width < 0) {
        GLfloat range[2] = {1.0f, 1.0f};
        glGetFloatv(GL_ALIASED_LINE_WIDTH_RANGE, range);
        m_max_line_width = range[1];
    }
    if (line_width <= m_max_line_width || width <= 0 || height <= 0) {
        glLineWidth(line_width);
        return {Vector2(0.0f, 0.0f)};
    }
    // Where lines are one pixel wide (WebGL), a line of width w is drawn w
    // times across its run, one pixel apart: the x and y steps together cover
    // lines of every direction, as a desktop's wide lines do.
    glLineWidth(1.0f);
    std::vector<Vector2> offsets{Vector2(0.0f, 0.0f)};
    const int reach = int(line_width) / 2;
    for (int p = 1; p <= reach; ++p)
        for (const float s : {-1.0f, 1.0f}) {
            offsets.emplace_back(2.0f * s * float(p) / float(width), 0.0f);
            offsets.emplace_back(0.0f, 2.0f * s * float(p) / float(height));
        }
    return offsets;
}

void DemoApplication::RenderTracks(const FrameView& frame, bool smooth)
{
    const Matrix4& vp = frame.view_projection;
    const double t = frame.t;
    const float point_size = TrackPointSize(frame.width);
    const std::vector<Vector2> offsets = LineOffsets(TrackLineWidth(frame.width), frame.width, frame.height);
    if (smooth) {
        glDepthMask(GL_FALSE);
        if (!CGLES20ExtensionHandler::Is_ESContext())  // ES has no smoothed lines
            glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
    } else {
        glDisable(GL_BLEND);
        if (!CGLES20ExtensionHandler::Is_ESContext())
            glDisable(GL_LINE_SMOOTH);
    }
    for (const Vector2& o : offsets)
        if (m_line_program.Use(vp, kMotionTrackColour, o.x, o.y))
            m_dataset.DrawTrack(GL_LINE_STRIP, t, true);
    if (m_point_program.Use(vp, kMotionTrackColour, point_size))
        m_dataset.DrawTrack(GL_POINTS, t, true);
    if (m_view.error_view) {
        // Fixes without a motion sample to measure against keep the plain colour.
        const auto colour = [](int c) { return c < 0 ? kSolutionTrackColour : kErrorClassColours[c]; };
        for (const Vector2& o : offsets)
            m_dataset.DrawSolutionTrackByClass(GL_LINE_STRIP, t, m_error_classes,
                                               [&](int c) { return m_line_program.Use(vp, colour(c), o.x, o.y); });
        m_dataset.DrawSolutionTrackByClass(GL_POINTS, t, m_error_classes,
                                           [&](int c) { return m_point_program.Use(vp, colour(c), point_size); });
    } else {
        for (const Vector2& o : offsets)
            if (m_line_program.Use(vp, kSolutionTrackColour, o.x, o.y))
                m_dataset.DrawTrack(GL_LINE_STRIP, t, false);
        if (m_point_program.Use(vp, kSolutionTrackColour, point_size))
            m_dataset.DrawTrack(GL_POINTS, t, false);
    }
    for (size_t k = 0; k < m_dataset.OtherTrackCount(); ++k) {
        const Vector4& colour = kOtherTrackColours[k % std::size(kOtherTrackColours)];
        for (const Vector2& o : offsets)
            if (m_line_program.Use(vp, colour, o.x, o.y))
                m_dataset.DrawOtherTrack(k, GL_LINE_STRIP, t);
        if (m_point_program.Use(vp, colour, point_size))
            m_dataset.DrawOtherTrack(k, GL_POINTS, t);
    }
    if (smooth) {
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
    }
}

void DemoApplication::RenderWaterSurface(const FrameView& frame)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    Bind(m_reflection);
    if (m_water_above.Use(frame.view_projection, frame.view, frame.time))
        m_water_plane.Draw();
    glDisable(GL_BLEND);
    // With the winding reversed, culling lets this draw through only for an
    // eye below the surface, and the one above only for an eye above it.
    glDepthMask(GL_FALSE);
    glFrontFace(GL_CW);
    Bind(m_refraction);
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
    for (const Vector3& b : m_dataset.Data().solution_points)
        m_buoys.DrawGlow(frame.view_projection, b, frame.time);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
}

void DemoApplication::DrawHud(double t)
{
    if (!m_view.hud_visible)
        return;
    // The same solution position the frame drew the submersible at.
    std::string text = FormatHudText(m_dataset.Data(), t);
    // With several tracks the panel says whose position it shows.
    const DiveData& data = m_dataset.Data();
    if (data.measured >= 0 && m_dataset.OtherTrackCount() > 0)
        text = data.tracks[size_t(data.measured)].name + "\n" + text;
    if (m_view.error_view)
        text += "\n" + FormatErrorLine(m_errors.TotalAt(m_dataset.Data(), t));
    m_hud.SetText(text.c_str(), 0.18f);
    m_hud.Draw();
}

void DemoApplication::DrawRectangle(float x, float y, float width, float height, const Vector4& colour)
{
    if (!m_line_program.Use(PlaceAndScale(x, y, width, height), colour))
        return;
    if (m_bar_vertex_array) {
        glBindVertexArray(m_bar_vertex_array);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, m_bar_buffer);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    }
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    if (glBindVertexArray)
        glBindVertexArray(default_vertex_array);
}

void DemoApplication::DrawTimelineBar(int width, int height)
{
    if (width <= 0 || height <= 0 || !m_view.hud_visible)
        return;
    glViewport(0, 0, width, height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    const float bar = 2.0f * float(std::min(kBarPixels, height)) / float(height);
    const float pixel = 2.0f / float(width);
    // From the HUD panel's right edge to the window's: over the panel the
    // bar would hide its last line.
    const float left = std::min(kHudPanelX + m_hud.BackgroundAspect() * float(height) / float(width) * kHudPanelSize +
                                    8.0f * pixel,
                                0.0f);
    const float length = 1.0f - left;
    const double period = m_timeline.Period();
    const float played = period > 0.0 ? float(m_timeline.InPeriod() / period) : 0.0f;
    DrawRectangle(left, -1.0f, length, bar, kBarBackground);
    DrawRectangle(left, -1.0f, length * played, bar, kBarPlayed);
    DrawRectangle(left + length * played - pixel, -1.0f, 2.0f * pixel, bar, kBarMarker);
    glDisable(GL_BLEND);
    m_hud.DrawLabel(TimelineLabel(m_timeline).c_str(), left + 8.0f * pixel, -1.0f, bar, kBarTextSize, kBarText);
    glEnable(GL_CULL_FACE);
}
