// The web page's glyph renderer: a browser has no FreeType and no
// fontconfig, so no font can be built there. The page ships the page caches
// the desktop built, and a build that is asked for anyway fails at Start with
// a reason that says so; the HUD then reports the missing pages as it would
// on the desktop.
#include "font/glyph_renderer.h"

struct CGlyphRenderer::Impl {};

CGlyphRenderer::CGlyphRenderer() : m_impl(new Impl) {}

CGlyphRenderer::~CGlyphRenderer()
{
    delete m_impl;
}

int CGlyphRenderer::Install(const char *, std::vector<std::string> &families, std::string *why)
{
    families.clear();
    if (why)
        *why = "fonts cannot be read in the web page";
    return -1;
}

void CGlyphRenderer::Start(const char *, int pixel_height, int weight, bool italic, bool underline)
{
    Stop();
    m_pixel_height = pixel_height;
    m_weight = weight;
    m_italic = italic;
    m_underline = underline;
    m_status = RendererStart::kCannotOpen;
    m_open_failure = "fonts cannot be built in the web page, which uses the page caches bundled with it";
}

bool CGlyphRenderer::Usable() const
{
    return false;
}

void CGlyphRenderer::Stop()
{
    Forget_Face();
}

bool CGlyphRenderer::Rasterise(int32_t, GlyphInfo &, TInkBox &)
{
    return false;
}

void CGlyphRenderer::Copy(uint32_t *, bool, int, const TInkBox &) const {}
