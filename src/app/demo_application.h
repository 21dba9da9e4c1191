// The one object that owns what the demo shows, for the whole run: the scene
// objects, the two track programs, the frame clock, the HUD panel, the screen
// copies of the water surface, the dive dataset and the camera keys.
//
// The window shell constructs it once the window and the GL entry points
// exist and ticks it from the display callback; the key commands (n, m, j,
// k, l) call its camera-key operations. Members are declared in the order
// they come into existence, so they are destroyed in the reverse order: the
// keys and the dataset first, the track programs last. GL thread only.
#pragma once

#include "app/frame_clock.h"
#include "app/shell_state.h"
#include "app/text_block.h"
#include "dataset/dive_dataset.h"
#include "image/texture.h"
#include "math/camera_animation.h"
#include "math/matrix4.h"
#include "math/vector.h"
#include "scene/buoy.h"
#include "scene/flat_color_program.h"
#include "scene/round_point_program.h"
#include "scene/sky_dome.h"
#include "scene/sub_model.h"
#include "scene/terrain.h"
#include "scene/water_above.h"
#include "scene/water_below.h"
#include "scene/water_plane.h"

#include <memory>

// Colours and radii of the sky dome.
inline constexpr Vector3 kSkyZenith{0.3f, 0.45f, 0.9f};
inline constexpr Vector3 kSkyHorizon{0.3f, 1.0f, 0.9f};
inline constexpr float kSkyVerticalRadius = 350.0f;
inline constexpr float kSkyHorizontalRadius = 1500.0f;

// Width in pixels of the track lines, and size of the track points, for a
// window (or off-screen image) `window_width` pixels wide: larger images get
// thicker tracks so they stay visible.
float TrackLineWidth(int window_width);
float TrackPointSize(int window_width);

// The frame's projection: 60 degrees vertically, aspect window width over
// height (in floating point), near 0.1, far 10000. False when either side is
// not positive: there is nothing to draw into.
bool FrameProjection(const ShellState& shell, Matrix4& projection);

// Eye position of a view matrix: the translation of its inverse.
Vector3 EyeOfView(const Matrix4& view);
// Whether the eye of `view` is below the water surface y = 0 (y = 0 itself
// counts as above).
bool EyeBelowSurface(const Matrix4& view);

class DemoApplication {
public:
    // What one frame is drawn with, worked out before its passes.
    struct FrameView {
        Matrix4 view;             // camera
        Matrix4 projection;       // FrameProjection
        Matrix4 view_projection;  // projection * view
        bool below = false;       // eye below the surface
        Vector3 position;         // diver at the frame time
        Vector3 direction;        // diver's heading
        double t = 0;             // frame time, seconds
        float time = 0;           // the same for the shaders
    };

    // Builds the scene, loads the dive dataset (kDefaultDiveDirectory) and
    // the programs. Throws std::runtime_error with the loader's message when
    // the dataset cannot be loaded. The shell state gives the window size,
    // the free camera and the switches; it must outlive the object.
    explicit DemoApplication(ShellState& shell = Shell());

    DemoApplication(const DemoApplication&) = delete;
    DemoApplication& operator=(const DemoApplication&) = delete;

    // Per-frame tick: starts the clock at the first frame, then renders at
    // the clock's time.
    void Tick();
    // Renders one frame at playback time t (seconds) into the bound
    // framebuffer and its viewport. Draws nothing while the window has a
    // side of 0. Leaves depth testing and blending off, culling on, front
    // faces counter-clockwise and depth writes on.
    void renderFrame(double t);
    // Only the frame's first pass at t: the screen copies, for the
    // single-sample pass of a multisampled image, where the rest would be
    // thrown away. Leaves the GL state as renderFrame does.
    void renderSceneCopies(double t);

    // --- camera keys: each prints what it did, or one "error: " line ---
    void onPushSplinePose();  // a key for the free camera now
    void onPlayAnimation();   // fly the keys from time 0
    void onResetAnimation();  // stop and forget the keys
    void onSaveAnimation();   // keys to "animation.txt"
    void onLoadAnimation();   // keys from "animation.txt"

    // --- the frame's steps, public so each can be timed alone ---
    // Screen copies, projection, view and diver; false when nothing can be
    // drawn (a window side of 0). Clears the playing flag past the last key.
    bool PrepareFrame(double t, FrameView& frame);
    // The mirror (eye above) or through-surface (eye below) capture, copied
    // into its screen copy. Clears the framebuffer.
    void RenderSceneCopy(const FrameView& frame);
    // Clears, then sky, terrain, buoy balls and the submersible.
    void RenderOpaqueScene(const FrameView& frame);
    // The four track draws; smooth (blended, no depth writes) from below.
    void RenderTracks(const FrameView& frame, bool smooth);
    // Surface from above (blended, mirror copy) and from below (opaque,
    // through-surface copy); culling picks the one that shows.
    void RenderWaterSurface(const FrameView& frame);
    // The buoys' glows, blended, without depth writes.
    void RenderGlows(const FrameView& frame);

private:
    ShellState& m_shell;
    // Scene objects, in the order they are built.
    CFlatColorProgram m_line_program;  // the programs are compiled last, in the constructor's body
    CRoundPointProgram m_point_program;
    CSkyDome m_sky;
    CTerrain m_terrain;
    CWaterPlane m_water_plane;
    CWaterAbove m_water_above;
    CWaterBelow m_water_below;
    CBuoy m_buoys;
    CSubModel m_submersible;

public:
    bool first_frame_pending = true;  // until the first frame has started the clock
    FrameClock clock;                 // playback time
    CTextBlock hud{0.5f, -0.9f, -1.0f};      // the status panel: position, depth, speed
    bool hud_visible = true;                 // frames compared pixel by pixel leave the panel out
    std::unique_ptr<TTexture> mirror_copy;   // what the surface mirrors, seen from above
    std::unique_ptr<TTexture> surface_copy;  // what shows through the surface, from below
    DiveDataset dataset;                     // trajectory, heading, buoys
    CameraAnimation animation;               // recorded and playback keys, playing, time base

private:
    // Makes (or remakes) both screen copies at the viewport size when either
    // is missing or of another size.
    void UpdateScreenCopies(int width, int height);
    // The HUD panel's per-frame update and draw, after depth testing is off.
    void DrawHud(double t, const Vector3& position, const Vector3& direction);
};
