// Rendering one frame off-screen into a bitmap: the step screenshots and
// offline recording share.
//
// With a sample count S > 0 an image takes two draws: a single-sample pass
// that leaves fresh screen copies at the image size (the frame's off-screen
// pass cannot read a multisampled framebuffer), then the multisampled pass
// with ShellState::reuse_scene_copies set, resolved by a blit into a
// single-sample target and read back. With S = 0 the frame is drawn once and
// read straight from its target. The caller sets the viewport and window
// size to the bitmap's size beforehand.
//
// When a render target cannot be made the image is not rendered at all: the
// bitmap is left as it was and the reason comes back, so nothing reads
// whatever the window's framebuffer holds. The framebuffer bound on entry
// (the window's) is bound again on return, and reuse_scene_copies is clear.
// GL thread only.
#pragma once

#include "app/render_target.h"
#include "app/shell_state.h"
#include "image/bitmap.h"

#include <functional>
#include <string>

class ImageRenderer {
public:
    // samples: S, usually FramebufferSampleCount(); 0 for single-sample images.
    explicit ImageRenderer(int samples);

    // Draws the frame (draw_frame renders a whole frame into the bound
    // framebuffer) into `bitmap`: bitmap.width x bitmap.height pixels,
    // R, G, B, A bytes, bottom row first. False, with the reason in *why,
    // when the bitmap has no pixels or a render target cannot be made.
    // draw_scene_copies, when given, replaces draw_frame in the single-sample
    // pass: that pass is only there for the screen copies, so a caller that
    // can draw just those saves drawing the rest of the frame twice.
    bool Render(TBitmap& bitmap, ShellState& state, const std::function<void()>& draw_frame, std::string* why = nullptr,
                const std::function<void()>& draw_scene_copies = {});

    // Frees the render targets. They are otherwise kept between images of
    // one size, so a recording does not allocate them for every frame.
    void Release();

    int Samples() const { return m_samples; }

private:
    bool Prepare(RenderTarget& target, int width, int height, const RenderTargetRequest& request, const char* role,
                 std::string* why);

    int m_samples = 0;
    RenderTarget m_scene;    // single-sample pass (S > 0)
    RenderTarget m_main;     // the image, S samples
    RenderTarget m_resolve;  // the resolved image (S > 0)
};

// What the window's reshape does: the window size in `state` (the
// projection's aspect) and the viewport become width x height. Screenshots
// and recording switch to the image size with it and back afterwards.
void SetViewSize(ShellState& state, int width, int height);
