// Program entry and window shell: creates the one window, loads the GL entry
// points, prints the control summary, registers the callbacks and runs the
// main loop.
#pragma once

// Runs the program; returns the process status.
int RunWindowShell(int argc, char** argv);

// Runs the command of a key press from the key table (shell_state.h): Esc
// ends the program, the movement keys steer the free camera. Returns whether
// the key has a command.
bool Shell_OnKey(unsigned char key);
