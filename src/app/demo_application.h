// The one object that owns what the demo shows, for the whole run: the scene
// objects, the two track programs, the frame clock, the HUD panel, the
// reflection and refraction textures of the water surface, the dive dataset
// and the camera keys; and the commands the keys run on them.
//
// The window shell constructs it once the window and the GL entry points
// exist and ticks it from the display callback; the key table
// (key_commands.h) calls its commands. Members are declared in the order
// they come into existence, so they are destroyed in the reverse order: the
// keys and the dataset first, the track programs last. GL thread only.
//
// A frame, in order (renderFrame): the reflection (eye above the water) or
// refraction (eye below) texture, drawn off-screen and copied; the opaque
// scene (sky, terrain, buoys, submersible); the tracks when above; the
// water surface sampling that texture; the tracks and the buoys' glows when
// below; the HUD.
#pragma once

#include "app/frame_clock.h"
#include "app/playback_timeline.h"
#include "app/view_state.h"
#include "capture/frame_request.h"
#include "dataset/dive_dataset.h"
#include "dataset/dive_error.h"
#include "hud/text_block.h"
#include "image/texture.h"
#include "math/camera_animation.h"
#include "math/follow_camera.h"
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

#include <array>
#include <memory>
#include <string>

// Colours and radii of the sky dome.
inline constexpr Vector3 kSkyZenith{0.3f, 0.45f, 0.9f};
inline constexpr Vector3 kSkyHorizon{0.3f, 1.0f, 0.9f};
inline constexpr float kSkyVerticalRadius = 350.0f;
inline constexpr float kSkyHorizontalRadius = 1500.0f;

// Width in pixels of the track lines, and size of the track points, for a
// frame `width` pixels wide: larger images get thicker tracks so they stay
// visible.
float TrackLineWidth(int width);
float TrackPointSize(int width);

// The frame's projection: 60 degrees vertically, aspect width over height
// (in floating point), near 0.1, far 10000. False when either side is not
// positive: there is nothing to draw into.
bool FrameProjection(int width, int height, Matrix4& projection);

// Eye position of a view matrix: the translation of its inverse.
Vector3 EyeOfView(const Matrix4& view);
// Whether the eye of `view` is below the water surface y = 0 (y = 0 itself
// counts as above).
bool EyeBelowSurface(const Matrix4& view);

// The HUD panel: height and lower left corner, normalised device coordinates.
inline constexpr float kHudPanelSize = 0.5f;
inline constexpr float kHudPanelX = -0.9f;
inline constexpr float kHudPanelY = -1.0f;

// Error view: default colour thresholds of the solution track, metres. The
// default dataset's fixes are 0.19 m off on average, 0.39 m at the 95th
// percentile and 0.68 m at most, so most of the track shows green, its worse
// stretches yellow and the few worst fixes red.
inline constexpr float kDefaultErrorLow = 0.25f;   // green below
inline constexpr float kDefaultErrorHigh = 0.5f;   // yellow below, red from here on
// The three classes' colours: green, yellow, red.
inline constexpr Vector4 kErrorClassColours[3] = {
    {0.0f, 1.0f, 0.0f, 1.0f}, {1.0f, 0.85f, 0.0f, 1.0f}, {1.0f, 0.1f, 0.05f, 1.0f}};

// The HUD's line for the error at the playback time: "error: 0.23 m".
std::string FormatErrorLine(float metres);

// The passes of a frame, in the order they are drawn.
enum class FramePass { kScreenTexture, kOpaqueScene, kTracks, kWaterSurface, kGlows, kHud, kCount };
inline constexpr const char* kFramePassNames[] = {"screen texture", "opaque scene", "tracks",
                                                  "water surface",  "glows",        "hud"};

// Seconds spent in each pass, summed over the frames drawn while it is
// attached (DemoApplication::TimePasses), each pass bounded by glFinish:
// wall time, and the CPU time of the whole process (the rasteriser's
// threads included), which a busy machine disturbs far less.
struct FramePassTimes {
    std::array<double, size_t(FramePass::kCount)> seconds{};
    std::array<double, size_t(FramePass::kCount)> cpu_seconds{};
};

class DemoApplication {
public:
    // Builds the scene, loads the dive dataset and the programs. Throws
    // std::runtime_error with the loader's message when the dataset cannot
    // be loaded (CreateApplication, app/startup.h, turns that into a
    // status). The view state gives the window size, the cameras and the
    // view's switches; it must outlive the object.
    explicit DemoApplication(ViewState& view, const std::string& dataset_directory = kDefaultDiveDirectory);

    DemoApplication(const DemoApplication&) = delete;
    DemoApplication& operator=(const DemoApplication&) = delete;

    // Per-frame tick: starts the clock at the first frame, advances the
    // playback timeline by the wall-clock time since the last tick, renders
    // a frame of the window's size at the timeline's time and draws the
    // timeline bar over it (the bar is the window's alone: screenshots and
    // recorded frames are renderFrame's picture).
    void Tick();
    // Renders one frame as the request says into the bound framebuffer,
    // with the viewport set to its size. Draws nothing for a side of 0.
    // Leaves depth testing and blending off, culling on, front faces
    // counter-clockwise and depth writes on.
    void renderFrame(const FrameRequest& request);
    // Only the frame's first pass: the reflection or refraction texture,
    // for the single-sample pass of a multisampled image, where the rest
    // would be thrown away. Leaves the GL state as renderFrame does.
    void renderScreenTextures(const FrameRequest& request);
    // The two draws an image of this application takes.
    FrameDraws Draws();

    // --- key commands; each prints what it did, or one "error: " line ---
    void onPushSplinePose();   // n: a key for the view on screen, at the playback time
    void onPlayAnimation();    // m: fly the keys and the diver from playback time 0
    void onResetAnimation();   // j: stop and forget the keys
    void onSaveAnimation();    // k: keys to "animation.txt"
    void onLoadAnimation();    // l: keys from "animation.txt"
    void onToggleWireframe();  // f: lines, then filled faces again
    void onScreenshot();       // p: 4096 x 3072 "screenshots/screenshot_NNN.tga"
    void onRecord();           // v: the key animation as 1280 x 720 "frames/frame_NNNNN.png"
    void onTogglePause();      // space: stop and resume the playback time
    void onSlower();           // [: halve the playback speed, down to 1/16 x
    void onFaster();           // ]: double it, up to 16 x
    void onStepBack();         // ,: one dt of the dataset back
    void onStepForward();      // .: one dt forward
    void onHome();             // Home: playback time 0
    void onToggleFollow();     // c: the follow camera on and off
    void onToggleErrorView();  // e: the solution track coloured by its error, and the HUD's error line
    void onSelectNextTrack();  // Tab: follow the next track of a dataset of several
    // w, s, a, d: one step of the free camera; while following, the free
    // camera first takes over from the view on screen.
    void onMoveForward();
    void onMoveBack();
    void onMoveLeft();
    void onMoveRight();
    [[noreturn]] void onQuit();  // Esc: exit(0) at once

    // Steering (a move key, a drag) takes over from the view on screen: with
    // the follow camera on, the free camera is put where the follow camera
    // is at the playback time and the follow camera turns off. Nothing
    // otherwise.
    void TakeOverSteering();

    // --- for tests, benchmarks and batch work ---
    CameraAnimation& Animation() { return m_animation; }
    FrameClock& Clock() { return m_clock; }
    PlaybackTimeline& Timeline() { return m_timeline; }
    // The view state the frames are drawn through (view_state.h): cameras,
    // follow, error view, HUD and bar, wireframe.
    ViewState& View() { return m_view; }
    // The view the follow camera has at playback time t: behind and above
    // the diver, smoothed (follow_camera.h).
    Matrix4 FollowView(double t) const;
    // The view at playback time t when no camera keys fly: the follow
    // camera's when it is on, else the free camera's.
    Matrix4 SteeredView(double t) const;
    // Follows the track of that name (the HUD, the follow camera and the
    // error view then show it); false, changing nothing, when the dataset has
    // no such track that can be followed.
    bool SelectTrack(const std::string& name);
    // Thresholds of the error view's colours, metres, low < high.
    void SetErrorThresholds(float low, float high);
    const DiveErrors& Errors() const { return m_errors; }
    const DiveDataset& Dataset() const { return m_dataset; }
    const TTexture* Reflection() const { return m_reflection.get(); }  // null until a frame made it
    const TTexture* Refraction() const { return m_refraction.get(); }
    // Times the passes of the frames drawn from now on into `times`; null
    // stops timing.
    void TimePasses(FramePassTimes* times) { m_pass_times = times; }

private:
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
        int width = 0;            // frame size in pixels
        int height = 0;
    };
    class PassTimer;

    // Viewport, screen textures, projection, view and diver; false when
    // nothing can be drawn (a side of 0). Clears the playing flag past the
    // last key.
    bool PrepareFrame(const FrameRequest& request, FrameView& frame);
    // Makes (or remakes) both screen textures at the frame size when either
    // is missing or of another size.
    void UpdateScreenTextures(int width, int height);
    // The reflection (eye above) or refraction (eye below) texture, drawn
    // and copied. Clears the framebuffer.
    void RenderScreenTexture(const FrameView& frame);
    // Clears, then sky, terrain, buoy balls and the submersible.
    void RenderOpaqueScene(const FrameView& frame);
    // The four track draws; smooth (blended, no depth writes) from below.
    void RenderTracks(const FrameView& frame, bool smooth);
    // Sets the line width for lines `line_width` pixels wide in a frame of
    // this size and returns the screen offsets (normalised device
    // coordinates) to draw each line at: none but zero where the context
    // draws lines that wide, else one line a pixel across the width.
    std::vector<Vector2> LineOffsets(float line_width, int width, int height);
    // Surface from above (blended, reflection) and from below (opaque,
    // refraction); culling picks the one that shows.
    void RenderWaterSurface(const FrameView& frame);
    // The buoys' glows, blended, without depth writes.
    void RenderGlows(const FrameView& frame);
    // The HUD panel's text for time t and its draw, after depth testing is off.
    void DrawHud(double t);
    // The bar along the bottom: playback position, pause and speed.
    void DrawTimelineBar(int width, int height);
    // Flat rectangle in normalised device coordinates, blended.
    void DrawRectangle(float x, float y, float width, float height, const Vector4& colour);
    // Playback time 0 from now: after the first frame starts the clock, and
    // when camera keys start playing or recording.
    void RestartTimeline();
    // Flies the camera keys from playback time 0: the diver's motion and the
    // camera restart together. False, changing nothing, when they cannot.
    CameraKeyStatus PlayFromStart();

    ViewState& m_view;
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
    bool m_first_frame_pending = true;        // until the first frame has started the clock
    FrameClock m_clock;                       // playback time
    CTextBlock m_hud{kHudPanelSize, kHudPanelX, kHudPanelY};  // the status panel: position, depth, speed
    std::unique_ptr<TTexture> m_reflection;   // what the surface mirrors, seen from above
    std::unique_ptr<TTexture> m_refraction;   // what shows through the surface, from below
    DiveDataset m_dataset;                    // trajectory, heading, buoys
    CameraAnimation m_animation;              // recorded and playback keys, playing, time base
    PlaybackTimeline m_timeline;              // playback time of the window's frames
    double m_timeline_clock = 0.0;            // clock reading the timeline was advanced to
    FollowCameraSettings m_follow_settings;
    DiveErrors m_errors;                      // per fix, against the motion
    std::vector<uint8_t> m_error_classes;     // colour class of each fix
    float m_error_low = kDefaultErrorLow;     // the thresholds the classes were made with
    float m_error_high = kDefaultErrorHigh;
    GLBuffer m_bar_buffer;                    // unit square for the timeline bar's rectangles
    GLVertexArray m_bar_vertex_array;
    FramePassTimes* m_pass_times = nullptr;   // benchmarks only
    float m_max_line_width = -1.0f;           // widest line the context draws; read at the first tracks
};
