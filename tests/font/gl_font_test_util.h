// A one-page font made by hand for the GL font tests: chosen metrics and
// glyph records, metadata written as a build writes it, glyph rectangles in
// full ink, saved as a TGA page in a temporary directory.
#pragma once

#include <string>
#include <vector>

#include "font/font_info.h"

namespace fonttest {

struct HandPage {
    FontInfo info = {};             // page_count, page size, padding, metrics
    std::vector<GlyphInfo> glyphs;  // records as stored (before the GL font pads them)
    int width = 300, height = 200;  // the page image (the header may claim otherwise)
    int area_width = 32, area_height = 8;

    // The standard test font: 300 x 200 page, padding 2, space 10, line 50;
    // 'a' plain, 'b' rotated, 'z' without a box, U+03A9 above 127.
    static HandPage Standard();

    // Writes page 0 (and, with page_count above 1, copies of it as the other
    // pages) under `pattern`; false when a file cannot be written.
    bool Write(const std::string& pattern) const;
};

}  // namespace fonttest
