#include "font/glyph_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

struct Box {
    int x, y, w, h;
};

Box PageBox(const GlyphInfo &g)
{
    return {g.page_x, g.page_y, g.rotated ? g.height : g.width, g.rotated ? g.width : g.height};
}

std::vector<GlyphInfo> RandomGlyphs(int n, unsigned seed, int max_side = 40)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> side(2, max_side);
    std::vector<GlyphInfo> glyphs;
    for (int i = 0; i < n; ++i) {
        GlyphInfo g = {};
        g.code = 0x21 + i;
        g.width = side(rng);
        g.height = side(rng);
        glyphs.push_back(g);
    }
    return glyphs;
}

FontInfo Settings(int spacing = 2, int padding = 2)
{
    FontInfo info = {};
    info.glyph_spacing = uint16_t(spacing);
    info.glyph_padding = uint16_t(padding);
    return info;
}

struct Layout {
    TPageMetaPlan plan;
    TGlyphLayout layout;
    bool ok = false;
};

Layout PackGlyphs(std::vector<GlyphInfo> &glyphs, int S, int d = 1, bool meta = true, bool pow2 = false,
           const std::string &name = "data/fonts/test.otf")
{
    Layout out;
    const FontInfo info = Settings();
    const int g = info.glyph_spacing + info.glyph_padding;
    Plan_PageMeta(out.plan, name, info, S + g - 2 * d, S / 2, glyphs, 0.85);
    out.ok = Build_GlyphLayout(out.layout, out.plan, meta, glyphs, S, g, d, pow2, 0.5, 0.1);
    return out;
}

// Checks what every layout must hold: glyphs inside their page with the
// margin, at least the gap apart, clear of the metadata area, each placed once.
void ExpectSoundLayout(const Layout &l, const std::vector<GlyphInfo> &glyphs, int S, int gap, int d, bool meta)
{
    ASSERT_TRUE(l.ok);
    size_t placed = 0;
    for (size_t p = 0; p < l.layout.pages.size(); ++p) {
        const TLayoutPage &page = l.layout.pages[p];
        EXPECT_LE(page.width, S);
        EXPECT_LE(page.height, S);
        const int aw = meta ? l.plan.Area_Width(int(p)) : 0, ah = meta ? l.plan.Area_Height(int(p)) : 0;
        EXPECT_GE(page.width, aw);
        EXPECT_GE(page.height, ah);
        for (size_t i = 0; i < page.glyphs.size(); ++i) {
            const Box a = PageBox(*page.glyphs[i]);
            EXPECT_GE(a.x, d);
            EXPECT_GE(a.y, d);
            EXPECT_LE(a.x + a.w + d, page.width) << "page " << p;
            EXPECT_LE(a.y + a.h + d, page.height) << "page " << p;
            // Clear of the metadata area, with at least one free column or row.
            EXPECT_TRUE(a.x > aw || a.y > ah) << "glyph in the metadata area of page " << p;
            for (size_t j = i + 1; j < page.glyphs.size(); ++j) {
                const Box b = PageBox(*page.glyphs[j]);
                const bool apart = a.x + a.w + gap <= b.x || b.x + b.w + gap <= a.x || a.y + a.h + gap <= b.y ||
                                   b.y + b.h + gap <= a.y;
                EXPECT_TRUE(apart) << "glyphs " << page.glyphs[i]->code << " and " << page.glyphs[j]->code;
            }
        }
        placed += page.glyphs.size();
    }
    EXPECT_EQ(placed, glyphs.size());
}

TEST(AreaSize, ExactSquaresAndWasteMinimisingWidths)
{
    int w, h;
    Area_Size_For(100, 1024, w, h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 10);
    // 4 x 3 wastes 2 bytes; every width up to 53 that wastes less replaces it, the last is 11 x 1.
    Area_Size_For(10, 1024, w, h);
    EXPECT_EQ(w, 11);
    EXPECT_EQ(h, 1);
    Area_Size_For(10, 8, w, h);  // widths stop below the largest side: 5 x 2
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 2);
    for (int n : {29, 500, 1001, 4097, 30000, 123457}) {
        Area_Size_For(n, 1024, w, h);
        EXPECT_GE(int64_t(w) * h, n) << n;
        EXPECT_GE(w, h);
        const int a = std::max(4, int(std::sqrt(double(n))));
        EXPECT_LE(int64_t(w) * h - n, int64_t(a) * ((n + a - 1) / a) - n) << n;
    }
    // Neither side may outgrow the largest side, for every size an area is
    // planned for (at most P * P - 28 bytes): the wider side becomes the
    // width, and a page is only a little wider than 2 P.
    for (int side : {32, 64, 1024}) {
        for (int64_t n = 1; n <= int64_t(side) * side - 28; n += side == 1024 ? 997 : 1) {
            Area_Size_For(n, side, w, h);
            ASSERT_TRUE(w <= side && h <= w && int64_t(w) * h >= n)
                << n << " bytes in " << side << ": " << w << " x " << h;
        }
    }
}

TEST(MetaPlan, SmallFontNeedsOneAreaThatHoldsItsTable)
{
    std::vector<GlyphInfo> glyphs = RandomGlyphs(300, 1);
    TPageMetaPlan plan;
    Plan_PageMeta(plan, "name", Settings(), 2050, 1024, glyphs, 0.85);
    EXPECT_EQ(plan.meta_page_count, 1);
    const int64_t bytes = int64_t(plan.last_width) * plan.last_height;
    EXPECT_GE(bytes, 28 + 39 + 4 + 8 + 33 * 300);
    EXPECT_LE(plan.last_width, 1024);
    EXPECT_GE(plan.page_capacity, 1);
    EXPECT_EQ(plan.Area_Width(1), 0);
}

TEST(MetaPlan, LargeTableSpreadsOverSeveralAreas)
{
    // 64-pixel pages have 32 x 32 areas: 1024 bytes hold about 29 records.
    std::vector<GlyphInfo> glyphs = RandomGlyphs(200, 2, 8);
    TPageMetaPlan plan;
    Plan_PageMeta(plan, "name", Settings(), 66, 32, glyphs, 0.85);
    EXPECT_GT(plan.meta_page_count, 1);
    EXPECT_LE(plan.first_width, 32);
    EXPECT_LE(plan.first_height, 32);
    const int64_t total = int64_t(plan.first_width) * plan.first_height * (plan.meta_page_count - 1) +
                          int64_t(plan.last_width) * plan.last_height;
    EXPECT_GE(total, 33 * 200 + 39 + 4);
}

TEST(GlyphLayout, RandomGlyphsPackSoundly)
{
    for (unsigned seed : {3u, 4u, 5u}) {
        std::vector<GlyphInfo> glyphs = RandomGlyphs(400, seed);
        Layout l = PackGlyphs(glyphs, 512);
        ExpectSoundLayout(l, glyphs, 512, 4, 1, true);
        EXPECT_TRUE(Prepare_PageMeta_Layout(l.layout, l.plan));
    }
}

TEST(GlyphLayout, WithoutMetadataAndWithWiderMargins)
{
    std::vector<GlyphInfo> glyphs = RandomGlyphs(150, 6);
    Layout l = PackGlyphs(glyphs, 256, 5, false);
    ExpectSoundLayout(l, glyphs, 256, 4, 5, false);
    EXPECT_GT(l.layout.pages.size(), 1u);
}

TEST(GlyphLayout, EarlyGlyphsKeepTheirOrientationLateOnesMayTurn)
{
    std::vector<GlyphInfo> glyphs = RandomGlyphs(300, 7);
    std::vector<GlyphInfo> original = glyphs;
    Layout l = PackGlyphs(glyphs, 512);
    ASSERT_TRUE(l.ok);
    // Sorted by inflated area, largest first, code point order among equals.
    std::vector<size_t> order(glyphs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return (original[a].width + 4) * (original[a].height + 4) > (original[b].width + 4) * (original[b].height + 4);
    });
    const size_t k = size_t(std::lround(0.5 * double(glyphs.size())));
    int turned_late = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const GlyphInfo &g = glyphs[order[i]];
        EXPECT_EQ(+g.width, +original[order[i]].width);  // inflation removed again
        const bool landscape_rule = g.height > g.width;
        if (i < k) {
            EXPECT_EQ(bool(+g.rotated), landscape_rule) << "early glyph " << +g.code << " turned against the rule";
        } else if (bool(g.rotated) != landscape_rule) {
            ++turned_late;
        }
    }
    std::printf("late glyphs placed against the landscape rule: %d\n", turned_late);
}

TEST(GlyphLayout, EqualAreasKeepCodePointOrder)
{
    std::vector<GlyphInfo> glyphs;
    for (int i = 0; i < 6; ++i) {
        GlyphInfo g = {};
        g.code = 100 + i;
        g.width = 10;
        g.height = 10;
        glyphs.push_back(g);
    }
    Layout l = PackGlyphs(glyphs, 128, 1, false);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.layout.pages.size(), 1u);
    const auto &list = l.layout.pages[0].glyphs;
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_LT(+list[i - 1]->code, +list[i]->code);
}

TEST(GlyphLayout, OnePageShrinksToTheSmallestListedSize)
{
    std::vector<GlyphInfo> glyphs = RandomGlyphs(20, 8, 12);
    Layout l = PackGlyphs(glyphs, 2048);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.layout.pages.size(), 1u);
    const TLayoutPage &page = l.layout.pages[0];
    EXPECT_LE(page.width, 256);
    EXPECT_LE(page.height, 256);
    ExpectSoundLayout(l, glyphs, 2048, 4, 1, true);
    // A smaller listed size must not have held the glyphs: the page is at
    // least half of the repacking size in one direction.
    EXPECT_GT(page.width * 2 + page.height * 2, 64);
}

TEST(GlyphLayout, PowerOfTwoPages)
{
    std::vector<GlyphInfo> glyphs = RandomGlyphs(250, 9);
    Layout l = PackGlyphs(glyphs, 512, 1, true, true);
    ASSERT_TRUE(l.ok);
    for (const TLayoutPage &page : l.layout.pages) {
        EXPECT_EQ(page.width & (page.width - 1), 0) << page.width;
        EXPECT_EQ(page.height & (page.height - 1), 0) << page.height;
    }
    ExpectSoundLayout(l, glyphs, 512, 4, 1, true);
}

TEST(GlyphLayout, GlyphLargerThanAPageFails)
{
    // B = S + g - 2d = 128 + 4 - 2 = 130; inflated width 131 cannot fit.
    std::vector<GlyphInfo> glyphs(1);
    glyphs[0].code = 'W';
    glyphs[0].width = 127;
    glyphs[0].height = 10;
    EXPECT_FALSE(PackGlyphs(glyphs, 128, 1, false).ok);
    std::vector<GlyphInfo> fits(1);
    fits[0].code = 'W';
    fits[0].width = 126;
    fits[0].height = 10;
    EXPECT_TRUE(PackGlyphs(fits, 128, 1, false).ok);
}

TEST(GlyphLayout, UnderestimatedPagesAreReplanned)
{
    // Tiny pages and many glyphs: the first plan cannot guess the page count.
    std::vector<GlyphInfo> glyphs = RandomGlyphs(120, 10, 20);
    testing::internal::CaptureStderr();
    Layout l = PackGlyphs(glyphs, 64);
    const std::string err = testing::internal::GetCapturedStderr();
    ExpectSoundLayout(l, glyphs, 64, 4, 1, true);
    EXPECT_LE(int(l.layout.pages.size()), l.plan.page_capacity);
    EXPECT_TRUE(Prepare_PageMeta_Layout(l.layout, l.plan));
    if (l.plan.correction > 0) {
        EXPECT_NE(err.find("warning: number of pages was undersetimated"), std::string::npos);
    }
}

TEST(PrepareMetaLayout, RunsCoverEveryGlyphInPageOrder)
{
    std::vector<GlyphInfo> glyphs = RandomGlyphs(120, 11, 20);
    Layout l = PackGlyphs(glyphs, 64);
    ASSERT_TRUE(l.ok);
    ASSERT_TRUE(Prepare_PageMeta_Layout(l.layout, l.plan));
    int page = 0, next = 0;
    for (int a = 0; a < l.plan.meta_page_count; ++a) {
        int64_t bytes = 28 + (a == 0 ? 39 + int64_t(l.plan.name.size()) : 0);
        for (const TPageMetaRun &run : l.plan.runs[size_t(a)]) {
            if (run.page != page) {
                EXPECT_EQ(next, int(l.layout.pages[size_t(page)].glyphs.size()));
                EXPECT_EQ(run.page, page + 1);
                page = run.page;
                next = 0;
            }
            EXPECT_EQ(run.first, next);
            next = run.end;
            bytes += 8 + 33 * (run.end - run.first);
        }
        EXPECT_LE(bytes, int64_t(l.plan.Area_Width(a)) * l.plan.Area_Height(a)) << "area " << a;
    }
    EXPECT_EQ(page + 1, int(l.layout.pages.size()));
    EXPECT_EQ(next, int(l.layout.pages.back().glyphs.size()));
}

TEST(PrepareMetaLayout, FailsWhenTheAreasAreTooSmall)
{
    std::vector<GlyphInfo> glyphs = RandomGlyphs(100, 12);
    Layout l = PackGlyphs(glyphs, 512);
    ASSERT_TRUE(l.ok);
    l.plan.last_width = 8;
    l.plan.last_height = 8;
    EXPECT_FALSE(Prepare_PageMeta_Layout(l.layout, l.plan));
}

} // namespace
