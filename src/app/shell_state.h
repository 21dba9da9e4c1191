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

#include <span>
#include <string>

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

// One camera step of 0.5 along the viewing direction (forward +1, back -1)
// and sideways (left +1, right -1); roll plays no part.
void Shell_Move(ShellState& state, int forward, int left);

// view = Rz(roll) * Rx(pitch) * Ry(yaw) * T(camera offset)
Matrix4 FreeCameraView(const ShellState& state);

// One keyboard command. The keyboard callback looks keys up in one table of
// these, and usage texts list the same table, so a new command is one entry.
struct KeyCommand {
    unsigned char key;              // case-sensitive; 27 is Esc
    void (*run)(ShellState& state); // the command
    const char* description;        // one line for a usage text
    bool redisplay;                 // the view changed: post a redisplay
};

// The command table, in the order a usage text lists it.
std::span<const KeyCommand> KeyCommands();

// Runs the command of key; returns its table entry, or null when the key has
// no command (upper-case W does not move, for one).
const KeyCommand* Shell_DispatchKey(ShellState& state, unsigned char key);

// One "  KEY  description" line per command ("Esc" for 27), for a usage text.
std::string KeyCommandsUsage();
