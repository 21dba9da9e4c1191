// The one object that owns what the demo shows, for the whole run.
//
// The window shell constructs it once the window and the GL entry points
// exist and ticks it from the display callback. It holds the dive dataset
// and the frame clock; the scene objects, the HUD and the camera keys join
// it as they are built. GL thread only.
#pragma once

#include "app/frame_clock.h"
#include "dataset/dive_dataset.h"

class DemoApplication {
public:
    // Loads the dive dataset (kDefaultDiveDirectory); throws
    // std::runtime_error with the loader's message when it cannot be loaded.
    DemoApplication();

    // Per-frame tick: starts the clock at the first frame, then renders at
    // the clock's time.
    void Tick();
    // Renders one frame at playback time t (seconds).
    void renderFrame(double t);

    bool first_frame_pending = true;
    FrameClock clock;
    DiveDataset dataset;
};
