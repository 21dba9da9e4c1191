// The application tests' fixture on the headless context: the real
// application in a private run directory.
#pragma once

#include "app/demo_application.h"
#include "app/view_state.h"
#include "math/vector.h"

#include "support/gl_test.h"

namespace apptest {

// A GL test in a fresh run directory, with the one application of the test
// program (built on first use: that takes a while) attached to a reset
// shell sized as the context's framebuffer.
class ApplicationTest : public testsupport::GLTest {
protected:
    void SetUp() override;

    ViewState& View();
    DemoApplication& App();
    // Free camera with its eye at `eye`, turned by yaw and pitch.
    void Place(const Vector3& eye, float yaw, float pitch);
    // A frame request of the context's size at time t.
    FrameRequest Request(double t) const;
};

}  // namespace apptest
