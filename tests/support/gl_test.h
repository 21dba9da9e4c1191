// Test fixture for GL code: one headless context per test process, its
// framebuffer bound and cleared before each test, GL errors drained so each
// test sees only its own. The context gets the ES 2.0 entry points and the
// default vertex array when it is made, as the program does at start-up, so
// code written against "gl/gles20.h" runs in it.
#pragma once

#include "platform/headless_context.h"

#include <gtest/gtest.h>

#include <cstdint>
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

}  // namespace testsupport
