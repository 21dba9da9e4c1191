// What one frame is drawn at, and the draws an image asks for.
//
// The window asks for its frames at the window's size; screenshots and
// recorded frames at the image's size. Every value a frame depends on
// beyond the application's own state travels here, so an image never
// changes what the window's next frame sees.
#pragma once

#include <functional>

struct FrameRequest {
    double t = 0;               // playback time, seconds
    int width = 0, height = 0;  // pixels: the viewport, the projection's aspect, the track widths
    // Set for the multisampled pass of an image: the single-sample pass just
    // before made the reflection and refraction textures at this size (they
    // cannot be copied from a multisampled framebuffer), so they are reused.
    bool reuse_screen_textures = false;
};

using DrawFrame = std::function<void(const FrameRequest&)>;

// The two draws an image takes.
struct FrameDraws {
    DrawFrame frame;  // the whole frame into the bound framebuffer
    // Only the reflection or refraction texture the frame starts with, for
    // the single-sample pass of a multisampled image, whose picture is
    // thrown away; empty: the whole frame is drawn there.
    DrawFrame screen_textures;
};
