#include "platform/gl_lookup.h"
#include "support/gl_test.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

namespace {

using HeadlessContextTest = testsupport::GLTest;

TEST_F(HeadlessContextTest, IsADesktopCompatibilityContextOfAtLeast30)
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    int major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(version, "%d.%d", &major, &minor), 2) << version;
    EXPECT_GE(major * 10 + minor, 30) << version;
    EXPECT_EQ(std::strstr(version, "OpenGL ES"), nullptr) << version;
    GLint profile = 0;
    glGetIntegerv(0x9126 /* GL_CONTEXT_PROFILE_MASK */, &profile);
    EXPECT_NE(profile & 0x2 /* compatibility bit */, 0) << version;
}

TEST_F(HeadlessContextTest, ClearColourReadsBackEverywhere)
{
    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    auto pixels = Context().ReadPixels();
    ASSERT_EQ(pixels.size(), size_t(testsupport::kGLTestWidth) * testsupport::kGLTestHeight * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i + 0], 255);
        ASSERT_NEAR(pixels[i + 1], 128, 1);
        ASSERT_EQ(pixels[i + 2], 0);
        ASSERT_EQ(pixels[i + 3], 255);
    }
}

TEST_F(HeadlessContextTest, FixedFunctionDrawingLandsWhereExpected)
{
    // Left half red, right half untouched: checks the viewport and the
    // bottom-up row order of the read-back.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glColor4f(1, 0, 0, 1);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(0, -1);
    glVertex2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    EXPECT_EQ(PixelAt(10, 10)[0], 255);
    EXPECT_EQ(PixelAt(10, 250)[0], 255);
    EXPECT_EQ(PixelAt(200, 10)[0], 0);
}

TEST_F(HeadlessContextTest, LookupFindsEntryPointsOfTheCurrentContext)
{
    EXPECT_NE(platform::GetGLProcAddress("glCreateShader"), nullptr);
    EXPECT_NE(platform::GetGLProcAddress("glGetStringi"), nullptr);
}

TEST(HeadlessContextCreate, RejectsAnEmptyFramebuffer)
{
    std::string error;
    EXPECT_EQ(platform::HeadlessContext::Create(0, 16, &error), nullptr);
    EXPECT_FALSE(error.empty());
}

}  // namespace
