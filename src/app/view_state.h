// What the user sees the scene through, and every switch of it: the window
// size, the free camera the mouse and the movement keys steer, the follow
// camera, the error view, the HUD and timeline bar, and wireframe; with the
// steering itself.
//
// One owner: whoever runs the application (the window shell, a headless
// run, a test) keeps the one ViewState and hands it to the application,
// which reads it for every frame and whose commands switch it. It outlives
// the application, so a dataset opened in its place keeps the view. Plain
// data and plain functions, so the steering is tested without a window.
// Main-loop thread only.
#pragma once

#include "math/matrix4.h"
#include "math/vector.h"

struct ViewState {
    int window_width = 720;                    // current window width in pixels
    int window_height = 480;                   // current window height in pixels
    float pitch = -0.2f;                       // free camera: rotation about X, radians
    float yaw = 0.5f;                          // free camera: rotation about Y, radians
    Vector3 camera_offset{3.0f, 2.0f, -5.0f};  // translation applied to the world: the negated eye
    float roll = 0.0f;                         // free camera: rotation about Z, radians
    int drag_button = -1;                      // platform::MouseButton of the drag in progress, -1 when none
    float last_cursor_x = 0.0f;                // last cursor, normalised window coordinates
    float last_cursor_y = 0.0f;
    bool wireframe = false;                    // polygons as lines (key f)
    bool follow = false;                       // follow camera instead of the free camera (key c)
    bool error_view = false;                   // solution track coloured by error, HUD error line (key e)
    bool hud_visible = true;                   // frames compared pixel by pixel leave the HUD out
    bool bar_visible = true;                   // the window's timeline bar
};

// Cursor position to normalised window coordinates: x from -1 (left) to +1
// (right), y from +1 (top) to -1 (bottom), for the state's current size.
// False, with nothing written, while a side of the window is 0: there is no
// position to normalise.
bool NormalisedCursor(const ViewState& state, int x, int y, float* nx, float* ny);

// Mouse button event: remembers the cursor; a press starts a drag with that
// button, any release ends the drag. Ignored while a window side is 0.
void View_OnMouse(ViewState& state, int button, int button_state, int x, int y);

// Whether cursor motion now would steer the free camera: a left or right
// drag is in progress.
bool View_Dragging(const ViewState& state);

// Cursor motion with a button held: left drag turns (yaw, pitch), right drag
// rolls, anything else only tracks the cursor. Ignored while a window side
// is 0.
void View_OnMotion(ViewState& state, int x, int y);

// One camera step of 0.5 along the viewing direction (forward +1, back -1)
// and sideways (left +1, right -1); roll plays no part.
void View_Move(ViewState& state, int forward, int left);

// view = Rz(roll) * Rx(pitch) * Ry(yaw) * T(camera offset)
Matrix4 FreeCameraView(const ViewState& state);

// Puts the free camera at the pose of `view` (a rotation and a translation,
// as a camera's view matrix is), so that FreeCameraView gives that view
// again: how steering takes over from the view on screen. Pitch comes out
// within [-pi/2, pi/2].
void SetFreeCamera(ViewState& state, const Matrix4& view);
