// The application shell: the process-wide state the GLUT callbacks share,
// and the camera steering they perform.
//
// The window shell (window_shell.cpp) owns one ShellState for the whole run;
// the callbacks take no user pointer, so it is reachable through Shell().
// The steering functions are plain so they can be tested without a window.
// Everything here runs on the main-loop thread.
#pragma once

#include "math/vector.h"
#include "math/matrix4.h"

class DemoApplication;

struct ShellState {
    int window_width = 720;                    // current viewport width in pixels
    int window_height = 480;                   // current viewport height in pixels
    float pitch = -0.2f;                       // free camera: rotation about X, radians
    float yaw = 0.5f;                          // free camera: rotation about Y, radians
    Vector3 camera_offset{3.0f, 2.0f, -5.0f};  // translation applied to the world: the negated eye
    float roll = 0.0f;                         // free camera: rotation about Z, radians
    int drag_button = 0;                       // GLUT button of the drag in progress, -1 when none
    float last_cursor_x = 0.0f;                // last cursor, normalised window coordinates
    float last_cursor_y = 0.0f;
    bool wireframe = false;                    // polygon mode switch (key f)
    bool reuse_scene_copies = false;           // set only during multisampled off-screen passes
    DemoApplication* application = nullptr;    // set once constructed; callbacks test it first
};

// The one process-wide shell state.
ShellState& Shell();

// Cursor position to normalised window coordinates: x from -1 (left) to +1
// (right), y from +1 (top) to -1 (bottom), for the state's current size.
void NormalisedCursor(const ShellState& state, int x, int y, float* nx, float* ny);

// Mouse button event: remembers the cursor; a press starts a drag with that
// button, any release ends the drag.
void Shell_OnMouse(ShellState& state, int button, int button_state, int x, int y);

// Cursor motion with a button held: left drag turns (yaw, pitch), right drag
// rolls, anything else only tracks the cursor.
void Shell_OnMotion(ShellState& state, int x, int y);

// Movement keys w, a, s, d (lower case only). Returns whether the key moved
// the camera.
bool Shell_MoveKey(ShellState& state, unsigned char key);

// view = Rz(roll) * Rx(pitch) * Ry(yaw) * T(camera offset)
Matrix4 FreeCameraView(const ShellState& state);
