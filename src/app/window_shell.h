// The window shell: creates the one window, starts GL, prints the control
// summary, creates the application, registers the callbacks and runs the
// main loop.
#pragma once

#include "app/options.h"

#include <string>

// Runs the program in its window; the window system gets the options'
// window arguments. Returns the process status.
int RunWindowShell(const Options& options);

class DemoApplication;
struct ViewState;

// Replaces the window's application with one on the dataset in `directory`,
// with the command line's view options. On failure prints the "error: "
// line, keeps the application there was and returns false.
bool OpenWindowDataset(const std::string& directory);

// For the web page's controls, while the window runs: its application (null
// before the first and between datasets), its view state, and how many
// frames the window has drawn.
DemoApplication* WindowApplication();
ViewState& WindowViewState();
unsigned long WindowFramesDrawn();

