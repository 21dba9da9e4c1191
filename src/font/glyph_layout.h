// Glyph layout and page packing for font builds.
//
// The font build hands over its measured glyphs and gets pages back: how
// many, how large, where each glyph sits and whether it is turned, plus the
// plan of the glyph table that the pages carry in their metadata areas. Three
// steps, in this order: the metadata plan sizes the areas, Build_GlyphLayout
// packs the glyphs into square pages around those areas (re-planning when it
// needed more pages than planned) and shrinks each page, and
// Prepare_PageMeta_Layout spreads the glyph records over the areas as runs.
// Called by CBitmapFont::Build; plain C++, owns only the plan and page lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "font/font_info.h"

// Glyphs [first, end) of one layout page, stored as one run in a metadata area.
struct TPageMetaRun {
    int page;   // layout page that holds the glyphs
    int first;  // first glyph of that page's list
    int end;    // one past the last glyph
};

// Where the glyph table goes: the metadata areas and their contents.
struct TPageMetaPlan {
    std::string name;                 // font name stored after FontInfo on page 0
    FontInfo info = {};               // font header (completed by the build before writing)
    int page_side = 0;                // B: packing side of a page
    int max_area_side = 0;            // P: largest metadata area side
    double fill = 0.85;               // expected fill of a packed page
    double total_glyph_area = 0;      // sum of the inflated glyph rectangles
    int glyph_count = 0;              // glyphs the table must hold
    int correction = 0;               // pages added after underestimates
    uint32_t font_id = 0;             // random value shared by the pages of this build
    int meta_page_count = 0;          // t: pages that carry a metadata area
    int first_width = 0, first_height = 0;  // area of pages 0 .. t - 2
    int last_width = 0, last_height = 0;    // area of page t - 1
    int page_capacity = 0;            // most glyph pages whose runs fit the areas
    std::vector<std::vector<TPageMetaRun>> runs;  // per metadata page, in stored order

    int Area_Width(int page) const;   // area width of a page, 0 when it carries none
    int Area_Height(int page) const;  // area height of a page, 0 when it carries none
};

// One page of the finished layout.
struct TLayoutPage {
    int width = 0, height = 0;           // final page size in pixels
    std::vector<GlyphInfo *> glyphs;     // glyphs on this page, in layout order
};

// The pages of a font.
struct TGlyphLayout {
    std::vector<TLayoutPage> pages;  // in page index order
};

// Size (larger side first) of a metadata area for n bytes, sides at most about max_side.
void Area_Size_For(int64_t n, int max_side, int &width, int &height);

// Starts a metadata plan for the glyphs; always succeeds.
void Plan_PageMeta(TPageMetaPlan &plan, const std::string &name, const FontInfo &info, int page_side,
                   int max_area_side, const std::vector<GlyphInfo> &glyphs, double fill);
// Recomputes the areas and the page capacity (after the correction changed).
void Replan_PageMeta(TPageMetaPlan &plan);

// Packs the glyphs into pages of at most max_page_size (gap g between glyphs,
// margin d along the edges) and fills each glyph's rotated, page_x and page_y.
// Fails when a glyph is larger than a page or memory runs out.
bool Build_GlyphLayout(TGlyphLayout &layout, TPageMetaPlan &plan, bool write_metadata,
                       std::vector<GlyphInfo> &glyphs, int max_page_size, int gap, int margin,
                       bool power_of_two, double rotation_factor, double waste_factor);

// Spreads the glyph records of every page over the metadata areas as runs;
// fails when they do not all fit.
bool Prepare_PageMeta_Layout(const TGlyphLayout &layout, TPageMetaPlan &plan);
