#include "font/bitmap_font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "font/font_cache.h"
#include "font/font_test_util.h"
#include "font/glyph_renderer.h"
#include "font/unicode_blocks.h"
#include "support/fifo_writer.h"

#include <sys/stat.h>

#include <iterator>
#include <vector>

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
    // A path too long for the header keeps only its file name.
    const std::string stored = source.size() <= 255 ? source : source.substr(source.rfind('/') + 1);
    EXPECT_EQ(font.name, stored);
    EXPECT_EQ(font.info.name_length, stored.size());
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

TEST(FontBuild, EveryGlyphDiscardedIsAnError)
{
    // CMU has no kana; the Private Use Area has no assigned code points at all.
    for (const char *block : {"Hiragana", "Private Use Area"}) {
        CBitmapFont font;
        ASSERT_TRUE(font.AddBlock(block));
        TCodepointList list;
        ASSERT_TRUE(Build_CodepointList(&block, 1, 0, list));
        CollectingConsumer pages;
        BuildOutput r = RunBuild(font, pages, SourceFont("cmunrm.otf"));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, "error: no glyphs: the font has none of the " + std::to_string(list.count) +
                             " code points asked for\n");
        EXPECT_EQ(r.out.find("done."), std::string::npos);
        EXPECT_TRUE(pages.pages.empty());
    }
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

TEST(FontBuild, APathThatNamesNoFontCannotBeOpened)
{
    TempDir dir;
    { std::ofstream(dir.File("bogus.otf")) << "not a font"; }
    { std::ofstream(dir.File("passwd")) << "root:x:0:0:root:/root:/bin/bash\n"; }
    ASSERT_EQ(mkfifo(dir.File("pipe.otf").c_str(), 0600), 0);
    // A font behind the FIFO: a renderer that opened it would build a font.
    std::ifstream source(SourceFont("cmunrm.otf"), std::ios::binary);
    const std::vector<uint8_t> font_bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    testsupport::FifoWriter writer(dir.File("pipe.otf"), font_bytes);
    // None is handed to fontconfig, which would build some fallback family instead.
    const struct {
        std::string name, reason;
    } cases[] = {
        {dir.File("missing.otf"), ": No such file or directory"},
        {dir.File("bogus.otf"), ": not a font file"},
        {dir.File("passwd"), ": not a font file"},
        {dir.Path().string(), ": not a regular file"},
        {dir.File("pipe.otf"), ": not a regular file"},
        {"/dev/zero", ": not a regular file"},
        {"missing.ttf", ": No such file or directory"},
        {"", ""},
    };
    for (const auto &c : cases) {
        CBitmapFont font;
        CollectingConsumer pages;
        BuildOutput r = RunBuild(font, pages, c.name);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.err, "error: cannot open font '" + c.name + "'" + c.reason + "\n");
        EXPECT_EQ(r.out, "building a list of codepoints ...\ninitializing glyph renderer ...\n");
        EXPECT_TRUE(pages.pages.empty());
    }
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

// The glyph table holds the font's path, so its size grows with the path:
// every length must build, and build the same glyphs.
TEST(FontBuild, TheFontPathsLengthDoesNotMatter)
{
    TempDir dir;
    const std::string base = dir.Path();
    std::vector<GlyphInfo> reference;
    for (size_t length = base.size() + 2; length <= 340; ++length) {
        // Components stay below the 255-byte file name limit.
        std::string path = base, rest(length - base.size(), 'x');
        while (rest.size() > 200) {
            path += "/" + std::string(149, 'd');
            std::filesystem::create_directory(path);
            rest.erase(0, 150);
        }
        path += "/" + rest.substr(1);
        ASSERT_EQ(path.size(), length);
        std::filesystem::create_symlink(SourceFont("cmunrm.otf"), path);
        const std::string stored = length <= 255 ? path : path.substr(path.rfind('/') + 1);
        for (int size : {64, 128}) {
            CBitmapFont font;
            font.info.max_page_size = uint16_t(size);
            CollectingConsumer pages;
            BuildOutput r = RunBuild(font, pages, path);
            ASSERT_TRUE(r.ok) << "path of " << length << " bytes, pages of " << size << ":\n" << r.err;
            MemoryProducer producer;
            for (BitmapPtr &page : pages.pages)
                producer.pages.push_back(std::move(page));
            CollectingConsumer loaded;
            CBitmapFont back;
            ASSERT_TRUE(CBitmapFont::ReadPages(back, producer, loaded)) << length << " " << size;
            EXPECT_EQ(back.name, stored);
            // Where glyphs sit may change with the table's size; what they are may not.
            std::vector<GlyphInfo> glyphs = font.glyphs;
            for (GlyphInfo &g : glyphs)
                g.rotated = 0, g.page_x = 0, g.page_y = 0;
            if (reference.empty())
                reference = glyphs;
            ASSERT_EQ(glyphs.size(), reference.size());
            EXPECT_EQ(std::memcmp(glyphs.data(), reference.data(), glyphs.size() * sizeof(GlyphInfo)), 0) << length;
        }
    }
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

std::vector<std::string> FilesIn(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A page set appears whole or not at all. Directories that are regular files
// fail for root too.
TEST(FontBuild, TheWriterLeavesWholePageSetsOrNone)
{
    TempDir dir;
    { std::ofstream(dir.File("file")) << "in the way"; }
    std::filesystem::create_directory(dir.File("d00"));
    { std::ofstream(dir.File("d01")) << "in the way"; }
    std::filesystem::create_directory(dir.File("ok"));
    std::filesystem::create_directory(dir.File("fifo"));
    ASSERT_EQ(mkfifo(dir.File("fifo/p01.tga").c_str(), 0600), 0);
    struct Case {
        std::string pattern, failure;
    } cases[] = {
        {dir.File("ok/p%02u.tga"), ""},
        {dir.File("file/p%02u.tga"), "cannot write '" + dir.File("file/p00.tga") + "': Not a directory"},
        // Page 0 is written, page 1 is not: page 0 must go as well.
        {dir.File("d%02u/p.tga"), "cannot write '" + dir.File("d01/p.tga") + "': Not a directory"},
        // Someone's FIFO where page 1 goes is not replaced.
        {dir.File("fifo/p%02u.tga"), "cannot write '" + dir.File("fifo/p01.tga") + "': not a regular file"},
    };
    unsigned ok_pages = 0;
    for (const Case &c : cases) {
        CBitmapFont font;
        font.info.max_page_size = 128;
        BuildOutput r{};
        {
            CBitmapFont::CBitmapWriter writer(c.pattern.c_str());
            r = RunBuild(font, writer, SourceFont("cmunrm.otf"));
            EXPECT_EQ(writer.Failure(), c.failure);
        }
        EXPECT_EQ(r.ok, c.failure.empty()) << c.pattern << "\n" << r.err;
        EXPECT_EQ(r.err.find("error:"), std::string::npos) << r.err;
        if (r.ok)
            ok_pages = font.info.page_count;
    }
    std::vector<std::string> pages;
    for (unsigned i = 0; i < ok_pages; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "p%02u.tga", i);
        pages.push_back(name);
    }
    EXPECT_GT(pages.size(), 1u);
    EXPECT_EQ(FilesIn(dir.File("ok")), pages);
    EXPECT_TRUE(FilesIn(dir.File("d00")).empty());
    EXPECT_EQ(FilesIn(dir.File("fifo")), std::vector<std::string>{"p01.tga"});
    EXPECT_EQ(std::filesystem::status(dir.File("fifo/p01.tga")).type(), std::filesystem::file_type::fifo);
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
