// The read-backs of rgba_image.h, apart from the rest so that the GL-free
// test programs link without GL.
#include "support/rgba_image.h"

#include "gl/gles20.h"
#include "platform/headless_context.h"

namespace testsupport {

RgbaImage ReadFramebuffer(int width, int height, int x, int y)
{
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return FromBottomUp(width, height, rgba);
}

RgbaImage ReadFrame(const platform::HeadlessContext& context)
{
    return FromBottomUp(context.Width(), context.Height(), context.ReadPixels());
}

}  // namespace testsupport
