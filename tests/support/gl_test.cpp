#include "support/gl_test.h"

#include "gl/gl_start.h"
#include "gl/gles20.h"
#include "support/rgba_image.h"

#include <memory>
#include <string>

namespace testsupport {

platform::HeadlessContext* HeadlessGL()
{
    static std::string error;
    static std::unique_ptr<platform::HeadlessContext> context = [] {
        // As at program start.
        Status status;
        auto c = StartHeadlessGL(kGLTestWidth, kGLTestHeight, status);
        error = status.reason;
        return c;
    }();
    return context.get();
}

void GLTest::SetUp()
{
    m_context = HeadlessGL();
    ASSERT_NE(m_context, nullptr) << "cannot create the headless GL context";
    m_context->BindFramebuffer();
    while (glGetError() != GL_NO_ERROR) {
    }
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void GLTest::TearDown()
{
    if (m_context) {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "the test left a GL error behind";
    }
}

std::vector<uint8_t> GLTest::PixelAt(int x, int y) const
{
    m_context->BindFramebuffer();
    return ReadFramebuffer(1, 1, x, y).rgba;
}

void ScratchDirTest::SetUp()
{
    GLTest::SetUp();
    m_scratch = std::make_unique<ScratchDir>(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name());
    m_dir = m_scratch->Path();
}

void ScratchDirTest::TearDown()
{
    m_scratch.reset();
    Context().BindFramebuffer();
    GLTest::TearDown();
}

void ClearHalves(const std::array<float, 3>& top, const std::array<float, 3>& bottom)
{
    const auto [width, height] = ViewportSize();
    glClearColor(top[0], top[1], top[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, width, height / 2);
    glClearColor(bottom[0], bottom[1], bottom[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

std::pair<int, int> ViewportSize()
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return {viewport[2], viewport[3]};
}

}  // namespace testsupport
