// Helpers shared by the font tests: temporary directories, page producers and
// consumers in memory, and hand-made fonts with a chosen metadata layout.
#pragma once

#include <string>
#include <vector>

#include "font/bitmap_font.h"
#include "font/glyph_layout.h"
#include "support/scratch_dir.h"

namespace fonttest {

using TempDir = testsupport::ScratchDir;


// Deep copy of a bitmap.
BitmapPtr CopyBitmap(const TBitmap &b);

// Serves copies of stored pages.
class MemoryProducer : public CBitmapFont::CBitmapProducer {
public:
    std::vector<BitmapPtr> pages;
    TBitmap *Produce_Page(unsigned index) override;
};

// Keeps a copy of every page it receives; can refuse from a given index on.
class CollectingConsumer : public CBitmapFont::CBitmapCallback {
public:
    std::vector<BitmapPtr> pages;
    std::vector<unsigned> page_counts;
    unsigned refuse_from = ~0u;
    bool Consume_Page(unsigned index, unsigned page_count, TBitmap *page) override;
};

// A font made by hand: glyph pages with their records and the runs of each metadata page.
struct HandFont {
    FontInfo info = {};
    std::string name = "hand.otf";
    uint32_t font_id = 0x12345678;
    std::vector<int> page_w, page_h;                 // size of every page
    std::vector<std::vector<GlyphInfo>> glyphs;       // records of every page
    std::vector<std::vector<TPageMetaRun>> runs;      // per metadata page
    std::vector<std::pair<int, int>> areas;           // area size per metadata page

    // Makes the page images: metadata written, glyph rectangles filled with a grey.
    std::vector<BitmapPtr> Pages() const;
};

// A font of `pages` glyph pages with `per_page` glyphs each, its table spread
// over `meta_pages` metadata areas (runs split when an area is full).
HandFont MakeHandFont(int pages, int per_page, int meta_pages, int area_w, int area_h);

} // namespace fonttest

namespace fonttest {

// Path of a source font ("cmunrm.otf" and friends) in the build's run directory.
std::string SourceFont(const char *file);

// Writes a TrueType collection that holds the font of `ttf` twice.
bool WriteTwoFaceCollection(const std::string &ttf, const std::string &out);

} // namespace fonttest
