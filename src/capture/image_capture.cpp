#include "capture/image_capture.h"

namespace {

// Binds the given framebuffer again on every way out of an image, so a
// failure in the middle leaves the window's bound.
class RebindOnExit {
public:
    explicit RebindOnExit(GLuint framebuffer) : m_framebuffer(framebuffer) {}
    ~RebindOnExit() { glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer); }
    RebindOnExit(const RebindOnExit&) = delete;
    RebindOnExit& operator=(const RebindOnExit&) = delete;

private:
    GLuint m_framebuffer;
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

Status ImageRenderer::Prepare(RenderTarget& target, int width, int height, const RenderTargetRequest& request,
                              const char* role)
{
    if (target.IsValid() && target.width == width && target.height == height)
        return Status::Ok();
    Status made = target.Create(width, height, request);
    if (!made)
        return Status::Failure(std::string("cannot create the ") + role + " render target: " + made.reason);
    return made;
}

Status ImageRenderer::Render(TBitmap& bitmap, double t, const FrameDraws& draws)
{
    const int width = bitmap.width, height = bitmap.height;
    if (!bitmap.pixels || width <= 0 || height <= 0)
        return Status::Failure("no bitmap to render into");
    RebindOnExit rebind(BoundDrawFramebuffer());

    // Every target first, so a failure draws nothing at all.
    const bool multisampled = m_samples > 0;
    Status ready = multisampled ? Prepare(m_scene, width, height, SceneTargetRequest(), "scene") : Status::Ok();
    if (ready)
        ready = Prepare(m_main, width, height, MainTargetRequest(m_samples), "image");
    if (ready && multisampled)
        ready = Prepare(m_resolve, width, height, ResolveTargetRequest(), "resolve");
    if (!ready)
        return ready;

    FrameRequest request{t, width, height, false};
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    if (multisampled) {
        m_scene.Bind();
        (draws.screen_textures ? draws.screen_textures : draws.frame)(request);
        m_main.Bind();
        request.reuse_screen_textures = true;
        draws.frame(request);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_main.framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_resolve.framebuffer);
        BlitFramebuffer(width, height);
        m_resolve.Bind();
    } else {
        m_main.Bind();
        draws.frame(request);
    }
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bitmap.pixels);
    return Status::Ok();
}
