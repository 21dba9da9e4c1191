// Shared fixtures of the application tests on the headless context: one
// with a scratch directory of its own, and one with the real application
// in a private run directory. Kept apart from app_test_util.h, which the
// window tests use without a context.
#pragma once

#include "app/demo_application.h"
#include "app/shell_state.h"
#include "math/vector.h"

#include "gl_test.h"

#include <array>
#include <filesystem>
#include <utility>

namespace apptest {

// A GL test with a fresh, empty directory m_dir (under the temporary
// directory, named after the test suite), removed afterwards; the
// context's framebuffer is bound again at the end.
class ScratchDirTest : public testsupport::GLTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path m_dir;
};

// A GL test in a fresh run directory, with the one application of the test
// program (built on first use: that takes a while) attached to a reset
// shell sized as the context's framebuffer.
class ApplicationTest : public testsupport::GLTest {
protected:
    void SetUp() override;

    ShellState& Shell();
    DemoApplication& App();
    // Free camera with its eye at `eye`, turned by yaw and pitch.
    void Place(const Vector3& eye, float yaw, float pitch);
};

// Clears the bottom half of the viewport to `bottom` and the rest to `top`
// (RGB, opaque), depth included.
void ClearHalves(const std::array<float, 3>& top, const std::array<float, 3>& bottom);

// Width and height of the current viewport.
std::pair<int, int> ViewportSize();

}  // namespace apptest
