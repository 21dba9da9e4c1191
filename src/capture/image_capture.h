// Rendering one frame off-screen into a bitmap: the step screenshots and
// offline recording share.
//
// With a sample count S > 0 an image takes two draws: a single-sample pass
// that leaves fresh reflection and refraction textures at the image size,
// then the multisampled pass reusing them, resolved by a blit into a
// single-sample target and read back. With S = 0 the frame is drawn once
// and read straight from its target. Both draws get a request of the
// bitmap's size; nothing of the window's changes.
//
// When a render target cannot be made the image is not rendered at all: the
// bitmap is left as it was and the reason comes back, so nothing reads
// whatever the window's framebuffer holds. The framebuffer bound on entry
// (the window's) is bound again on return. GL thread only.
#pragma once

#include "capture/frame_request.h"
#include "core/status.h"
#include "gl/render_target.h"
#include "image/bitmap.h"

class ImageRenderer {
public:
    // samples: S, usually FramebufferSampleCount(); 0 for single-sample images.
    explicit ImageRenderer(int samples);

    // Draws the frame at playback time t into `bitmap`: bitmap.width x
    // bitmap.height pixels, R, G, B, A bytes, in read-back order
    // (image/bitmap.h). Fails when the bitmap has no pixels or a render
    // target cannot be made.
    Status Render(TBitmap& bitmap, double t, const FrameDraws& draws);

    // Frees the render targets. They are otherwise kept between images of
    // one size, so a recording does not allocate them for every frame.
    void Release();

    int Samples() const { return m_samples; }

private:
    Status Prepare(RenderTarget& target, int width, int height, const RenderTargetRequest& request, const char* role);

    int m_samples = 0;
    RenderTarget m_scene;    // single-sample pass (S > 0)
    RenderTarget m_main;     // the image, S samples
    RenderTarget m_resolve;  // the resolved image (S > 0)
};
