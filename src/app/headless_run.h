// Batch work without a window: the screenshot and the recording the
// command line asks for, rendered on an EGL context on Mesa's surfaceless
// platform through the same frame and capture code as the window.
#pragma once

#include "app/options.h"

// Runs what `options` asks for; returns the process status: 0 only when
// every requested image, frame or video was written, 1 otherwise (each
// failure said on standard error).
int RunHeadless(const Options& options);
