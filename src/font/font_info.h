// Font and glyph records stored in the font pages.
//
// FontInfo describes a built bitmap font, GlyphInfo one glyph of it. Both are
// packed and little-endian because they are copied byte for byte into the
// metadata area of the page images and back (page_meta_stream.h); the GL font
// copies them again on loading. Plain data, owned by whoever holds them.
#pragma once

#include <bit>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "font records are stored in memory order; a big-endian port must swap them");

#pragma pack(push, 1)

// Font header, 39 bytes; the font name (name_length bytes) follows it in page 0's stream.
struct FontInfo {
    int16_t height;             // requested glyph height in pixels (builds use 48)
    int16_t weight;             // font weight (default 400)
    uint8_t italic;             // 0 or 1
    uint8_t underline;          // 0 or 1
    uint16_t page_count;        // number of pages of the font
    uint16_t page_width;        // largest page width in pixels
    uint16_t page_height;       // largest page height in pixels
    uint16_t max_page_size;     // page size limit of the build (default 2048)
    uint16_t page_margin;       // free pixels along every page edge (default 1, below 32)
    uint16_t glyph_spacing;     // extra gap between packed glyphs (default 2)
    uint16_t glyph_padding;     // border the renderer adds round every glyph (default 2)
    int16_t ascent;             // font ascent
    int16_t neg_descent;        // minus the font descent
    int16_t cell_height;        // ascent plus descent
    int16_t internal_leading;   // cell height minus the em height
    int16_t external_leading;   // extra line gap the font asks for
    int16_t space_advance;      // advance of the space character
    int16_t x_extent;           // height of the text extent of "x"
    int16_t line_spacing;       // cell_height + external_leading
    uint16_t extension_count;   // extension records after the name (builds write 0)
    uint8_t name_length;        // bytes of the font name
};

// One glyph, 33 bytes. Screen values are pixels, x right and y up from the
// baseline. Byte 32, the last byte of height, is the one older readers call
// reserved: it is 0 for every glyph that can exist.
struct GlyphInfo {
    int32_t code;       // Unicode code point (the GL font replaces it by the page index)
    int32_t bearing_x;  // pen position to the left edge of the glyph box
    int32_t bearing_y;  // baseline up to the bottom edge of the glyph box
    int32_t advance;    // pen advance after this glyph
    uint8_t rotated;    // 1 when stored turned by a quarter turn in the page
    int32_t page_x;     // left column of the bitmap in the page buffer
    int32_t page_y;     // first row of the bitmap in the page buffer
    int32_t width;      // glyph box width (screen orientation)
    int32_t height;     // glyph box height (screen orientation)
};

#pragma pack(pop)

static_assert(sizeof(FontInfo) == 39, "FontInfo is stored as 39 bytes");
static_assert(sizeof(GlyphInfo) == 33, "GlyphInfo is stored as 33 bytes");
