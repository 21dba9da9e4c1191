// The application on a headless context for the benchmarks, in a private
// run directory (textures, dataset and fonts as the program finds them).
#pragma once

#include "app/demo_application.h"
#include "app/view_state.h"
#include "math/vector.h"
#include "platform/headless_context.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

struct BenchApplication {
    std::unique_ptr<platform::HeadlessContext> context;
    ViewState view;
    std::unique_ptr<DemoApplication> app;  // null when the set-up failed
    std::string error;                     // why it failed

    // Makes a width x height context, enters the run directory and builds
    // the application on a view of window_width x window_height.
    BenchApplication(int width, int height, int window_width, int window_height);

    // Free camera with its eye at `eye`, turned by yaw and pitch.
    void Place(const Vector3& eye, float yaw, float pitch);

    // Whether the application is there, its framebuffer bound; otherwise
    // the benchmark is skipped with the reason.
    bool Ready(benchmark::State& state);
};
