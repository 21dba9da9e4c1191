// Headless OpenGL: a desktop compatibility context on Mesa's surfaceless EGL
// platform, rendering into a framebuffer object of a fixed size.
//
// Used by the tests of every GL-using subsystem and by batch work on machines
// without a display. It is real GL (llvmpipe here), not a mock. Creating it
// registers eglGetProcAddress as the process's GL lookup. One thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class HeadlessContext {
public:
    // Makes the context current and binds its framebuffer (RGBA8 colour,
    // 24-bit depth, 8-bit stencil). Null on failure, with the reason in *error.
    static std::unique_ptr<HeadlessContext> Create(int width, int height, std::string* error = nullptr);
    ~HeadlessContext();

    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    unsigned Framebuffer() const { return m_fbo; }   // the stand-in for a window's default framebuffer
    void BindFramebuffer() const;                     // binds it again, with a full-size viewport

    // Reads the framebuffer: width * height RGBA bytes, bottom row first.
    std::vector<uint8_t> ReadPixels() const;

private:
    HeadlessContext() = default;
    void* m_display = nullptr;
    void* m_context = nullptr;
    unsigned m_fbo = 0, m_color = 0, m_depth = 0;
    int m_width = 0, m_height = 0;
};

}  // namespace platform
