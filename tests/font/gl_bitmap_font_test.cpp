// The GL bitmap font on the headless context: the page texture and glyph
// table that Load makes, and the geometry of CountQuads, Generate, Append and
// Measure over a hand-made font whose every number is known.
#include "font/gl_bitmap_font.h"
#include "font/page_cache_check.h"
#include "image/tga.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "font/font_test_util.h"
#include "font/gl_font_test_util.h"
#include "support/gl_test.h"

using namespace fonttest;

namespace {

constexpr float kTexW = 512, kTexH = 256;  // the 300 x 200 page rounded up
constexpr uint32_t kRestart = 0xFFFFFFFFu;

// A quad as Generate writes it: four positions and four texture points.
struct Quad {
    std::array<float, 8> pos;  // x, y of vertices 0..3
    std::array<float, 8> tex;  // s, t of vertices 0..3, in texels
};

class GLFontTest : public testsupport::GLTest {
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        pattern = dir.File("hand%02u.tga");
        ASSERT_TRUE(HandPage::Standard().Write(pattern));
        ASSERT_TRUE(font.Load(pattern.c_str(), GL_R8));
    }

    // Generates into arrays of ample room; fills quads and indices.
    bool Gen(const std::string& text, float scale, float x, float y, size_t vertex_room = 256, size_t index_room = 512)
    {
        pos.assign(2 * 256, -1.0f);
        tex.assign(3 * 256, -1.0f);
        indices.assign(512, 0xDEADu);
        vertices = vertex_room;
        index_count = index_room;
        const bool ok = font.Generate(text.data(), text.data() + text.size(), pos.data(), 0, tex.data(), 0, vertices,
                                      indices.data(), index_count, scale, x, y);
        indices.resize(index_count);
        return ok;
    }
    Quad QuadAt(size_t q) const
    {
        Quad out;
        for (size_t v = 0; v < 4; ++v) {
            out.pos[2 * v] = pos[2 * (4 * q + v)];
            out.pos[2 * v + 1] = pos[2 * (4 * q + v) + 1];
            out.tex[2 * v] = tex[3 * (4 * q + v)] * kTexW;
            out.tex[2 * v + 1] = tex[3 * (4 * q + v) + 1] * kTexH;
        }
        return out;
    }

    TempDir dir;
    std::string pattern;
    CGLBitmapFont2 font;
    std::vector<float> pos, tex;
    std::vector<uint32_t> indices;
    size_t vertices = 0, index_count = 0;
};

void ExpectQuad(const Quad& got, const Quad& want, const char* what)
{
    for (int i = 0; i < 8; ++i) {
        EXPECT_FLOAT_EQ(got.pos[size_t(i)], want.pos[size_t(i)]) << what << " position " << i;
        EXPECT_NEAR(got.tex[size_t(i)], want.tex[size_t(i)], 1e-3) << what << " texture " << i;
    }
}

// Every triangle of a strip either repeats a corner (degenerate) or lies
// within one quad; returns the number of drawn triangles per quad.
std::vector<int> StripTriangles(const std::vector<uint32_t>& strip, size_t quads)
{
    std::vector<int> per_quad(quads, 0);
    std::vector<uint32_t> run;
    auto flush = [&] {
        for (size_t i = 2; i < run.size(); ++i) {
            const uint32_t a = run[i - 2], b = run[i - 1], c = run[i];
            if (a == b || b == c || a == c)
                continue;
            EXPECT_TRUE(a / 4 == b / 4 && b / 4 == c / 4) << "triangle " << a << ' ' << b << ' ' << c;
            if (a / 4 < quads)
                ++per_quad[a / 4];
        }
        run.clear();
    };
    for (uint32_t i : strip) {
        if (i == kRestart)
            flush();
        else
            run.push_back(i);
    }
    flush();
    return per_quad;
}

std::vector<uint8_t> TextureRed(const TTexture& texture, int level, int& w, int& h)
{
    glBindTexture(GL_TEXTURE_2D, texture.name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    std::vector<uint8_t> red(size_t(w) * size_t(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RED, GL_UNSIGNED_BYTE, red.data());
    return red;
}

TEST_F(GLFontTest, LoadMakesAPowerOfTwoTextureWhoseOnlyInkIsTheGlyphs)
{
    const TTexture& t = font.Texture();
    ASSERT_NE(t.name.Get(), 0u);
    EXPECT_EQ(t.width, 512);
    EXPECT_EQ(t.height, 256);
    EXPECT_EQ(font.Info().line_spacing, 50);
    EXPECT_EQ(font.replacement, 32);

    int w = 0, h = 0;
    std::vector<uint8_t> red = TextureRed(t, 0, w, h);
    ASSERT_EQ(w, 512);
    auto at = [&](int x, int y) { return int(red[size_t(y) * size_t(w) + size_t(x)]); };
    EXPECT_EQ(at(44, 66), 255);  // inside 'a'
    EXPECT_EQ(at(0, 0), 0);      // the erased metadata area is no ink
    EXPECT_EQ(at(31, 7), 0);
    EXPECT_EQ(at(299, 199), 0);  // page corner, blank
    EXPECT_EQ(at(300, 10), 0);   // right of the page: the fill
    EXPECT_EQ(at(10, 200), 0);   // below the page
    EXPECT_EQ(at(511, 255), 0);
    int ink = 0;
    for (uint8_t v : red)
        ink += v != 0;
    EXPECT_EQ(ink, 8 * 12 + 10 * 6 + 10 * 10);  // the three glyph rectangles, nothing else

    // The smallest mipmap averages the whole texture: a few glyphs on an
    // empty page are almost no ink.
    std::vector<uint8_t> top = TextureRed(t, 9, w, h);
    ASSERT_EQ(w * h, 1);
    EXPECT_LT(top[0], 4);
}

TEST_F(GLFontTest, GlyphTableHoldsPaddedBoxesAndPageIndices)
{
    struct Case {
        int32_t code;
        GlyphInfo want;  // code field: page index
    };
    const Case cases[] = {
        {'a', {0, -1, -4, 20, 0, 38, 58, 12, 16}},
        {'b', {0, -2, -2, 15, 1, 78, 58, 10, 14}},
        {'z', {0, 0, 0, 30, 0, 0, 0, 0, 0}},  // no box: not padded
        {0x3A9, {0, 0, -1, 12, 0, 118, 58, 14, 14}},
    };
    for (const Case& c : cases) {
        const GlyphInfo* g = font.Lookup(c.code);
        ASSERT_NE(g, nullptr) << c.code;
        EXPECT_EQ(std::memcmp(g, &c.want, sizeof(GlyphInfo)), 0) << c.code;
    }
    for (int32_t missing : {int32_t('c'), 0, 127, 128, 0x3A8, -1, 0x110000})
        EXPECT_EQ(font.Lookup(missing), nullptr) << missing;
}

TEST_F(GLFontTest, LoadFailuresLeaveNoTextureAndNoText)
{
    struct Case {
        const char* name;
        void (*change)(HandPage&);
    };
    const Case cases[] = {
        {"two pages", [](HandPage& p) { p.info.page_count = 2; }},
        {"no pages", [](HandPage& p) { p.info.page_count = 0; }},
        {"page larger than the header says", [](HandPage& p) { p.info.page_width = 100; }},
        {"texture beyond the context's limit", [](HandPage& p) { p.info.page_height = 60000; }},
    };
    for (const Case& c : cases) {
        HandPage page = HandPage::Standard();
        c.change(page);
        const std::string bad = dir.File(std::string("bad_") + std::to_string(&c - cases) + "_%02u.tga");
        ASSERT_TRUE(page.Write(bad)) << c.name;
        EXPECT_FALSE(font.Load(bad.c_str(), GL_R8)) << c.name;
        EXPECT_EQ(font.Texture().name.Get(), 0u) << c.name;
        EXPECT_EQ(font.Lookup('a'), nullptr) << c.name;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << c.name;
        ASSERT_TRUE(font.Load(pattern.c_str(), GL_R8));  // and a good load works again
    }
    EXPECT_FALSE(font.Load(dir.File("none%02u.tga").c_str(), GL_R8));

    // An unloaded font has nothing to draw with: text fails, empty text succeeds.
    std::vector<uint32_t> idx;
    std::vector<float> vtx;
    EXPECT_FALSE(font.Append(idx, vtx, "a", 1, 0, 0));
    EXPECT_TRUE(font.Append(idx, vtx, "", 1, 0, 0));
    EXPECT_TRUE(font.Append(idx, vtx, "   ", 1, 0, 0));
    EXPECT_TRUE(idx.empty() && vtx.empty());
    EXPECT_FALSE(Gen("a", 1, 0, 0));
    EXPECT_EQ(vertices, 0u);
    EXPECT_EQ(index_count, 0u);
}

TEST_F(GLFontTest, GenerateLaysOutTabsLineFeedsAndRotatedGlyphs)
{
    ASSERT_TRUE(Gen("a\tb\n\xCE\xA9", 2, 100, 200));
    ASSERT_EQ(vertices, 12u);
    ASSERT_EQ(index_count, 18u);
    // 'a' at the pen; the tab moves the pen 4 spaces on from 'a's advance
    // (100 + 40 + 80); the line feed returns to x = 100, 100 lower.
    ExpectQuad(QuadAt(0), {{98, 192, 122, 192, 122, 224, 98, 224}, {38, 74, 50, 74, 50, 58, 38, 58}}, "a");
    ExpectQuad(QuadAt(1), {{216, 196, 236, 196, 236, 224, 216, 224}, {92, 68, 92, 58, 78, 58, 78, 68}}, "b");
    ExpectQuad(QuadAt(2), {{100, 98, 128, 98, 128, 126, 100, 126}, {118, 72, 132, 72, 132, 58, 118, 58}}, "omega");
    for (size_t v = 0; v < 12; ++v)
        EXPECT_EQ(tex[3 * v + 2], 0.0f);  // layer: page 0
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7, 8, 9, 10, 8, 10, 11}));
}

TEST_F(GLFontTest, CodePointClassesAdvanceWithoutQuads)
{
    // The second 'a' starts one space (10) after the first one's advance (20),
    // less its padded bearing: x0 = 29; a glyph without a box does not advance.
    struct Case {
        const char* between;
        float x0;
    };
    const Case cases[] = {
        {" ", 29},
        {"\xC2\xA0", 29},
        {"\xE2\x80\x8B", 29},
        {"\xEF\xBB\xBF", 29},
        {"\x01", 29},
        {"\x1E", 29},
        {"\x7F", 29},
        {"\xE2\x80\xA8", 29},
        {"\xE2\x81\xA5", 29},
        {"\xEF\xBF\xB0", 29},
        {"c", 29},
        {"\x1F", 29},
        {"\xE4\xB8\x80", 29},
        {"z", 19},
        {"\t", 59},
        {"\xC2\xA0\xC2\xA0", 39},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("a") + c.between + "a";
        EXPECT_EQ(font.CountQuads(text.c_str()), 2u) << text;
        ASSERT_TRUE(Gen(text, 1, 0, 0)) << text;
        ASSERT_EQ(vertices, 8u) << text;
        EXPECT_FLOAT_EQ(QuadAt(1).pos[0], c.x0) << text;
        EXPECT_FLOAT_EQ(font.Measure(text.c_str(), 1).widest, c.x0 + 1 + 20) << text;
    }
    EXPECT_EQ(font.CountQuads("a b\tz\n\xCE\xA9 c"), 3u);
    EXPECT_EQ(font.CountQuads(""), 0u);
    EXPECT_EQ(font.CountQuads(nullptr), 0u);
}

TEST_F(GLFontTest, AReplacementOtherThanSpaceDrawsItsGlyph)
{
    font.replacement = 'a';
    EXPECT_EQ(font.CountQuads("cz"), 2u);  // an upper bound: 'z' draws nothing
    ASSERT_TRUE(Gen("c\xCE\xA9", 1, 0, 0));
    ASSERT_EQ(vertices, 8u);
    EXPECT_FLOAT_EQ(QuadAt(0).tex[0], 38);  // 'a' stands in for 'c'
    EXPECT_FLOAT_EQ(QuadAt(1).pos[0], 20);  // with 'a's advance
    font.replacement = 'q';                 // missing too: nothing, no advance
    ASSERT_TRUE(Gen("c\xCE\xA9", 1, 0, 0));
    ASSERT_EQ(vertices, 4u);
    EXPECT_FLOAT_EQ(QuadAt(0).pos[0], 0);
    std::vector<uint32_t> idx;
    std::vector<float> vtx;
    ASSERT_TRUE(font.Append(idx, vtx, "cca", 1, 0, 0));  // counted 3, wrote 1: arrays trimmed
    EXPECT_EQ(vtx.size(), 20u);
    EXPECT_EQ(idx, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
}

TEST_F(GLFontTest, StripsJoinByRestartOrDegenerateTrianglesWithParity)
{
    font.primitive_mode = GL_TRIANGLE_STRIP;
    font.restart_index = kRestart;
    ASSERT_TRUE(Gen("a", 1, 0, 0, 4, 4));  // one glyph fits four indices
    EXPECT_EQ(indices, (std::vector<uint32_t>{3, 0, 2, 1}));

    ASSERT_TRUE(Gen("ab", 1, 0, 0));
    EXPECT_EQ(indices, (std::vector<uint32_t>{3, 0, 2, 1, kRestart, 7, 4, 6, 5}));

    font.strip_joining = 1;
    ASSERT_TRUE(Gen("aba\nab", 1, 0, 0));
    EXPECT_EQ(indices, (std::vector<uint32_t>{3,  0, 2, 1,  1,  7,  7,  6,  4,  5,  5,  11, 11, 8,
                                              10, 9, 9, 15, 15, 12, 14, 13, 13, 19, 19, 18, 16, 17}));
    EXPECT_EQ(StripTriangles(indices, 5), (std::vector<int>{2, 2, 2, 2, 2}));
    // Every second quad of a line is mirrored: y0 and y1 exchange, and so do
    // the page rows (columns for the rotated 'b'); the picture stays the same.
    const Quad plain_b = [&] {
        Gen("b", 1, 20, 0);
        return QuadAt(0);
    }();
    Gen("aba\nab", 1, 0, 0);
    const Quad b = QuadAt(1);
    for (int v = 0; v < 4; ++v) {
        const int w = v ^ 3;  // mirrored vertex v takes the place of vertex 3 - v in y
        EXPECT_FLOAT_EQ(b.pos[size_t(2 * v)], plain_b.pos[size_t(2 * v)]);
        EXPECT_FLOAT_EQ(b.pos[size_t(2 * v + 1)], plain_b.pos[size_t(2 * w + 1)]);
    }
    EXPECT_FLOAT_EQ(b.tex[0], 78);  // vertex 0 takes cL instead of cR
    const Quad second_line_b = QuadAt(4);
    EXPECT_FLOAT_EQ(second_line_b.pos[1], plain_b.pos[7] - 50);  // mirrored again: parity restarts at the line feed
    const Quad third = QuadAt(2);
    EXPECT_FLOAT_EQ(third.pos[1], -4);  // not mirrored
}

TEST_F(GLFontTest, RoomLimitsTheQuadsAndReportsWhatWasWritten)
{
    struct Case {
        GLenum mode;
        uint8_t joining;
        size_t vertex_room, index_room;
        bool ok;
        size_t vertices, indices;
    };
    const Case cases[] = {
        {GL_TRIANGLES, 0, 12, 18, true, 12, 18},      {GL_TRIANGLES, 0, 12, 17, false, 8, 12},
        {GL_TRIANGLES, 0, 11, 18, false, 8, 12},      {GL_TRIANGLES, 0, 0, 0, false, 0, 0},
        {GL_TRIANGLE_STRIP, 0, 12, 14, true, 12, 14}, {GL_TRIANGLE_STRIP, 0, 12, 13, false, 8, 9},
        {GL_TRIANGLE_STRIP, 0, 12, 3, false, 0, 0},   {GL_TRIANGLE_STRIP, 1, 12, 16, true, 12, 16},
        {GL_TRIANGLE_STRIP, 1, 12, 15, false, 8, 10},
    };
    for (const Case& c : cases) {
        font.primitive_mode = c.mode;
        font.strip_joining = c.joining;
        EXPECT_EQ(Gen("aab", 1, 0, 0, c.vertex_room, c.index_room), c.ok) << c.mode << c.index_room;
        EXPECT_EQ(vertices, c.vertices) << c.mode << ' ' << c.index_room;
        EXPECT_EQ(index_count, c.indices) << c.mode << ' ' << c.index_room;
    }
}

TEST_F(GLFontTest, InvalidUtf8StopsGenerateAndCountsAsASpaceInMeasure)
{
    const char* bad[] = {
        "a\xFF"
        "a",
        "a\xC3",
        "a\xED\xA0\x80"
        "a",
        "a\xF4\x90\x80\x80"
        "a"};
    for (const char* text : bad) {
        EXPECT_EQ(font.CountQuads(text), 0u) << text;
        EXPECT_FALSE(Gen(text, 1, 0, 0)) << text;
        EXPECT_EQ(vertices, 4u) << text;  // the first 'a' was written
        EXPECT_EQ(index_count, 6u) << text;
        std::vector<uint32_t> idx = {5};
        std::vector<float> vtx(5, 1.0f);
        EXPECT_TRUE(font.Append(idx, vtx, text, 1, 0, 0)) << text;  // nothing to add
        EXPECT_EQ(idx.size(), 1u);
        EXPECT_EQ(vtx.size(), 5u);
    }
    // "a", the bad byte as one space, "a".
    EXPECT_FLOAT_EQ(font.Measure("a\xFF"
                                 "a",
                                 1)
                        .widest,
                    50);
}

TEST_F(GLFontTest, AppendNumbersNewIndicesFromTheArraysStart)
{
    struct Case {
        GLenum mode;
        uint8_t joining;
        std::vector<uint32_t> want;
    };
    const Case cases[] = {
        {GL_TRIANGLES, 0, {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7, 8, 9, 10, 8, 10, 11}},
        {GL_TRIANGLE_STRIP, 0, {3, 0, 2, 1, kRestart, 7, 4, 6, 5, kRestart, 11, 8, 10, 9}},
        // The join repeats the last index and the new text's first strip index.
        {GL_TRIANGLE_STRIP, 1, {3, 0, 2, 1, 1, 7, 7, 6, 4, 5, 5, 11, 11, 8, 10, 9}},
    };
    for (const Case& c : cases) {
        font.primitive_mode = c.mode;
        font.strip_joining = c.joining;
        font.restart_index = kRestart;
        std::vector<uint32_t> idx;
        std::vector<float> vtx;
        ASSERT_TRUE(font.Append(idx, vtx, "ab", 1, 0, 0));
        ASSERT_TRUE(font.Append(idx, vtx, "\xCE\xA9", 1, 300, 0));
        EXPECT_EQ(idx, c.want) << c.mode << int(c.joining);
        ASSERT_EQ(vtx.size(), 12u * 5u);
        EXPECT_FLOAT_EQ(vtx[8 * 5 + 3], 300);  // the second text's first x (bearing 0)
        if (c.mode == GL_TRIANGLE_STRIP) {
            EXPECT_EQ(StripTriangles(idx, 3), (std::vector<int>{2, 2, 2})) << int(c.joining);
        }
    }
}

TEST_F(GLFontTest, AppendLeavesExtraFloatsAndRefusesMisalignedArrays)
{
    font.extra_floats = 2;
    std::vector<uint32_t> idx;
    std::vector<float> vtx(7, 9.0f);  // one vertex already there
    ASSERT_TRUE(font.Append(idx, vtx, "a", 2, 100, 200));
    ASSERT_EQ(vtx.size(), 5u * 7u);
    EXPECT_EQ(idx, (std::vector<uint32_t>{1, 2, 3, 1, 3, 4}));
    const float* v0 = &vtx[7];
    EXPECT_EQ(v0[0], 0.0f);  // extra floats: left as grown
    EXPECT_EQ(v0[1], 0.0f);
    EXPECT_FLOAT_EQ(v0[2] * kTexW, 38);  // s
    EXPECT_FLOAT_EQ(v0[3] * kTexH, 74);  // t
    EXPECT_FLOAT_EQ(v0[4], 0);           // layer
    EXPECT_FLOAT_EQ(v0[5], 98);          // x
    EXPECT_FLOAT_EQ(v0[6], 192);         // y

    std::vector<float> odd(6, 0.0f);
    std::vector<uint32_t> none;
    EXPECT_FALSE(font.Append(none, odd, "a", 1, 0, 0));
    EXPECT_EQ(odd.size(), 6u);
    EXPECT_TRUE(none.empty());
}

TEST_F(GLFontTest, MeasureReportsLastLineAndWidestLine)
{
    struct Case {
        const char* text;
        float scale;
        TextExtent want;
    };
    const Case cases[] = {
        {"a\tb\n\xCE\xA9", 2, {24, -100, 150}}, {"ab", 1, {35, 0, 35}}, {"a\nab\n", 1, {0, -100, 35}},
        {"\n\n\xCE\xA9 ", 0.5f, {11, -50, 11}}, {"zz", 1, {0, 0, 0}},   {"", 1, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        const TextExtent e = font.Measure(c.text, c.scale);
        EXPECT_FLOAT_EQ(e.last_width, c.want.last_width) << c.text;
        EXPECT_FLOAT_EQ(e.last_y, c.want.last_y) << c.text;
        EXPECT_FLOAT_EQ(e.widest, c.want.widest) << c.text;
    }
}

// Without GL: why a page cache does not read back.
TEST(PageCacheDamage, NamesTheMissingOrInvalidPage)
{
    TempDir dir;
    const HandFont a = MakeHandFont(2, 3, 2, 32, 8);
    HandFont b = a;
    b.font_id ^= 1;
    const std::vector<BitmapPtr> pages_a = a.Pages(), pages_b = b.Pages();
    ASSERT_EQ(pages_a.size(), 2u);
    struct Case {
        const char* name;
        const TBitmap* page0;
        const TBitmap* page1;
        std::string want;  // after the directory
    };
    const Case cases[] = {
        {"whole", pages_a[0].get(), pages_a[1].get(), ""},
        {"page 0 missing", nullptr, pages_a[1].get(), "page file '%/p00.tga' is missing or unreadable"},
        {"later page missing", pages_a[0].get(), nullptr, "page file '%/p01.tga' is missing or unreadable"},
        {"pages of two builds", pages_a[0].get(), pages_b[1].get(),
         "page file '%/p01.tga' does not hold a valid glyph table of the set that starts with '%/p00.tga'"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir.File("p00.tga"));
        std::filesystem::remove(dir.File("p01.tga"));
        if (c.page0) {
            ASSERT_TRUE(WriteTGA(dir.File("p00.tga").c_str(), c.page0));
        }
        if (c.page1) {
            ASSERT_TRUE(WriteTGA(dir.File("p01.tga").c_str(), c.page1));
        }
        std::string want = c.want;
        for (size_t at; (at = want.find('%')) != std::string::npos;)
            want.replace(at, 1, dir.Path());
        EXPECT_EQ(DescribePageCacheDamage(dir.File("p%02u.tga").c_str()), want) << c.name;
    }
    EXPECT_EQ(DescribePageCacheDamage("no conversion.tga"), "the page file pattern is not usable");
    EXPECT_EQ(DescribePageCacheDamage(nullptr), "the page file pattern is not usable");
}

}  // namespace
