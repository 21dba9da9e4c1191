// Telling a font file from a family name: plain text, so the web page's
// renderer (which opens neither) answers exactly as the desktop's does.
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
