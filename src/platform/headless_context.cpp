#include "platform/headless_context.h"

#include "platform/gl_lookup.h"

#define EGL_EGLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

namespace platform {

namespace {

GLProc EglLookup(const char* name)
{
    return reinterpret_cast<GLProc>(eglGetProcAddress(name));
}

// The few framebuffer-object calls the context needs for its own target;
// resolved here so the platform layer does not depend on the GL framework.
struct FboCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

    bool Load()
    {
        genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(EglLookup("glGenFramebuffers"));
        bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(EglLookup("glBindFramebuffer"));
        deleteFramebuffers = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(EglLookup("glDeleteFramebuffers"));
        genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(EglLookup("glGenRenderbuffers"));
        bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(EglLookup("glBindRenderbuffer"));
        deleteRenderbuffers = reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(EglLookup("glDeleteRenderbuffers"));
        renderbufferStorage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(EglLookup("glRenderbufferStorage"));
        framebufferRenderbuffer =
            reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(EglLookup("glFramebufferRenderbuffer"));
        checkFramebufferStatus =
            reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(EglLookup("glCheckFramebufferStatus"));
        return genFramebuffers && bindFramebuffer && deleteFramebuffers && genRenderbuffers && bindRenderbuffer &&
               deleteRenderbuffers && renderbufferStorage && framebufferRenderbuffer && checkFramebufferStatus;
    }
};

FboCalls g_fbo;

void SetError(std::string* error, const char* what)
{
    if (error)
        *error = what;
}

}  // namespace

std::unique_ptr<HeadlessContext> HeadlessContext::Create(int width, int height, std::string* error)
{
    if (width <= 0 || height <= 0) {
        SetError(error, "invalid framebuffer size");
        return nullptr;
    }
    std::unique_ptr<HeadlessContext> self(new HeadlessContext());
    EGLDisplay dpy = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY) {
        SetError(error, "no surfaceless EGL display");
        return nullptr;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(dpy, &major, &minor)) {
        SetError(error, "eglInitialize failed");
        return nullptr;
    }
    self->m_display = dpy;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        SetError(error, "EGL cannot bind the desktop OpenGL API");
        return nullptr;
    }
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(dpy, configAttribs, &config, 1, &count) || count < 1)
        config = nullptr;  // EGL_KHR_no_config_context: Mesa accepts a context without one
    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, contextAttribs);
    if (ctx == EGL_NO_CONTEXT) {
        SetError(error, "eglCreateContext failed for a desktop OpenGL compatibility context");
        return nullptr;
    }
    self->m_context = ctx;
    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx)) {
        SetError(error, "eglMakeCurrent failed");
        return nullptr;
    }
    SetGLLookup(&EglLookup);
    if (!g_fbo.Load()) {
        SetError(error, "framebuffer-object entry points missing");
        return nullptr;
    }
    self->m_width = width;
    self->m_height = height;
    g_fbo.genRenderbuffers(1, &self->m_color);
    g_fbo.bindRenderbuffer(GL_RENDERBUFFER, self->m_color);
    g_fbo.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    g_fbo.genRenderbuffers(1, &self->m_depth);
    g_fbo.bindRenderbuffer(GL_RENDERBUFFER, self->m_depth);
    g_fbo.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    g_fbo.bindRenderbuffer(GL_RENDERBUFFER, 0);
    g_fbo.genFramebuffers(1, &self->m_fbo);
    g_fbo.bindFramebuffer(GL_FRAMEBUFFER, self->m_fbo);
    g_fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, self->m_color);
    g_fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, self->m_depth);
    if (g_fbo.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        SetError(error, "headless framebuffer incomplete");
        return nullptr;
    }
    glViewport(0, 0, width, height);
    return self;
}

HeadlessContext::~HeadlessContext()
{
    if (!m_display)
        return;
    auto dpy = static_cast<EGLDisplay>(m_display);
    if (m_context && eglGetCurrentContext() == m_context) {
        g_fbo.bindFramebuffer(GL_FRAMEBUFFER, 0);
        if (m_fbo)
            g_fbo.deleteFramebuffers(1, &m_fbo);
        if (m_color)
            g_fbo.deleteRenderbuffers(1, &m_color);
        if (m_depth)
            g_fbo.deleteRenderbuffers(1, &m_depth);
        eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        SetGLLookup(nullptr);
    }
    if (m_context)
        eglDestroyContext(dpy, static_cast<EGLContext>(m_context));
    // The display stays initialised: Mesa shares it per process, and
    // terminating it would pull it from under a later context.
}

void HeadlessContext::BindFramebuffer() const
{
    g_fbo.bindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    glViewport(0, 0, m_width, m_height);
}

std::vector<uint8_t> HeadlessContext::ReadPixels() const
{
    std::vector<uint8_t> pixels(static_cast<size_t>(m_width) * m_height * 4);
    g_fbo.bindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

}  // namespace platform
