#include "gl/render_target.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

const char* StatusName(GLenum status)
{
    switch (status) {
    case GL_FRAMEBUFFER_UNDEFINED: return "GL_FRAMEBUFFER_UNDEFINED";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT: return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT: return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER: return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER: return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER";
    case GL_FRAMEBUFFER_UNSUPPORTED: return "GL_FRAMEBUFFER_UNSUPPORTED";
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE: return "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE";
    case GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS: return "GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS";
    default: return nullptr;
    }
}

// Restores the draw and read framebuffer bindings found on construction.
class FramebufferBindingGuard {
public:
    FramebufferBindingGuard()
    {
        GLint draw = 0, read = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
        m_draw = static_cast<GLuint>(draw);
        m_read = static_cast<GLuint>(read);
    }
    ~FramebufferBindingGuard()
    {
        if (m_draw == m_read) {
            glBindFramebuffer(GL_FRAMEBUFFER, m_draw);
        } else {
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_draw);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_read);
        }
    }
    FramebufferBindingGuard(const FramebufferBindingGuard&) = delete;
    FramebufferBindingGuard& operator=(const FramebufferBindingGuard&) = delete;

private:
    GLuint m_draw = 0, m_read = 0;
};

// Makes one renderbuffer with storage for the target's size and attaches it
// to the bound framebuffer at `attachment`; empty with the reason on failure.
GLRenderbuffer MakeRenderbuffer(int width, int height, GLenum format, GLsizei samples, GLenum attachment,
                                std::string& why)
{
    GLRenderbuffer buffer;
    buffer.Create();
    if (!buffer) {
        why = "no renderbuffer name";
        return {};
    }
    glBindRenderbuffer(GL_RENDERBUFFER, buffer);
    if (samples == 0) {
        glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
    } else {
        if (!glRenderbufferStorageMultisample) {
            why = "the context has no multisampled renderbuffers";
            glBindRenderbuffer(GL_RENDERBUFFER, 0);
            return {};
        }
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
    }
    // Storage fails with an error, not a status: too many samples, an
    // unknown format, or no memory for the size asked.
    const GLenum error = glGetError();
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (error != GL_NO_ERROR) {
        why = "cannot allocate a " + std::to_string(width) + " x " + std::to_string(height) + " renderbuffer (format " +
              Hex(format) + ", " + std::to_string(samples) + " samples): GL error " + Hex(error);
        if (error == GL_OUT_OF_MEMORY)
            why += " (out of memory)";
        return {};
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, buffer);
    return buffer;
}

}  // namespace

RenderTargetRequest SceneTargetRequest()
{
    return {1, 0, true, GL_DEPTH_COMPONENT24, 0};
}

RenderTargetRequest MainTargetRequest(GLsizei samples)
{
    return {1, samples, true, GL_DEPTH_COMPONENT24, samples};
}

RenderTargetRequest ResolveTargetRequest()
{
    return {1, 0, false, GL_DEPTH_COMPONENT24, 0};
}

int ColourAttachmentLimit()
{
    if (!CGLES20ExtensionHandler::Has_Extension("GL_NV_draw_buffers"))
        return 1;
    GLint draw_buffers = 0, attachments = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &draw_buffers);
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &attachments);
    return std::clamp(std::min(draw_buffers, attachments), 1, RenderTarget::kMaxColourAttachments);
}

bool FramebufferBlitAvailable()
{
    return glRenderbufferStorageMultisample && glBlitFramebuffer;
}

bool BlitFramebuffer(GLint width, GLint height)
{
    if (!glBlitFramebuffer)
        return false;
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    return true;
}

int FramebufferSampleCount()
{
    if (!FramebufferBlitAvailable())
        return 0;
    GLint max_samples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
    const int samples = std::min(max_samples, 8);
    return samples >= 2 ? samples : 0;
}

GLuint BoundDrawFramebuffer()
{
    GLint name = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &name);
    return static_cast<GLuint>(name);
}

Status RenderTarget::Create(int target_width, int target_height, const RenderTargetRequest& request)
{
    Destroy();
    width = target_width;
    height = target_height;
    description = request;

    std::string reason;
    auto fail = [&](std::string text) {
        Destroy();
        return Status::Failure(std::move(text));
    };

    if (target_width <= 0 || target_height <= 0)
        return fail("empty size " + std::to_string(target_width) + " x " + std::to_string(target_height));
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    if (max_size < std::max(target_width, target_height))
        return fail(std::to_string(target_width) + " x " + std::to_string(target_height) +
                    " exceeds the largest renderbuffer side " + std::to_string(max_size));
    const int limit = ColourAttachmentLimit();
    if (request.colour_attachments < 0 || request.colour_attachments > limit)
        return fail(std::to_string(request.colour_attachments) + " colour attachments asked for, at most " +
                    std::to_string(limit) + " possible");
    if (request.colour_samples < 0 || request.depth_samples < 0)
        return fail("negative sample count");

    // Errors left by earlier calls would be taken for a storage failure.
    while (glGetError() != GL_NO_ERROR) {}

    FramebufferBindingGuard restore_bindings;
    framebuffer.Create();
    if (!framebuffer)
        return fail("no framebuffer name");
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);

    for (int i = 0; i < request.colour_attachments; ++i) {
        colour_buffers[static_cast<size_t>(i)] =
            MakeRenderbuffer(target_width, target_height, GL_RGBA, request.colour_samples,
                             static_cast<GLenum>(GL_COLOR_ATTACHMENT0 + i), reason);
        if (!colour_buffers[static_cast<size_t>(i)])
            return fail("colour attachment " + std::to_string(i) + ": " + reason);
    }
    if (request.has_depth) {
        depth_buffer = MakeRenderbuffer(target_width, target_height, request.depth_format, request.depth_samples,
                                        GL_DEPTH_ATTACHMENT, reason);
        if (!depth_buffer)
            return fail("depth attachment: " + reason);
    }

    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        const char* name = StatusName(status);
        return fail("framebuffer incomplete: " + (name ? std::string(name) : "status " + Hex(status)));
    }
    return Status::Ok();
}

void RenderTarget::Bind() const
{
    if (framebuffer)
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

void RenderTarget::Destroy()
{
    for (GLRenderbuffer& buffer : colour_buffers)
        buffer.Reset();
    depth_buffer.Reset();
    stencil_buffer.Reset();
    framebuffer.Reset();
}
