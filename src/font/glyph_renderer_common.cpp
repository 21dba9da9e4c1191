// What both glyph renderers share, the desktop's and the web page's (which
// opens no font): telling a font file from a family name, and forgetting the
// face's state.
#include "font/glyph_renderer.h"

#include <cstring>

#include <strings.h>

bool CGlyphRenderer::IsFontPath(const char *name)
{
    if (!name)
        return false;
    if (std::strchr(name, '/'))
        return true;
    const char *dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    static const char *const kExtensions[] = {"otf", "ttf", "ttc", "otc", "pfa", "pfb", "woff", "woff2"};
    for (const char *extension : kExtensions)
        if (!strcasecmp(dot + 1, extension))
            return true;
    return false;
}

void CGlyphRenderer::Forget_Face()
{
    std::vector<uint32_t>().swap(m_surface);
    m_width = m_height = 0;
    m_metrics = {};
    m_family.clear();
    m_path.clear();
    m_file.clear();
    m_open_failure.clear();
    m_substituted = false;
    m_status = RendererStart::kFailed;
}
