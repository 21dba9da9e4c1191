// The key commands that change how frames are drawn or saved: f toggles
// wireframe, p takes a screenshot, v records the camera animation.
//
// The key table (shell_state.cpp) calls these with the shell's state; p and
// v need the application and do nothing without one. Each prints its own
// "error: " lines (screenshot.h, recording.h); a recording that cannot
// start because the camera keys cannot be played says why. They run
// synchronously on the GL thread, inside the keyboard callback.
#pragma once

#include "app/shell_state.h"

class DemoApplication;

// Switches the polygon mode between lines and filled faces; the first press
// draws lines.
void Shell_ToggleWireframe(ShellState& state);

// Saves a 4096 x 3072 screenshot of the current view at the clock's time
// into "screenshots".
void Shell_Screenshot(ShellState& state);

// Plays the recorded camera keys from time 0 and records them offline into
// "frames"; the window carries on playing afterwards.
void Shell_Record(ShellState& state);

// Only the screen copies of the application's frame at t (the reflection or
// through-surface capture that renderFrame makes first), for the
// single-sample pass of a multisampled image: the rest of that pass would
// be thrown away. Leaves the GL state as renderFrame does.
void DrawSceneCopies(DemoApplication& app, double t);
