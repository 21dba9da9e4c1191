#include "app/demo_application.h"

DemoApplication::DemoApplication() : dataset(kDefaultDiveDirectory)
{
}

void DemoApplication::Tick()
{
    if (first_frame_pending) {
        first_frame_pending = false;
        clock.Reset();
    }
    renderFrame(clock.Read());
}

void DemoApplication::renderFrame(double)
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
