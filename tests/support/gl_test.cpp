#include "gl_test.h"

#include "gl/gles20.h"

#include <memory>
#include <string>

namespace testsupport {

platform::HeadlessContext* HeadlessGL()
{
    static std::string error;
    static std::unique_ptr<platform::HeadlessContext> context = [] {
        auto c = platform::HeadlessContext::Create(kGLTestWidth, kGLTestHeight, &error);
        // As at program start: entry points and the default vertex array
        // right after the context exists, before any other GL work.
        if (c) {
            CGLES20ExtensionHandler::Init_GLES20();
            CGLES20ExtensionHandler::Init_VertexArrayObject();
        }
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
    std::vector<uint8_t> rgba(4);
    m_context->BindFramebuffer();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

}  // namespace testsupport
