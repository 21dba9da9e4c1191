#include "font/bitmap_font.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "font/font_cache.h"
#include "font/glyph_renderer.h"
#include "font/unicode_blocks.h"
#include "font_test_util.h"

using namespace fonttest;

namespace {

struct BuildOutput {
    bool ok;
    std::string out, err;
};

BuildOutput RunBuild(CBitmapFont &font, CBitmapFont::CBitmapCallback &consumer, const std::string &source)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool ok = font.Build(consumer, source.c_str());
    return {ok, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

TEST(FontBuild, BasicLatinBuildsWritesAndReadsBack)
{
    TempDir dir;
    const std::string pattern = dir.File("rm%02u.tga");
    CBitmapFont font;
    CBitmapFont::CBitmapWriter writer(pattern.c_str());
    const std::string source = SourceFont("cmunrm.otf");
    BuildOutput r = RunBuild(font, writer, source);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "building a list of codepoints ...\n"
                     "initializing glyph renderer ...\n"
                     "getting glyph metrics ...\n"
                     "preparing metadata layout ...\n"
                     "building glyph layout ...\n"
                     "compiling metadata layout ...\n"
                     "rendering ...\n"
                     "done. produced 94 glyphs (excluding 0 discarded), 1 page\n");
    EXPECT_EQ(font.info.height, 48);
    EXPECT_EQ(font.info.page_count, 1);
    EXPECT_EQ(font.name, source);
    EXPECT_EQ(font.info.name_length, source.size());
    ASSERT_EQ(font.pages.size(), 1u);
    EXPECT_EQ(font.pages[0].width, font.info.page_width);

    CollectingConsumer loaded;
    CBitmapFont back;
    ASSERT_TRUE(CBitmapFont::LoadPages(back, loaded, pattern.c_str()));
    EXPECT_EQ(std::memcmp(&back.info, &font.info, sizeof(FontInfo)), 0);
    EXPECT_EQ(back.name, font.name);
    ASSERT_EQ(back.glyphs.size(), 94u);
    // The build keeps code point order, the pages keep layout order: compare page by page.
    ASSERT_EQ(back.pages.size(), 1u);
    ASSERT_EQ(back.pages[0].glyphs.size(), font.pages[0].glyphs.size());
    for (size_t i = 0; i < back.pages[0].glyphs.size(); ++i)
        EXPECT_EQ(std::memcmp(back.pages[0].glyphs[i], font.pages[0].glyphs[i], sizeof(GlyphInfo)), 0) << i;
    for (size_t i = 1; i < font.glyphs.size(); ++i)
        EXPECT_LT(+font.glyphs[i - 1].code, +font.glyphs[i].code);

    // The pixels in the page are the rasteriser's, turned where the layout says.
    CGlyphRenderer renderer;
    renderer.Start(source.c_str(), 48, 400, false, false);
    ASSERT_TRUE(renderer.Usable());
    const TBitmap &page = *loaded.pages[0];
    int rotated = 0;
    for (const GlyphInfo *g : back.pages[0].glyphs) {
        GlyphInfo info;
        TInkBox box;
        ASSERT_TRUE(renderer.Rasterise(g->code, info, box));
        const int pw = g->rotated ? g->height : g->width, ph = g->rotated ? g->width : g->height;
        std::vector<uint32_t> expect(size_t(pw) * ph);
        renderer.Copy(expect.data(), g->rotated, pw, box);
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x)
                ASSERT_EQ(page.pixels[size_t(g->page_y + y) * page.width + g->page_x + x] & 0xFF,
                          expect[size_t(y) * pw + x] & 0xFF)
                    << "glyph " << g->code << " at " << x << "," << y;
        rotated += g->rotated;
    }
    std::printf("%d of 94 glyphs stored turned\n", rotated);
}

TEST(FontBuild, SmallPagesGiveSeveralPagesAndStillVerify)
{
    TempDir dir;
    const std::string pattern = dir.File("sl%02u.tga");
    CBitmapFont font;
    font.info.max_page_size = 128;
    font.AddBlock("Basic Latin");
    CBitmapFont::CBitmapWriter writer(pattern.c_str());
    BuildOutput r = RunBuild(font, writer, SourceFont("cmunsl.otf"));
    ASSERT_TRUE(r.ok) << r.err;
    ASSERT_GT(font.info.page_count, 1);
    char summary[128];
    std::snprintf(summary, sizeof(summary), "done. produced 94 glyphs (excluding 0 discarded), %d pages\n",
                  font.info.page_count);
    EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
    for (const PageEntry &page : font.pages) {
        EXPECT_LE(page.width, 128);
        EXPECT_LE(page.height, 128);
    }
    CollectingConsumer loaded;
    CBitmapFont back;
    ASSERT_TRUE(CBitmapFont::LoadPages(back, loaded, pattern.c_str()));
    EXPECT_EQ(back.pages.size(), font.pages.size());
    EXPECT_EQ(back.glyphs.size(), 94u);
}

TEST(FontBuild, TinyPagesSpreadTheTableOverSeveralMetadataPages)
{
    // 64-pixel pages allow 32 x 32 metadata areas: 94 records need several.
    CBitmapFont font;
    font.info.max_page_size = 64;
    CollectingConsumer pages;
    BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
    ASSERT_TRUE(r.ok) << r.err;
    ASSERT_EQ(pages.pages.size(), font.info.page_count);
    unsigned meta_pages = 0;
    for (const BitmapPtr &page : pages.pages) {
        CPageMetaStream stream(page->pixels, page->width, page->height);
        if (stream.Open_Read()) {
            EXPECT_EQ(stream.Header().page_index, meta_pages);
            ++meta_pages;
        }
    }
    EXPECT_GT(meta_pages, 1u);
    MemoryProducer producer;
    for (BitmapPtr &page : pages.pages)
        producer.pages.push_back(CopyBitmap(*page));
    CollectingConsumer loaded;
    CBitmapFont back;
    ASSERT_TRUE(CBitmapFont::ReadPages(back, producer, loaded));
    EXPECT_EQ(back.glyphs.size(), 94u);
    EXPECT_EQ(back.pages.size(), pages.pages.size());
}

TEST(FontBuild, FontWithoutGlyphsStillMakesAReadablePage)
{
    CBitmapFont font;
    font.AddBlock("Private Use Area");
    CollectingConsumer pages;
    BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_NE(r.out.find("done. produced 0 glyphs (excluding 0 discarded), 1 page\n"), std::string::npos);
    MemoryProducer producer;
    producer.pages.push_back(CopyBitmap(*pages.pages.at(0)));
    CollectingConsumer loaded;
    CBitmapFont back;
    ASSERT_TRUE(CBitmapFont::ReadPages(back, producer, loaded));
    EXPECT_TRUE(back.glyphs.empty());
    EXPECT_EQ(back.pages.size(), 1u);
}

TEST(FontBuild, MissingGlyphsAreDiscardedAndCounted)
{
    CBitmapFont font;
    font.AddBlock("Mathematical Operators");
    CollectingConsumer pages;
    BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
    ASSERT_TRUE(r.ok) << r.err;
    int kept = -1, discarded = -1, count = -1;
    const size_t at = r.out.find("done. produced ");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "done. produced %d glyphs (excluding %d discarded), %d page", &kept,
                          &discarded, &count),
              3);
    EXPECT_GT(discarded, 0);
    EXPECT_EQ(size_t(kept), font.glyphs.size());
    TCodepointList all;
    const char *name = "Mathematical Operators";
    ASSERT_TRUE(Build_CodepointList(&name, 1, 0, all));
    EXPECT_EQ(kept + discarded, all.count);
}

TEST(FontBuild, BadSettingsStopBeforeTheRenderer)
{
    for (int which = 0; which < 2; ++which) {
        CBitmapFont font;
        if (which == 0)
            font.info.page_margin = 32;
        else
            font.info.max_page_size = 63;
        CollectingConsumer pages;
        BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, "error: bad page padding / page size\n");
        EXPECT_EQ(r.out, "building a list of codepoints ...\n");
    }
}

TEST(FontBuild, UnknownBlocksAreRefused)
{
    CBitmapFont font;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(font.AddBlock("Mathematical Operators "));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error: unicode block 'Mathematical Operators ' not found\n");
    EXPECT_TRUE(font.block_names.empty());

    font.block_names.push_back("Klingon");
    CollectingConsumer pages;
    BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "error: unicode block 'Klingon' not found\n"
                     "error: failed to get list of codepoints (bad block name?)\n");
}

TEST(FontBuild, TwoFaceFontFailsWithTheRendererError)
{
    TempDir dir;
    const std::string ttc = dir.File("two.ttc");
    ASSERT_TRUE(WriteTwoFaceCollection(SourceFont("cmunrm.otf"), ttc));
    CBitmapFont font;
    CollectingConsumer pages;
    BuildOutput r = RunBuild(font, pages, ttc);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "error: failed to initialize glyph renderer\n");
    EXPECT_EQ(r.out, "building a list of codepoints ...\ninitializing glyph renderer ...\n");
    EXPECT_TRUE(pages.pages.empty());
}

TEST(FontBuild, FileThatIsNoFontFailsWithTheRendererError)
{
    TempDir dir;
    const std::string bogus = dir.File("bogus.otf");
    { std::ofstream(bogus) << "not a font"; }
    CBitmapFont font;
    CollectingConsumer pages;
    BuildOutput r = RunBuild(font, pages, bogus);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "error: failed to initialize glyph renderer\n");
}

TEST(FontBuild, RefusedPageEndsTheBuildSilently)
{
    CBitmapFont font;
    font.info.max_page_size = 128;
    CollectingConsumer pages;
    pages.refuse_from = 1;
    BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.find("error:"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("done."), std::string::npos);
    EXPECT_EQ(pages.pages.size(), 1u);
}

TEST(FontBuild, WithoutMetadataThePagesHoldOnlyGlyphs)
{
    CBitmapFont font;
    font.write_metadata = false;
    CollectingConsumer pages;
    BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
    ASSERT_TRUE(r.ok) << r.err;
    ASSERT_EQ(pages.pages.size(), 1u);
    CPageMetaStream stream(pages.pages[0]->pixels, pages.pages[0]->width, pages.pages[0]->height);
    EXPECT_EQ(stream.Open_Read(), 0u);
}

// --- The application's page cache ----------------------------------------------

class PageCache : public testing::Test {
protected:
    void SetUp() override
    {
        rm = dir.File("cmunrm%02u.tga");
        sl = dir.File("cmunsl%02u.tga");
        rm_src = SourceFont("cmunrm.otf");
        sl_src = SourceFont("cmunsl.otf");
        fonts[0] = {rm.c_str(), rm_src.c_str()};
        fonts[1] = {sl.c_str(), sl_src.c_str()};
    }
    TempDir dir;
    std::string rm, sl, rm_src, sl_src;
    TFontCacheSource fonts[2];
};

TEST_F(PageCache, BuildsBothDefaultFontsOnceThenOnlyWhatIsMissing)
{
    EXPECT_EQ(Find_Missing_FontCaches(fonts, 2), (std::vector<size_t>{0, 1}));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int failed = Build_Missing_FontCaches(fonts, 2, g_hud_font_blocks, 4);
    const std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(failed, 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_TRUE(Find_Missing_FontCaches(fonts, 2).empty());
    std::printf("%s", out.c_str());

    size_t glyphs[2];
    for (int i = 0; i < 2; ++i) {
        CollectingConsumer pages;
        CBitmapFont font;
        ASSERT_TRUE(CBitmapFont::LoadPages(font, pages, fonts[i].page_pattern)) << fonts[i].page_pattern;
        glyphs[i] = font.glyphs.size();
        EXPECT_GT(font.glyphs.size(), 250u);
        // Greek and at least one mathematical operator made it in.
        bool alpha = false, math = false;
        for (const GlyphInfo &g : font.glyphs) {
            alpha |= g.code == 0x3B1;
            math |= g.code >= 0x2200 && g.code <= 0x22FF;
        }
        EXPECT_TRUE(alpha);
        EXPECT_TRUE(math);
    }

    // Deleting page 0 of one font rebuilds that font only.
    std::string rm0, sl0;
    Format_PagePattern(rm.c_str(), 0, rm0);
    Format_PagePattern(sl.c_str(), 0, sl0);
    const auto sl_time = std::filesystem::last_write_time(sl0);
    std::filesystem::remove(rm0);
    EXPECT_EQ(Find_Missing_FontCaches(fonts, 2), (std::vector<size_t>{0}));
    testing::internal::CaptureStdout();
    EXPECT_EQ(Build_Missing_FontCaches(fonts, 2, g_hud_font_blocks, 4), 0);
    const std::string again = testing::internal::GetCapturedStdout();
    EXPECT_EQ(again.find("initializing glyph renderer"), again.rfind("initializing glyph renderer"));
    EXPECT_TRUE(std::filesystem::exists(rm0));
    EXPECT_EQ(std::filesystem::last_write_time(sl0), sl_time);
    EXPECT_EQ(glyphs[0] > 0, true);
}

TEST_F(PageCache, ExistenceAloneCounts)
{
    std::string rm0;
    Format_PagePattern(rm.c_str(), 0, rm0);
    { std::ofstream(rm0) << "not a page"; }
    EXPECT_TRUE(Font_Page_Cache_Exists(rm.c_str()));
    EXPECT_EQ(Find_Missing_FontCaches(fonts, 2), (std::vector<size_t>{1}));
}

TEST(HudFonts, EveryRequestedBlockExists)
{
    for (const char *block : g_hud_font_blocks)
        EXPECT_NE(Find_UnicodeBlock(block), nullptr) << "'" << block << "'";
}

} // namespace
