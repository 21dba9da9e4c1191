#include "font/gl_font_test_util.h"

#include <algorithm>
#include <cstring>

#include "font/bitmap_font.h"
#include "font/page_meta_stream.h"
#include "image/tga.h"

namespace fonttest {

namespace {

GlyphInfo Glyph(int code, int bx, int by, int advance, int rotated, int px, int py, int w, int h)
{
    GlyphInfo g = {};
    g.code = code;
    g.bearing_x = bx;
    g.bearing_y = by;
    g.advance = advance;
    g.rotated = uint8_t(rotated);
    g.page_x = px;
    g.page_y = py;
    g.width = w;
    g.height = h;
    return g;
}

}  // namespace

HandPage HandPage::Standard()
{
    HandPage page;
    FontInfo& f = page.info;
    f.height = 48;
    f.weight = 400;
    f.page_count = 1;
    f.page_width = 300;
    f.page_height = 200;
    f.max_page_size = 2048;
    f.page_margin = 1;
    f.glyph_spacing = 2;
    f.glyph_padding = 2;
    f.ascent = 40;
    f.neg_descent = -12;
    f.cell_height = 52;
    f.space_advance = 10;
    f.x_extent = 20;
    f.line_spacing = 50;
    page.glyphs = {
        Glyph('a', 1, -2, 20, 0, 40, 60, 8, 12),
        Glyph('b', 0, 0, 15, 1, 80, 60, 6, 10),  // stored as 10 columns by 6 rows
        Glyph('z', 0, 0, 30, 0, 0, 0, 0, 0),
        Glyph(0x3A9, 2, 1, 12, 0, 120, 60, 10, 10),
    };
    return page;
}

bool HandPage::Write(const std::string& pattern) const
{
    BitmapPtr page(TBitmap::Create(width, height, true, false, 8));
    if (!page)
        return false;
    std::fill(page->pixels, page->pixels + size_t(page->width) * size_t(page->height), 0u);
    CPageMetaStream stream(page->pixels, page->width, page->height);
    if (!stream.Open_Write(uint32_t(area_width), uint32_t(area_height), 0x5eed1234u, 0, 1, 1))
        return false;
    const std::string name = "hand.otf";
    FontInfo header = info;
    header.name_length = uint8_t(name.size());
    const PageMetaChunk chunk = {0, int32_t(glyphs.size())};
    bool ok = stream.Write(&header, sizeof header) && stream.Write(name.data(), name.size()) &&
              stream.Write(&chunk, sizeof chunk);
    for (const GlyphInfo& g : glyphs)
        ok = ok && stream.Write(&g, sizeof g);
    if (!ok)
        return false;
    stream.Close_Write();
    for (const GlyphInfo& g : glyphs) {
        const int w = g.rotated ? g.height : g.width, h = g.rotated ? g.width : g.height;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                page->Row(g.page_y + y)[g.page_x + x] = GreyPixel(255);
    }
    for (unsigned i = 0; i < std::max<unsigned>(info.page_count, 1); ++i) {
        std::string file;
        if (!Format_PagePattern(pattern.c_str(), i, file) || !WriteTGA(file.c_str(), page.get()))
            return false;
    }
    return true;
}

}  // namespace fonttest
