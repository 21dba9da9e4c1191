#include "font/page_meta_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "font/bitmap_font.h"
#include "font/font_test_util.h"
#include "image/tga.h"

using namespace fonttest;

namespace {

std::vector<uint32_t> Image(int w, int h) { return std::vector<uint32_t>(size_t(w) * h, 0u); }

TEST(Crc32, MatchesTheStandardCheckValue)
{
    EXPECT_EQ(~Update_CRC32(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
}

TEST(PageMetaStream, WritesBytesAsGreyPixelsAndReadsThemBack)
{
    const int W = 20, H = 10;
    auto pixels = Image(W, H);
    CPageMetaStream out(pixels.data(), W, H);
    ASSERT_TRUE(out.Open_Write(8, 6, 0xCAFEBABE, 0, 1, 0));
    const uint8_t bytes[] = {1, 2, 3, 250, 0, 255, 7};
    ASSERT_TRUE(out.Write(bytes, sizeof(bytes)));
    out.Close_Write();
    // Byte 28 is in row 3, column 4 of the 8-wide area; an image row is 20 words.
    EXPECT_EQ(pixels[3 * W + 4], 0xFF010101u);
    EXPECT_EQ(pixels[3 * W + 7], 0xFFFAFAFAu);
    EXPECT_EQ(pixels[4 * W + 0], 0xFF000000u);
    EXPECT_EQ(pixels[0 * W + 0], 0xFF080808u);  // area_width, low byte first
    EXPECT_EQ(pixels[0 * W + 8], 0u);           // outside the area
    EXPECT_EQ(pixels[4 * W + 3], 0u);           // after the stream

    CPageMetaStream in(pixels.data(), W, H);
    ASSERT_EQ(in.Open_Read(), 48u);
    EXPECT_EQ(in.Header().area_width, 8u);
    EXPECT_EQ(in.Header().area_height, 6u);
    EXPECT_EQ(in.Header().font_id, 0xCAFEBABEu);
    uint8_t back[sizeof(bytes)];
    ASSERT_TRUE(in.Read(back, sizeof(back)));
    EXPECT_EQ(std::memcmp(back, bytes, sizeof(bytes)), 0);
    EXPECT_TRUE(in.Check_CRC());
    uint8_t too_much[14];
    EXPECT_FALSE(in.Read(too_much, sizeof(too_much)));  // 13 bytes remain
    EXPECT_EQ(in.Cursor(), 35u);                        // all or nothing
}

TEST(PageMetaStream, WriteIsAllOrNothing)
{
    auto pixels = Image(8, 4);
    CPageMetaStream out(pixels.data(), 8, 4);
    ASSERT_TRUE(out.Open_Write(8, 4, 1, 0, 1, 0));
    uint8_t bytes[5] = {9, 9, 9, 9, 9};
    EXPECT_FALSE(out.Write(bytes, 5));
    EXPECT_EQ(out.Cursor(), 28u);
    EXPECT_EQ(pixels[3 * 8 + 4], 0u);
    EXPECT_TRUE(out.Write(bytes, 4));
    EXPECT_FALSE(out.Write(bytes, 1));
    EXPECT_FALSE(out.Open_Write(9, 4, 1, 0, 1, 0));  // wider than the image
    EXPECT_FALSE(out.Open_Write(4, 5, 1, 0, 1, 0));  // higher than the image
    EXPECT_FALSE(out.Open_Write(4, 4, 1, 0, 1, 0));  // too small for the header
}

TEST(PageMetaStream, EveryChangedByteFailsTheCrc)
{
    const int W = 16, H = 8;
    auto pixels = Image(W, H);
    CPageMetaStream out(pixels.data(), W, H);
    ASSERT_TRUE(out.Open_Write(16, 5, 77, 0, 1, 3));
    uint8_t payload[40];
    for (int i = 0; i < 40; ++i)
        payload[i] = uint8_t(i * 37);
    ASSERT_TRUE(out.Write(payload, sizeof(payload)));
    out.Close_Write();
    const size_t end = 28 + sizeof(payload);

    for (size_t byte = 0; byte < end; ++byte) {
        if (byte >= 8 && byte < 12)
            continue;  // the crc word itself
        auto damaged = pixels;
        uint32_t &p = damaged[(byte / 16) * W + byte % 16];
        p = GreyPixel((p & 0xFF) ^ 0x10);
        CPageMetaStream in(damaged.data(), W, H);
        if (!in.Open_Read())
            continue;  // a damaged size word already refuses the page
        in.Skip(end - 28);
        EXPECT_FALSE(in.Check_CRC()) << "byte " << byte;
    }
    CPageMetaStream intact(pixels.data(), W, H);
    ASSERT_TRUE(intact.Open_Read());
    ASSERT_TRUE(intact.Skip(end - 28));
    EXPECT_TRUE(intact.Check_CRC());
}

TEST(PageMetaStream, RefusesImagesThatCannotHoldTheArea)
{
    auto pixels = Image(16, 8);
    CPageMetaStream out(pixels.data(), 16, 8);
    ASSERT_TRUE(out.Open_Write(16, 8, 1, 0, 1, 0));
    out.Close_Write();

    CPageMetaStream narrow(pixels.data(), 3, 8);
    EXPECT_EQ(narrow.Open_Read(), 0u);
    CPageMetaStream shorter(pixels.data(), 16, 7);  // area_height 8 is more than 7 rows
    EXPECT_EQ(shorter.Open_Read(), 0u);
    CPageMetaStream narrower(pixels.data(), 15, 8);  // area_width 16 is more than 15 columns
    EXPECT_EQ(narrower.Open_Read(), 0u);
    auto blank = Image(16, 8);
    CPageMetaStream empty(blank.data(), 16, 8);
    EXPECT_EQ(empty.Open_Read(), 0u);
}

TEST(PageMetaStream, EraseWhitensTheAreaOnly)
{
    auto pixels = Image(10, 6);
    std::fill(pixels.begin(), pixels.end(), 0xFF333333u);
    CPageMetaStream out(pixels.data(), 10, 6);
    ASSERT_TRUE(out.Open_Write(7, 5, 1, 0, 1, 0));
    out.Close_Write();
    out.Erase();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(pixels[size_t(y) * 10 + x], (x < 7 && y < 5) ? 0x00FFFFFFu : 0xFF333333u) << x << "," << y;
}

TEST(PagePattern, FormatsOneIntegerConversionOnly)
{
    std::string out;
    ASSERT_TRUE(Format_PagePattern("data/fonts/cmunrm%02u.tga", 0, out));
    EXPECT_EQ(out, "data/fonts/cmunrm00.tga");
    ASSERT_TRUE(Format_PagePattern("data/fonts/cmunrm%02u.tga", 10, out));
    EXPECT_EQ(out, "data/fonts/cmunrm10.tga");
    ASSERT_TRUE(Format_PagePattern("100%%-%u", 3, out));
    EXPECT_EQ(out, "100%-3");
    EXPECT_FALSE(Format_PagePattern("page%s.tga", 1, out));
    EXPECT_FALSE(Format_PagePattern("page%u-%u.tga", 1, out));
    EXPECT_FALSE(Format_PagePattern("page.tga", 1, out));
    EXPECT_FALSE(Format_PagePattern("page%n.tga", 1, out));
    EXPECT_FALSE(Format_PagePattern(nullptr, 1, out));
}

TEST(PagePattern, NamesLongerThanTheLimitAreRefusedUnformatted)
{
    // Formatting these would make the C library allocate gigabytes.
    const std::string literal(kMaxPageFileName - 12, 'x');
    const struct {
        std::string pattern;
        PagePatternStatus status;
        size_t length;  // of the name of page 7, when formatted
    } cases[] = {
        {"x%2000000000u.tga", PagePatternStatus::kTooLong, 0},
        {"x%.2000000000u.tga", PagePatternStatus::kTooLong, 0},
        {"%099999999999999999999999u", PagePatternStatus::kTooLong, 0},
        {"%4096u", PagePatternStatus::kOk, 4096},
        {"%4097u", PagePatternStatus::kTooLong, 0},
        {"x%4095u", PagePatternStatus::kOk, 4096},
        {"%%%4095u", PagePatternStatus::kOk, 4096},
        {"xx%4095u", PagePatternStatus::kTooLong, 0},
        {literal + "%u", PagePatternStatus::kOk, literal.size() + 1},
        // Room is kept for the longest index, whatever the index at hand.
        {literal + "x%u", PagePatternStatus::kTooLong, 0},
        {"x%2000000000s", PagePatternStatus::kMalformed, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CheckPagePattern(c.pattern.c_str()), c.status) << c.pattern.substr(0, 40);
        std::string out = "stale";
        EXPECT_EQ(Format_PagePattern(c.pattern.c_str(), 7, out), c.status == PagePatternStatus::kOk);
        EXPECT_EQ(out.size(), c.length) << c.pattern.substr(0, 40);
    }
}

// --- Reading whole fonts -----------------------------------------------------

void ExpectSameGlyphs(const CBitmapFont &font, const HandFont &hand)
{
    ASSERT_EQ(font.pages.size(), hand.glyphs.size());
    size_t total = 0;
    for (size_t p = 0; p < hand.glyphs.size(); ++p) {
        EXPECT_EQ(font.pages[p].width, hand.page_w[p]);
        EXPECT_EQ(font.pages[p].height, hand.page_h[p]);
        ASSERT_EQ(font.pages[p].glyphs.size(), hand.glyphs[p].size());
        for (size_t g = 0; g < hand.glyphs[p].size(); ++g)
            EXPECT_EQ(std::memcmp(font.pages[p].glyphs[g], &hand.glyphs[p][g], sizeof(GlyphInfo)), 0);
        total += hand.glyphs[p].size();
    }
    EXPECT_EQ(font.glyphs.size(), total);
    EXPECT_EQ(font.name, hand.name);
}

TEST(ReadPages, OneMetadataPageReadsWholeAndErasesTheArea)
{
    HandFont hand = MakeHandFont(1, 10, 1, 24, 20);
    MemoryProducer producer;
    producer.pages = hand.Pages();
    CollectingConsumer consumer;
    CBitmapFont font;
    ASSERT_TRUE(CBitmapFont::ReadPages(font, producer, consumer));
    ExpectSameGlyphs(font, hand);
    EXPECT_EQ(font.info.height, 48);
    ASSERT_EQ(consumer.pages.size(), 1u);
    EXPECT_EQ(consumer.page_counts[0], 1u);
    const TBitmap &page = *consumer.pages[0];
    const TBitmap &orig = *producer.pages[0];
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const size_t i = size_t(y) * page.width + x;
            if (x < 24 && y < 20)
                EXPECT_EQ(page.pixels[i], 0x00FFFFFFu);
            else
                EXPECT_EQ(page.pixels[i], orig.pixels[i]);
        }
}

TEST(ReadPages, GlyphTableSpillingOverTwoMetadataPagesReadsAsOne)
{
    // 24 x 20 = 480 bytes hold about 12 records; 3 pages of 8 glyphs need two areas.
    HandFont hand = MakeHandFont(3, 8, 2, 24, 20);
    ASSERT_FALSE(hand.runs[1].empty());
    ASSERT_EQ(hand.runs[1].front().page, hand.runs[0].back().page);  // a run continued across areas
    MemoryProducer producer;
    producer.pages = hand.Pages();
    CollectingConsumer consumer;
    CBitmapFont font;
    ASSERT_TRUE(CBitmapFont::ReadPages(font, producer, consumer));
    ExpectSameGlyphs(font, hand);
    ASSERT_EQ(consumer.pages.size(), 3u);
    EXPECT_EQ(consumer.pages[1]->pixels[0], 0x00FFFFFFu);  // second metadata area erased too
    EXPECT_NE(consumer.pages[2]->pixels[0], 0x00FFFFFFu);  // the third page has none
}

TEST(ReadPages, MoreGlyphPagesThanMetadataPages)
{
    HandFont hand = MakeHandFont(4, 3, 1, 40, 20);
    ASSERT_EQ(hand.runs.size(), 1u);
    MemoryProducer producer;
    producer.pages = hand.Pages();
    CollectingConsumer consumer;
    CBitmapFont font;
    ASSERT_TRUE(CBitmapFont::ReadPages(font, producer, consumer));
    ExpectSameGlyphs(font, hand);
    EXPECT_EQ(consumer.pages.size(), 4u);
}

TEST(ReadPages, PagesOfTwoBuildsAreRefused)
{
    HandFont a = MakeHandFont(3, 8, 2, 24, 20);
    HandFont b = a;
    b.font_id ^= 1;
    MemoryProducer producer;
    producer.pages = a.Pages();
    producer.pages[1] = std::move(b.Pages()[1]);
    CollectingConsumer consumer;
    CBitmapFont font;
    EXPECT_FALSE(CBitmapFont::ReadPages(font, producer, consumer));
    EXPECT_TRUE(font.pages.empty());
    EXPECT_TRUE(font.glyphs.empty());
}

TEST(ReadPages, MissingOrDamagedPagesFail)
{
    HandFont hand = MakeHandFont(3, 8, 2, 24, 20);
    {
        MemoryProducer producer;
        producer.pages = hand.Pages();
        producer.pages.pop_back();
        CollectingConsumer consumer;
        CBitmapFont font;
        EXPECT_FALSE(CBitmapFont::ReadPages(font, producer, consumer));
        EXPECT_EQ(consumer.pages.size(), 2u);  // pages already handed over stay consumed
    }
    {
        MemoryProducer producer;
        producer.pages = hand.Pages();
        producer.pages[0]->pixels[producer.pages[0]->width + 6] ^= 0x01;  // stream byte 30, in FontInfo
        CollectingConsumer consumer;
        CBitmapFont font;
        EXPECT_FALSE(CBitmapFont::ReadPages(font, producer, consumer));
    }
    {
        MemoryProducer producer;
        producer.pages = hand.Pages();
        CollectingConsumer consumer;
        consumer.refuse_from = 1;
        CBitmapFont font;
        EXPECT_FALSE(CBitmapFont::ReadPages(font, producer, consumer));
    }
    {
        // Pages in the wrong order: page 1 offered as page 0.
        MemoryProducer producer;
        producer.pages = hand.Pages();
        std::swap(producer.pages[0], producer.pages[1]);
        CollectingConsumer consumer;
        CBitmapFont font;
        EXPECT_FALSE(CBitmapFont::ReadPages(font, producer, consumer));
    }
}

TEST(ReadPages, RoundTripThroughTgaFiles)
{
    TempDir dir;
    HandFont hand = MakeHandFont(3, 8, 2, 24, 20);
    const std::string pattern = dir.File("hand%02u.tga");
    CBitmapFont::CBitmapWriter writer(pattern.c_str());
    std::vector<BitmapPtr> pages = hand.Pages();
    for (unsigned i = 0; i < pages.size(); ++i)
        ASSERT_TRUE(writer.Consume_Page(i, unsigned(pages.size()), pages[i].get()));
    ASSERT_TRUE(std::filesystem::exists(dir.File("hand00.tga")));
    ASSERT_TRUE(std::filesystem::exists(dir.File("hand02.tga")));

    CollectingConsumer consumer;
    CBitmapFont font;
    ASSERT_TRUE(CBitmapFont::LoadPages(font, consumer, pattern.c_str()));
    ExpectSameGlyphs(font, hand);
    // Glyph pixels come back exactly (the page is stored as grey).
    const GlyphInfo &g = hand.glyphs[2][3];
    const TBitmap &page = *consumer.pages[2];
    EXPECT_EQ(page.pixels[size_t(g.page_y) * page.width + g.page_x] & 0xFFFFFF,
              GreyPixel(uint32_t(g.code * 7)) & 0xFFFFFF);

    std::filesystem::remove(dir.File("hand01.tga"));
    CBitmapFont again;
    CollectingConsumer consumer2;
    EXPECT_FALSE(CBitmapFont::LoadPages(again, consumer2, pattern.c_str()));
}

} // namespace
