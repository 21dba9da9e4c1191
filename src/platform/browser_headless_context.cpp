// Rendering without a window needs EGL, which a browser does not have: the
// web page draws into its canvas only.
#include "platform/headless_context.h"

namespace platform {

std::unique_ptr<HeadlessContext> HeadlessContext::Create(int, int, std::string* error)
{
    if (error)
        *error = "rendering without a window is not available in the web page";
    return nullptr;
}

// None is ever made; the members the desktop's context fills stay unused.
HeadlessContext::~HeadlessContext()
{
    static_cast<void>(m_display);
    static_cast<void>(m_context);
    static_cast<void>(m_color);
    static_cast<void>(m_depth);
}

void HeadlessContext::BindFramebuffer() const {}

std::vector<uint8_t> HeadlessContext::ReadPixels() const
{
    return {};
}

}  // namespace platform
