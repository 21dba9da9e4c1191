// Program entry and window shell: creates the one window, loads the GL entry
// points, prints the control summary, registers the callbacks and runs the
// main loop.
#pragma once

#include "app/options.h"

// Runs the program in its window; the window system gets the options'
// window arguments. Returns the process status.
int RunWindowShell(const Options& options);

