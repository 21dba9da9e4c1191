// Test fixture for GL code: one headless context per test process, its
// framebuffer bound and cleared before each test, GL errors drained so each
// test sees only its own. The context gets the ES 2.0 entry points and the
// default vertex array when it is made, as the program does at start-up, so
// code written against "gl/gles20.h" runs in it.
#pragma once

#include "platform/headless_context.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace testsupport {

constexpr int kGLTestWidth = 256;
constexpr int kGLTestHeight = 256;

// The process's context, made on first use; null if it cannot be made.
platform::HeadlessContext* HeadlessGL();

class GLTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    platform::HeadlessContext& Context() { return *m_context; }
    // RGBA of the framebuffer pixel (x, y), y counted from the bottom.
    std::vector<uint8_t> PixelAt(int x, int y) const;

private:
    platform::HeadlessContext* m_context = nullptr;
};

// A GL test with a fresh, empty directory m_dir, removed afterwards; the
// context's framebuffer is bound again at the end.
class ScratchDirTest : public GLTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<ScratchDir> m_scratch;
    std::filesystem::path m_dir;
};

// Clears the bottom half of the viewport to `bottom` and the rest to `top`
// (RGB, opaque), depth included.
void ClearHalves(const std::array<float, 3>& top, const std::array<float, 3>& bottom);

// Width and height of the current viewport.
std::pair<int, int> ViewportSize();

}  // namespace testsupport
