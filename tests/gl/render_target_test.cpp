// Render targets on the headless context: what each kind of request holds,
// and that every way creation can fail leaves no names and the bindings as
// they were.
#include "gl/render_target.h"

#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using RenderTargetTest = testsupport::GLTest;

GLint RenderbufferParameter(GLuint name, GLenum parameter)
{
    GLint value = -1;
    glBindRenderbuffer(GL_RENDERBUFFER, name);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, parameter, &value);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    return value;
}

GLint MaxSamples()
{
    GLint samples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &samples);
    return samples;
}

TEST_F(RenderTargetTest, SampleCountIsTheLargestTheContextStoresUpToEight)
{
    const int samples = FramebufferSampleCount();
    ASSERT_TRUE(FramebufferBlitAvailable());
    EXPECT_EQ(samples, std::min(MaxSamples(), 8));
    EXPECT_GE(samples, 2) << "this context multisamples";
    // S is usable, one more is not.
    RenderTarget target;
    const Status made = target.Create(64, 32, MainTargetRequest(samples));
    EXPECT_TRUE(made) << made.reason;
    if (samples < 8) {
        EXPECT_FALSE(target.Create(64, 32, MainTargetRequest(samples + 1)));
    }
}

TEST_F(RenderTargetTest, EachKindHoldsWhatItAsksForAndLeavesTheBindingAlone)
{
    const GLsizei s = FramebufferSampleCount();
    const struct {
        const char* kind;
        RenderTargetRequest request;
        GLint colour_samples;
        bool depth;
        GLint depth_samples;
    } cases[] = {
        {"scene", SceneTargetRequest(), 0, true, 0},
        {"main", MainTargetRequest(s), s, true, s},
        {"main, single-sample", MainTargetRequest(0), 0, true, 0},
        {"resolve", ResolveTargetRequest(), 0, false, 0},
    };
    const GLuint window = Context().Framebuffer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        RenderTarget target;
        const Status made = target.Create(300, 200, c.request);
        ASSERT_TRUE(made) << made.reason;
        EXPECT_EQ(BoundDrawFramebuffer(), window);
        EXPECT_EQ(target.width, 300);
        EXPECT_EQ(target.height, 200);
        EXPECT_TRUE(target.IsValid());
        ASSERT_NE(target.colour_buffers[0].Get(), 0u);
        for (int i = 1; i < RenderTarget::kMaxColourAttachments; ++i)
            EXPECT_EQ(target.colour_buffers[size_t(i)].Get(), 0u) << i;
        EXPECT_EQ(RenderbufferParameter(target.colour_buffers[0], GL_RENDERBUFFER_WIDTH), 300);
        EXPECT_EQ(RenderbufferParameter(target.colour_buffers[0], GL_RENDERBUFFER_HEIGHT), 200);
        EXPECT_EQ(RenderbufferParameter(target.colour_buffers[0], GL_RENDERBUFFER_SAMPLES), c.colour_samples);
        EXPECT_EQ(target.depth_buffer.Get() != 0, c.depth);
        if (c.depth) {
            EXPECT_EQ(RenderbufferParameter(target.depth_buffer, GL_RENDERBUFFER_SAMPLES), c.depth_samples);
            EXPECT_GE(RenderbufferParameter(target.depth_buffer, GL_RENDERBUFFER_DEPTH_SIZE), 24);
        }
        EXPECT_EQ(target.stencil_buffer.Get(), 0u);

        target.Bind();
        EXPECT_EQ(BoundDrawFramebuffer(), target.framebuffer.Get());
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        Context().BindFramebuffer();

        const GLuint framebuffer = target.framebuffer, colour = target.colour_buffers[0];
        target.Destroy();
        EXPECT_FALSE(target.IsValid());
        EXPECT_EQ(target.colour_buffers[0].Get(), 0u);
        EXPECT_EQ(target.depth_buffer.Get(), 0u);
        EXPECT_FALSE(glIsFramebuffer(framebuffer));
        EXPECT_FALSE(glIsRenderbuffer(colour));
    }
}

TEST_F(RenderTargetTest, FailedCreationKeepsNoNamesReportsWhyAndBindsNothing)
{
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    const struct {
        const char* what;
        int width, height;
        RenderTargetRequest request;
        const char* reason;  // part of the reason given
    } cases[] = {
        {"too wide", max_size + 1, 16, SceneTargetRequest(), "exceeds the largest renderbuffer side"},
        {"too high", 16, max_size + 1, ResolveTargetRequest(), "exceeds the largest renderbuffer side"},
        {"empty", 0, 16, ResolveTargetRequest(), "empty size"},
        {"two colour attachments", 16, 16, {2, 0, false, GL_DEPTH_COMPONENT24, 0}, "2 colour attachments"},
        {"seventeen colour attachments", 16, 16, {17, 0, false, GL_DEPTH_COMPONENT24, 0}, "17 colour attachments"},
        {"more samples than stored", 16, 16, MainTargetRequest(MaxSamples() + 1),
         "cannot allocate a 16 x 16 renderbuffer"},
        {"unknown depth format", 16, 16, {1, 0, true, GL_RGB5_A1 + 12345, 0}, "GL error 0x0500"},
        // Completeness: each renderbuffer is fine alone, together they are not.
        {"samples differ between attachments",
         16,
         16,
         {1, 2, true, GL_DEPTH_COMPONENT24, 0},
         "framebuffer incomplete: GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE"},
        {"colour format at the depth point",
         16,
         16,
         {1, 0, true, GL_RGBA8, 0},
         "framebuffer incomplete: GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT"},
    };
    const GLuint window = Context().Framebuffer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RenderTarget target;
        // A target that worked before is replaced, not kept, by a failed one.
        ASSERT_TRUE(target.Create(8, 8, ResolveTargetRequest()));
        const GLuint old_framebuffer = target.framebuffer;
        const Status made = target.Create(c.width, c.height, c.request);
        EXPECT_FALSE(made);
        EXPECT_NE(made.reason.find(c.reason), std::string::npos) << made.reason;
        EXPECT_FALSE(target.IsValid());
        EXPECT_FALSE(glIsFramebuffer(old_framebuffer));
        for (const GLRenderbuffer& b : target.colour_buffers)
            EXPECT_EQ(b.Get(), 0u);
        EXPECT_EQ(target.depth_buffer.Get(), 0u);
        EXPECT_EQ(BoundDrawFramebuffer(), window);
        target.Bind();  // a failed target binds nothing
        EXPECT_EQ(BoundDrawFramebuffer(), window);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(RenderTargetTest, ErrorsLeftByEarlierCallsAreNotTakenForAFailure)
{
    glEnable(0xFFFF);  // GL_INVALID_ENUM, pending
    RenderTarget target;
    const Status made = target.Create(16, 16, SceneTargetRequest());
    EXPECT_TRUE(made) << made.reason;
}

TEST_F(RenderTargetTest, ReadAndDrawBindingsAreRestoredSeparately)
{
    RenderTarget other;
    ASSERT_TRUE(other.Create(8, 8, ResolveTargetRequest()));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, other.framebuffer);
    RenderTarget target;
    ASSERT_TRUE(target.Create(8, 8, SceneTargetRequest()));
    EXPECT_FALSE(target.Create(8, 8, {1, 2, true, GL_DEPTH_COMPONENT24, 0}));
    GLint read = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    EXPECT_EQ(GLuint(read), other.framebuffer.Get());
    EXPECT_EQ(BoundDrawFramebuffer(), Context().Framebuffer());
    Context().BindFramebuffer();
}

}  // namespace
