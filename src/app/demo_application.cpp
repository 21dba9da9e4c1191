#include "app/demo_application.h"

#include <cstdio>

DemoApplication::DemoApplication() : dataset(kDefaultDiveDirectory)
{
    // A solution written with tabs loads with its lines silently ignored;
    // more than a few of them are worth a word.
    const DiveData& data = dataset.Data();
    if (data.ignored_solution_lines.count > 3)
        std::fprintf(stderr, "warning: %s\n", DescribeIgnoredLines(data.ignored_solution_lines).c_str());
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
