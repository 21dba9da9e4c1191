// Program entry and window shell: creates the one window, loads the GL entry
// points, prints the control summary, registers the callbacks and runs the
// main loop.
#pragma once

#include "app/options.h"

#include <string>

// Runs the program in its window; the window system gets the options'
// window arguments. Returns the process status.
int RunWindowShell(const Options& options);

class DemoApplication;
struct ShellState;

// Replaces the window's application with one on the dataset in `directory`,
// with the command line's view options. On failure prints the "error: "
// line, keeps the application there was and returns false.
bool OpenWindowDataset(const std::string& directory);

// For the web page's controls, while the window runs: its application (null
// before the first and between datasets), its shell state, and how many
// frames the window has drawn.
DemoApplication* WindowApplication();
ShellState& WindowShellState();
unsigned long WindowFramesDrawn();

