// The shell's state: the window size, the free camera the mouse and the
// movement keys steer, and the wireframe switch; with the steering itself.
//
// The window shell (window_shell.cpp) owns the one ShellState of a run and
// hands it to the application. Plain data and plain functions, so the
// steering is tested without a window. Main-loop thread only.
#pragma once

#include "math/matrix4.h"
#include "math/vector.h"
#include "platform/window.h"

struct ShellState {
    int window_width = 720;                    // current window width in pixels
    int window_height = 480;                   // current window height in pixels
    float pitch = -0.2f;                       // free camera: rotation about X, radians
    float yaw = 0.5f;                          // free camera: rotation about Y, radians
    Vector3 camera_offset{3.0f, 2.0f, -5.0f};  // translation applied to the world: the negated eye
    float roll = 0.0f;                         // free camera: rotation about Z, radians
    int drag_button = platform::kLeftButton;   // button of the drag in progress, -1 when none
    float last_cursor_x = 0.0f;                // last cursor, normalised window coordinates
    float last_cursor_y = 0.0f;
    bool wireframe = false;                    // polygon mode switch (key f)
};

// Cursor position to normalised window coordinates: x from -1 (left) to +1
// (right), y from +1 (top) to -1 (bottom), for the state's current size.
// False, with nothing written, while a side of the window is 0: there is no
// position to normalise.
bool NormalisedCursor(const ShellState& state, int x, int y, float* nx, float* ny);

// Mouse button event: remembers the cursor; a press starts a drag with that
// button, any release ends the drag. Ignored while a window side is 0.
void Shell_OnMouse(ShellState& state, int button, int button_state, int x, int y);

// Cursor motion with a button held: left drag turns (yaw, pitch), right drag
// rolls, anything else only tracks the cursor. Ignored while a window side
// is 0.
void Shell_OnMotion(ShellState& state, int x, int y);

// One camera step of 0.5 along the viewing direction (forward +1, back -1)
// and sideways (left +1, right -1); roll plays no part.
void Shell_Move(ShellState& state, int forward, int left);

// view = Rz(roll) * Rx(pitch) * Ry(yaw) * T(camera offset)
Matrix4 FreeCameraView(const ShellState& state);
