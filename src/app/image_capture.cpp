#include "app/image_capture.h"

namespace {

// Binds the given framebuffer again and clears reuse_scene_copies on every
// way out of an image, so a failure in the middle leaves the shell as it was.
class CaptureScope {
public:
    CaptureScope(ShellState& state, GLuint window) : m_state(state), m_window(window) {}
    ~CaptureScope()
    {
        m_state.reuse_scene_copies = false;
        glBindFramebuffer(GL_FRAMEBUFFER, m_window);
    }
    CaptureScope(const CaptureScope&) = delete;
    CaptureScope& operator=(const CaptureScope&) = delete;

private:
    ShellState& m_state;
    GLuint m_window;
};

}  // namespace

ImageRenderer::ImageRenderer(int samples) : m_samples(samples > 0 ? samples : 0)
{}

void ImageRenderer::Release()
{
    m_scene.Destroy();
    m_main.Destroy();
    m_resolve.Destroy();
}

bool ImageRenderer::Prepare(RenderTarget& target, int width, int height, const RenderTargetRequest& request,
                            const char* role, std::string* why)
{
    if (target.IsValid() && target.width == width && target.height == height)
        return true;
    std::string reason;
    if (target.Create(width, height, request, &reason))
        return true;
    if (why)
        *why = std::string("cannot create the ") + role + " render target: " + reason;
    return false;
}

bool ImageRenderer::Render(TBitmap& bitmap, ShellState& state, const std::function<void()>& draw_frame,
                           std::string* why, const std::function<void()>& draw_scene_copies)
{
    const int width = bitmap.width, height = bitmap.height;
    if (!bitmap.pixels || width <= 0 || height <= 0) {
        if (why)
            *why = "no bitmap to render into";
        return false;
    }
    const GLuint window = BoundDrawFramebuffer();
    CaptureScope scope(state, window);

    // Every target first, so a failure draws nothing at all.
    const bool multisampled = m_samples > 0;
    if (multisampled && !Prepare(m_scene, width, height, SceneTargetRequest(), "scene", why))
        return false;
    if (!Prepare(m_main, width, height, MainTargetRequest(m_samples), "image", why))
        return false;
    if (multisampled && !Prepare(m_resolve, width, height, ResolveTargetRequest(), "resolve", why))
        return false;

    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    if (multisampled) {
        m_scene.Bind();
        // Leaves fresh screen copies at this size.
        if (draw_scene_copies)
            draw_scene_copies();
        else
            draw_frame();
        m_main.Bind();
        state.reuse_scene_copies = true;
        draw_frame();
        state.reuse_scene_copies = false;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_main.framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_resolve.framebuffer);
        BlitFramebuffer(width, height);
        m_resolve.Bind();
    } else {
        m_main.Bind();
        draw_frame();
    }
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bitmap.pixels);
    return true;
}

void SetViewSize(ShellState& state, int width, int height)
{
    state.window_width = width;
    state.window_height = height;
    glViewport(0, 0, width, height);
}
