// Program entry and window shell: creates the one window, loads the GL entry
// points, prints the control summary, registers the callbacks and runs the
// main loop.
#pragma once

// Runs the program; returns the process status.
int RunWindowShell(int argc, char** argv);

