#include "font/glyph_renderer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "font/font_test_util.h"

using namespace fonttest;

namespace {

class CmuSerif : public testing::Test {
protected:
    void SetUp() override
    {
        renderer.Start(SourceFont("cmunrm.otf").c_str(), 48, 400, false, false);
        ASSERT_TRUE(renderer.Usable()) << SourceFont("cmunrm.otf");
    }
    CGlyphRenderer renderer;
};

TEST_F(CmuSerif, MetricsKeepGdiRelations)
{
    const TFontMetrics &m = renderer.Metrics();
    std::printf("ascent %d descent %d cell %d internal %d external %d space %d x %d line %d\n", m.ascent,
                -m.neg_descent, m.cell_height, m.internal_leading, m.external_leading, m.space_advance, m.x_extent,
                m.line_spacing);
    EXPECT_EQ(m.cell_height, m.ascent - m.neg_descent);
    EXPECT_EQ(m.internal_leading, m.cell_height - 48);
    EXPECT_EQ(m.line_spacing, m.cell_height + m.external_leading);
    EXPECT_EQ(m.x_extent, m.cell_height);
    EXPECT_GE(m.external_leading, 0);
    // CMU Serif: 1000 units per em, usWinAscent 935, usWinDescent 250, hhea
    // 935 / -250 with a line gap of 200. At 48 pixels GDI reports ascent
    // round(44.88) = 45, descent round(12.0) = 12, and an external leading of
    // the whole line gap, round(9.6) = 10, since the Windows and hhea heights agree.
    EXPECT_EQ(m.ascent, 45);
    EXPECT_EQ(m.neg_descent, -12);
    EXPECT_EQ(m.external_leading, 10);
    EXPECT_LE(m.neg_descent, 0);
    // A Latin text face at a 48-pixel em: ascent over most of the em, a cell
    // taller than the em, a space about a third of it.
    EXPECT_GT(m.ascent, 30);
    EXPECT_LT(m.ascent, 72);
    EXPECT_GT(m.cell_height, 48);
    EXPECT_GT(m.space_advance, 8);
    EXPECT_LT(m.space_advance, 24);
}

TEST_F(CmuSerif, GlyphBoxesSitOnTheBaseline)
{
    GlyphInfo x, g, cap_a;
    TInkBox box;
    ASSERT_TRUE(renderer.Rasterise('x', x, box));
    ASSERT_TRUE(renderer.Rasterise('g', g, box));
    ASSERT_TRUE(renderer.Rasterise('A', cap_a, box));
    EXPECT_EQ(+x.code, 'x');
    EXPECT_NEAR(+x.bearing_y, 0, 1);          // x stands on the baseline
    EXPECT_NEAR(+x.height, 21, 3);            // CMU x-height is 0.43 em
    EXPECT_LT(+g.bearing_y, -6);              // g descends below it
    EXPECT_GT(+g.bearing_y + +g.height, 15);
    EXPECT_NEAR(+cap_a.bearing_y, 0, 1);
    EXPECT_NEAR(+cap_a.height, 33, 3);        // cap height 0.68 em
    EXPECT_GT(+cap_a.advance, +cap_a.width - 2);
    EXPECT_GE(+cap_a.bearing_x, -2);
    EXPECT_EQ(box.w, +cap_a.width);
    EXPECT_EQ(box.h, +cap_a.height);
    EXPECT_EQ(+cap_a.rotated, 0);
    EXPECT_EQ(+cap_a.page_x, 0);
}

TEST_F(CmuSerif, SpaceHasAnAdvanceAndNoInk)
{
    GlyphInfo space;
    TInkBox box;
    ASSERT_TRUE(renderer.Rasterise(' ', space, box));
    EXPECT_EQ(+space.width, 0);
    EXPECT_EQ(+space.height, 0);
    EXPECT_EQ(+space.advance, renderer.Metrics().space_advance);
    EXPECT_EQ(box.w, 0);
}

TEST_F(CmuSerif, RefusesWhatUtf16CannotCarry)
{
    GlyphInfo info;
    TInkBox box;
    EXPECT_FALSE(renderer.Rasterise(0xD800, info, box));
    EXPECT_FALSE(renderer.Rasterise(0xDFFF, info, box));
    EXPECT_FALSE(renderer.Rasterise(0x110000, info, box));
    EXPECT_FALSE(renderer.Rasterise(-1, info, box));
    // Supplementary planes go through (an empty box when the font lacks the glyph).
    EXPECT_TRUE(renderer.Rasterise(0x1D400, info, box));
    EXPECT_TRUE(renderer.Rasterise(0x10FFFD, info, box));
    EXPECT_EQ(+info.width, 0);
}

TEST_F(CmuSerif, SurfaceGrowsUntilTheMarginHoldsAndStays)
{
    EXPECT_EQ(renderer.Surface_Width(), 64);
    GlyphInfo info;
    TInkBox box;
    ASSERT_TRUE(renderer.Rasterise('W', info, box));
    const int W = renderer.Surface_Width(), H = renderer.Surface_Height();
    EXPECT_GT(W, 64);
    EXPECT_GT(H, 64);
    EXPECT_EQ(W & (W - 1), 0);
    const int m = std::max(32, renderer.Metrics().cell_height);
    EXPECT_GT(box.x, m);
    EXPECT_LT(box.x + box.w - 1, W - m);
    EXPECT_GT(box.y, m);
    EXPECT_LT(box.y + box.h - 1, H - m);
    // The same glyph measures the same on the grown surface.
    GlyphInfo again;
    ASSERT_TRUE(renderer.Rasterise('W', again, box));
    EXPECT_EQ(std::memcmp(&info, &again, sizeof(info)), 0);
    EXPECT_EQ(renderer.Surface_Width(), W);
}

TEST_F(CmuSerif, RotatedCopyIsAQuarterTurnOfTheUprightOne)
{
    GlyphInfo info;
    TInkBox box;
    ASSERT_TRUE(renderer.Rasterise('R', info, box));
    const int w = info.width, h = info.height;
    std::vector<uint32_t> upright(size_t(w) * h, 0), turned(size_t(h) * w, 0);
    renderer.Copy(upright.data(), false, w, box);
    renderer.Copy(turned.data(), true, h, box);
    int ink = 0;
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            const uint32_t p = upright[size_t(i) * w + j];
            EXPECT_EQ(p >> 24, 0xFFu);
            EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
            ink += (p & 0xFF) != 0;
            // Glyph row i from the top goes to column i; glyph column j counts from the right as row w - 1 - j.
            EXPECT_EQ(turned[size_t(w - 1 - j) * h + i], p) << i << "," << j;
        }
    EXPECT_GT(ink, w * h / 8);
    // The box is tight: the top row and left column of the upright copy hold ink.
    bool top = false, left = false;
    for (int j = 0; j < w; ++j)
        top |= (upright[size_t(j)] & 0xFF) != 0;
    for (int i = 0; i < h; ++i)
        left |= (upright[size_t(i) * w] & 0xFF) != 0;
    EXPECT_TRUE(top);
    EXPECT_TRUE(left);
}

TEST(GlyphRenderer, TwoFaceFileIsRefused)
{
    TempDir dir;
    const std::string ttc = dir.File("two.ttc");
    ASSERT_TRUE(WriteTwoFaceCollection(SourceFont("cmunrm.otf"), ttc));
    std::vector<std::string> families;
    EXPECT_EQ(CGlyphRenderer::Install(ttc.c_str(), families), 2);
    EXPECT_EQ(families.size(), 1u);
    CGlyphRenderer renderer;
    renderer.Start(ttc.c_str(), 48, 400, false, false);
    EXPECT_FALSE(renderer.Usable());
    EXPECT_EQ(renderer.StartStatus(), RendererStart::kNotOneFace);
}

TEST(GlyphRenderer, InstallReportsTheFamily)
{
    std::vector<std::string> families;
    EXPECT_EQ(CGlyphRenderer::Install(SourceFont("cmunsl.otf").c_str(), families), 1);
    ASSERT_EQ(families.size(), 1u);
    EXPECT_NE(families[0].find("CMU"), std::string::npos);
    EXPECT_EQ(CGlyphRenderer::Install("/nonexistent/file.otf", families), -1);
    EXPECT_TRUE(families.empty());
}

TEST(GlyphRenderer, NameWithoutAFileIsLookedUpAsAFamily)
{
    CGlyphRenderer renderer;
    renderer.Start("CMU Serif", 48, 400, false, false);
    ASSERT_TRUE(renderer.Usable());
    EXPECT_EQ(renderer.StartStatus(), RendererStart::kOk);
    EXPECT_EQ(renderer.Family(), "CMU Serif");
    EXPECT_FALSE(renderer.Substituted());
    renderer.Stop();
    EXPECT_FALSE(renderer.Usable());
    // fontconfig always finds something; the renderer says that it is something else.
    renderer.Start("cmu serif", 48, 400, false, false);
    EXPECT_FALSE(renderer.Substituted());
    renderer.Start("No Such Family Nerelle", 48, 400, false, false);
    ASSERT_TRUE(renderer.Usable());
    EXPECT_TRUE(renderer.Substituted());
    EXPECT_NE(renderer.Family(), "No Such Family Nerelle");
    EXPECT_FALSE(renderer.File().empty());
}

TEST(GlyphRenderer, PathsAreToldFromFamilyNames)
{
    const struct {
        const char *name;
        bool path;
    } cases[] = {
        {"data/fonts/cmunrm.otf", true}, {"cmunrm.otf", true},  {"A.TTF", true},         {"x.ttc", true},
        {"x.woff2", true},               {"/etc/passwd", true}, {"./CMU Serif", true},   {"CMU Serif", false},
        {"DejaVu Sans:bold", false},     {"Foo 2.0", false},    {"cmunrm.otf.bak", false}, {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CGlyphRenderer::IsFontPath(c.name), c.path) << c.name;
    CGlyphRenderer renderer;
    for (const char *name : {"", "/nonexistent/cmunrm.otf", "missing.otf", "/etc"}) {
        renderer.Start(name, 48, 400, false, false);
        EXPECT_FALSE(renderer.Usable());
        EXPECT_EQ(renderer.StartStatus(), RendererStart::kCannotOpen) << name;
    }
}

TEST(GlyphRenderer, BoldAndItalicChangeTheInk)
{
    CGlyphRenderer plain, bold;
    plain.Start(SourceFont("cmunrm.otf").c_str(), 48, 400, false, false);
    bold.Start(SourceFont("cmunrm.otf").c_str(), 48, 700, true, false);
    ASSERT_TRUE(plain.Usable());
    ASSERT_TRUE(bold.Usable());
    GlyphInfo a, b;
    TInkBox box;
    ASSERT_TRUE(plain.Rasterise('l', a, box));
    ASSERT_TRUE(bold.Rasterise('l', b, box));
    EXPECT_GT(+b.width, +a.width);
}

} // namespace
