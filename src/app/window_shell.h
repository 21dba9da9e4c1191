// Program entry and window shell: creates the one window, loads the GL entry
// points, prints the control summary, registers the callbacks and runs the
// main loop.
#pragma once

// Runs the program; returns the process status.
int RunWindowShell(int argc, char** argv);

// The keyboard command of a key press: Esc ends the program, the movement
// keys steer the free camera. Returns whether the key did anything.
bool Shell_OnKey(unsigned char key);
