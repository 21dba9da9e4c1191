// Off-screen framebuffers for screenshots and offline recording.
//
// A `RenderTarget` is one framebuffer object with renderbuffer attachments:
// up to 16 colour attachments in GL_RGBA, optionally a depth attachment,
// each with its own sample count. Screenshots and recording use three kinds
// (SceneTargetRequest, MainTargetRequest, ResolveTargetRequest). The image
// renderer keeps its targets while the image size stays the same, so a
// recording makes them once for all its frames and frees them at its end.
//
// Creation is all or nothing: every check (size limit, attachment limit,
// names, storage errors, the framebuffer's completeness status) must pass,
// otherwise everything made so far is deleted, the framebuffer name stays 0
// and the reason comes back to the caller, who reports it. Binding a failed
// target does nothing, so callers must check Create() and never draw into
// whatever framebuffer happens to be bound.
//
// Multisampling needs the two optional multisample entry points of
// gles20.h; without them only single-sample targets can be made. GL thread
// only.
#pragma once

#include "core/status.h"
#include "gl/gl_object.h"

#include <array>
#include <string>

// What a target is asked to hold.
struct RenderTargetRequest {
    int colour_attachments = 1;                  // GL_RGBA renderbuffers at GL_COLOR_ATTACHMENT0 + i
    GLsizei colour_samples = 0;                  // 0: single-sample storage
    bool has_depth = false;                      // a depth renderbuffer at GL_DEPTH_ATTACHMENT
    GLenum depth_format = GL_DEPTH_COMPONENT24;  // its internal format
    GLsizei depth_samples = 0;
};

// Single-sample target the first pass of a multisampled image draws into:
// colour and 24-bit depth, no multisampling.
RenderTargetRequest SceneTargetRequest();
// Target an image is drawn into: colour and 24-bit depth, both with `samples`.
RenderTargetRequest MainTargetRequest(GLsizei samples);
// Single-sample colour target a multisampled image is resolved into.
RenderTargetRequest ResolveTargetRequest();

class RenderTarget {
public:
    static constexpr int kMaxColourAttachments = 16;

    RenderTarget() = default;
    RenderTarget(RenderTarget&&) = default;
    RenderTarget& operator=(RenderTarget&&) = default;

    // Builds the framebuffer, replacing any earlier one. The framebuffer
    // bindings are as they were on return, success or not. Fails with the
    // reason when any step fails; nothing stays allocated then.
    Status Create(int width, int height, const RenderTargetRequest& request);
    // Binds the framebuffer to GL_FRAMEBUFFER; does nothing for a target
    // whose creation failed.
    void Bind() const;
    // Deletes the colour renderbuffers, the depth and stencil renderbuffers,
    // then the framebuffer; every name becomes 0.
    void Destroy();

    bool IsValid() const { return framebuffer.Get() != 0; }

    int width = 0, height = 0;
    RenderTargetRequest description;                                   // what was asked for
    GLFramebuffer framebuffer;                                         // 0 when creation failed
    std::array<GLRenderbuffer, kMaxColourAttachments> colour_buffers;  // 0 where not requested
    GLRenderbuffer depth_buffer;                                       // 0 when none
    GLRenderbuffer stencil_buffer;                                     // no request asks for one: stays 0
};

// Colour attachments a target may have in the current context: 1, or with
// GL_NV_draw_buffers min(GL_MAX_DRAW_BUFFERS, GL_MAX_COLOR_ATTACHMENTS),
// never more than 16.
int ColourAttachmentLimit();

// True when the context can blit between framebuffers and store
// multisampled renderbuffers (OpenGL 3.0, GL_ARB_framebuffer_object, or the
// EXT blit and multisample extensions together).
bool FramebufferBlitAvailable();

// Copies the colour of rectangle (0, 0, width, height) from the framebuffer
// bound to GL_READ_FRAMEBUFFER to the one bound to GL_DRAW_FRAMEBUFFER,
// resolving samples. False when blitting is not available.
bool BlitFramebuffer(GLint width, GLint height);

// The sample count S of multisampled images: the largest count up to 8 that
// the context supports (GL_MAX_SAMPLES) when blitting is available; 0 when
// it is not, or when the context cannot store more than one sample.
int FramebufferSampleCount();

// The framebuffer currently bound for drawing (GL_DRAW_FRAMEBUFFER_BINDING).
GLuint BoundDrawFramebuffer();
