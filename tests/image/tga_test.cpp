#include "image/tga.h"

#include "image/image_test_util.h"

#include <gtest/gtest.h>

#include <vector>

using imagetest::Bytes;
using imagetest::MakePattern;
using imagetest::ReadBytes;
using imagetest::SamePixels;
using imagetest::WriteBytes;

namespace {

struct TgaHeader {
    uint8_t id_length = 0, map_type = 0, type = 2;
    uint16_t map_first = 0, map_length = 0;
    uint8_t map_bits = 0;
    uint16_t width = 1, height = 1;
    uint8_t depth = 24, descriptor = 0;

    std::vector<uint8_t> Bytes() const
    {
        return {id_length, map_type, type, uint8_t(map_first), uint8_t(map_first >> 8), uint8_t(map_length),
                uint8_t(map_length >> 8), map_bits, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8),
                uint8_t(height), uint8_t(height >> 8), depth, descriptor};
    }
};

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TgaTest : public ::testing::Test {
protected:
    BitmapPtr ReadFromBytes(const std::vector<uint8_t>& bytes, ImageError* error = nullptr)
    {
        const std::string path = dir.File("in.tga");
        WriteBytes(path, bytes);
        return ReadTGA(path.c_str(), error);
    }
    imagetest::ScratchDir dir;
};

// --- the bitmap record ----------------------------------------------------

TEST(BitmapTest, CreateRefusesHugeOrNegativeSizes)
{
    EXPECT_EQ(TBitmap::Create(0x8000, 0x8000, false, false, 8), nullptr);  // exactly 2^30 pixels
    EXPECT_EQ(TBitmap::Create(-1, 4, false, false, 8), nullptr);
    BitmapPtr empty(TBitmap::Create(0, 7, true, false, 8));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->width, 0);
    BitmapPtr b(TBitmap::Create(3, 2, true, true, 5));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->bits_per_channel, 5);
    EXPECT_EQ(b->greyscale, 1);
    EXPECT_EQ(b->has_alpha, 1);
}

TEST(BitmapTest, FlipVerticalKeepsMiddleRowOfOddHeight)
{
    BitmapPtr b = MakePattern(5, 3, false, true);
    BitmapPtr orig = MakePattern(5, 3, false, true);
    b->FlipVertical();
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(b->Row(0)[x], orig->Row(2)[x]);
        EXPECT_EQ(b->Row(1)[x], orig->Row(1)[x]);
        EXPECT_EQ(b->Row(2)[x], orig->Row(0)[x]);
    }
    b->FlipVertical();
    EXPECT_TRUE(SamePixels(*b, *orig));
}

// --- round trips -------------------------------------------------------------

TEST_F(TgaTest, RoundTripsEveryWrittenKind)
{
    struct Case {
        bool grey, alpha;
        uint8_t type, depth;
    } cases[] = {{false, false, 2, 24}, {false, true, 2, 32}, {true, false, 11, 8}, {true, true, 2, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "grey " << c.grey << " alpha " << c.alpha);
        BitmapPtr src = MakePattern(37, 11, c.grey, c.alpha);
        const std::string path = dir.File("rt.tga");
        ASSERT_TRUE(WriteTGA(path.c_str(), src.get()));
        const std::vector<uint8_t> bytes = ReadBytes(path);
        ASSERT_GE(bytes.size(), 18u);
        EXPECT_EQ(bytes[2], c.type);
        EXPECT_EQ(bytes[16], c.depth);
        EXPECT_EQ(bytes[17], 0x20);
        BitmapPtr back(ReadTGA(path.c_str()));
        ASSERT_NE(back, nullptr);
        // A grey image with alpha goes out as true colour, so it comes back as colour.
        EXPECT_EQ(back->greyscale, c.grey && !c.alpha);
        EXPECT_EQ(back->has_alpha, c.alpha);
        back->greyscale = src->greyscale;
        EXPECT_TRUE(SamePixels(*back, *src));
    }
}

TEST_F(TgaTest, EveryRowOrderGivesTheSamePicture)
{
    // The picture, top row first: pixels as blue, green, red bytes.
    const uint8_t picture[2][3][3] = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{10, 11, 12}, {13, 14, 15}, {16, 17, 18}}};
    TgaHeader h;
    h.width = 3;
    h.height = 2;
    for (uint8_t descriptor : {0x00, 0x20, 0x10, 0x30}) {
        SCOPED_TRACE(testing::Message() << "descriptor " << int(descriptor));
        const bool top_down = descriptor & 0x20, right_to_left = descriptor & 0x10;
        h.descriptor = descriptor;
        std::vector<uint8_t> file = h.Bytes();
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c) {
                const uint8_t* p = picture[top_down ? r : 1 - r][right_to_left ? 2 - c : c];
                file.insert(file.end(), p, p + 3);
            }
        BitmapPtr b = ReadFromBytes(file);
        ASSERT_NE(b, nullptr);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const uint8_t* p = picture[y][x];
                EXPECT_EQ(Bytes(b->Row(y)[x]), (std::vector<int>{p[2], p[1], p[0], 255})) << x << "," << y;
            }
    }
}

TEST_F(TgaTest, RightToLeftRunLengthRowsAreMirroredToo)
{
    TgaHeader h;
    h.type = 11;
    h.depth = 8;
    h.width = 4;
    h.height = 1;
    h.descriptor = 0x10;
    BitmapPtr b = ReadFromBytes(Concat(h.Bytes(), {0x81, 9, 0x01, 5, 6}));  // file order 9, 9, 5, 6
    ASSERT_NE(b, nullptr);
    const int want[] = {6, 5, 9, 9};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(Bytes(b->pixels[x])[0], want[x]) << x;
}

// --- pixel encodings -----------------------------------------------------------

TEST_F(TgaTest, SixteenBitPixelsExpandFiveBitChannels)
{
    TgaHeader h;
    h.width = 3;
    h.depth = 16;
    // 0x7FFF white, 0x8000 black (top bit ignored), 0x7C00 pure red.
    BitmapPtr b = ReadFromBytes(Concat(h.Bytes(), {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x7C}));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->bits_per_channel, 5);
    EXPECT_EQ(b->has_alpha, 0);
    EXPECT_EQ(Bytes(b->pixels[0]), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(Bytes(b->pixels[1]), (std::vector<int>{0, 0, 0, 255}));
    EXPECT_EQ(Bytes(b->pixels[2]), (std::vector<int>{255, 0, 0, 255}));
}

TEST_F(TgaTest, ColourMapFirstIndexOffsetsIndices)
{
    TgaHeader h;
    h.type = 1;
    h.depth = 8;
    h.map_type = 1;
    h.map_first = 1;
    h.map_length = 2;
    h.map_bits = 24;
    h.width = 3;
    // Entries: (b,g,r) 10,20,30 and 40,50,60; indices 1, 0, 2.
    BitmapPtr b = ReadFromBytes(Concat(h.Bytes(), {10, 20, 30, 40, 50, 60, 1, 0, 2}));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Bytes(b->pixels[0]), (std::vector<int>{30, 20, 10, 255}));
    EXPECT_EQ(b->pixels[1], 0u);  // index 0 is before the palette: transparent black
    EXPECT_EQ(Bytes(b->pixels[2]), (std::vector<int>{60, 50, 40, 255}));
    EXPECT_EQ(b->bits_per_channel, 8);
}

TEST_F(TgaTest, ColourMappedThirtyTwoBitEntriesCarryAlpha)
{
    TgaHeader h;
    h.type = 9;  // run-length colour-mapped
    h.depth = 8;
    h.map_type = 1;
    h.map_length = 1;
    h.map_bits = 32;
    h.width = 4;
    BitmapPtr b = ReadFromBytes(Concat(h.Bytes(), {1, 2, 3, 4, 0x83, 0}));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->has_alpha, 1);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(Bytes(b->pixels[x]), (std::vector<int>{3, 2, 1, 4}));
}

TEST_F(TgaTest, FifteenBitColourMapEntriesReadLikeSixteen)
{
    for (uint8_t bits : {15, 16}) {
        SCOPED_TRACE(int(bits));
        TgaHeader h;
        h.type = 1;
        h.depth = 8;
        h.map_type = 1;
        h.map_length = 2;
        h.map_bits = bits;
        h.width = 2;
        // Entries 0x7C00 (red) and 0x801F (blue; the top bit is unused).
        BitmapPtr b = ReadFromBytes(Concat(h.Bytes(), {0x00, 0x7C, 0x1F, 0x80, 1, 0}));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->bits_per_channel, 5);
        EXPECT_EQ(b->has_alpha, 0);
        EXPECT_EQ(Bytes(b->pixels[0]), (std::vector<int>{0, 0, 255, 255}));
        EXPECT_EQ(Bytes(b->pixels[1]), (std::vector<int>{255, 0, 0, 255}));
    }
}

TEST_F(TgaTest, ColourMapInTrueColourFileIsSkipped)
{
    TgaHeader h;
    h.map_type = 1;
    h.map_length = 2;
    h.map_bits = 24;
    h.width = 1;
    h.id_length = 3;
    std::vector<uint8_t> file = Concat(h.Bytes(), {'i', 'd', '!'});
    file = Concat(file, {99, 99, 99, 98, 98, 98});  // the unused map
    BitmapPtr b = ReadFromBytes(Concat(file, {7, 8, 9}));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Bytes(b->pixels[0]), (std::vector<int>{9, 8, 7, 255}));
}

// --- run-length data ---------------------------------------------------------------

TEST_F(TgaTest, RunLengthTrueColourAndGreyDecode)
{
    TgaHeader h;
    h.type = 10;
    h.width = 3;
    h.height = 2;
    h.descriptor = 0x20;
    // Row 0: run of 3; row 1: raw 2 then run of 1.
    BitmapPtr c = ReadFromBytes(Concat(h.Bytes(), {0x82, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9, 0x80, 10, 11, 12}));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Bytes(c->Row(0)[2]), (std::vector<int>{3, 2, 1, 255}));
    EXPECT_EQ(Bytes(c->Row(1)[1]), (std::vector<int>{9, 8, 7, 255}));
    EXPECT_EQ(Bytes(c->Row(1)[2]), (std::vector<int>{12, 11, 10, 255}));

    h.type = 11;
    h.depth = 8;
    BitmapPtr g = ReadFromBytes(Concat(h.Bytes(), {0x82, 50, 0x02, 1, 2, 3}));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->greyscale, 1);
    EXPECT_EQ(Bytes(g->Row(0)[1]), (std::vector<int>{50, 50, 50, 255}));
    EXPECT_EQ(Bytes(g->Row(1)[2]), (std::vector<int>{3, 3, 3, 255}));
}

TEST_F(TgaTest, RunPacketSpanningTwoRowsFails)
{
    TgaHeader h;
    h.type = 11;
    h.depth = 8;
    h.width = 2;
    h.height = 2;
    EXPECT_EQ(ReadFromBytes(Concat(h.Bytes(), {0x83, 7})), nullptr);
    EXPECT_NE(ReadFromBytes(Concat(h.Bytes(), {0x81, 7, 0x81, 7})), nullptr);
}

TEST_F(TgaTest, GreyRowsPackIntoRunAndRawPackets)
{
    BitmapPtr b(TBitmap::Create(130, 2, true, false, 8));
    for (int x = 0; x < 130; ++x)
        b->Row(0)[x] = PackRGBA(9, 9, 9, 255);
    const uint8_t row1[] = {1, 2, 2, 2, 3};
    for (int x = 0; x < 130; ++x) {
        const uint8_t v = x < 5 ? row1[x] : uint8_t(x);  // distinct values after the first five
        b->Row(1)[x] = PackRGBA(v, v, v, 255);
    }
    const std::string path = dir.File("grey.tga");
    ASSERT_TRUE(WriteTGA(path.c_str(), b.get()));
    const std::vector<uint8_t> f = ReadBytes(path);
    std::vector<uint8_t> data(f.begin() + 18, f.end());
    // Row 0: run of 128, raw packet of 2 (two equal pixels never make a run).
    std::vector<uint8_t> expect = {0xFF, 9, 0x01, 9, 9};
    // Row 1: raw 1, run 3, then one raw packet of the remaining 126 distinct values.
    std::vector<uint8_t> row1expect = {0x00, 1, 0x82, 2, 125, 3};
    for (int x = 5; x < 130; ++x)
        row1expect.push_back(uint8_t(x));
    expect.insert(expect.end(), row1expect.begin(), row1expect.end());
    EXPECT_EQ(data, expect);
    BitmapPtr back(ReadTGA(path.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(SamePixels(*back, *b));
}

// --- refusals ------------------------------------------------------------------------

TEST_F(TgaTest, RefusalsSayWhy)
{
    const auto header = [](uint8_t type, uint8_t depth, uint8_t map_bits = 0) {
        TgaHeader h;
        h.type = type;
        h.depth = depth;
        h.map_type = map_bits ? 1 : 0;
        h.map_length = map_bits ? 1 : 0;
        h.map_bits = map_bits;
        h.width = 2;
        return h;
    };
    TgaHeader long_id = header(2, 24);
    long_id.id_length = 200;
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        ImageError error;
    } cases[] = {
        {"short header", {0, 0, 2, 0}, ImageError::kNotTga},
        {"type 0", Concat(header(0, 24).Bytes(), {1, 2, 3}), ImageError::kNotTga},
        {"type 4", Concat(header(4, 24).Bytes(), {1, 2, 3}), ImageError::kNotTga},
        {"type 7", Concat(header(7, 24).Bytes(), {1, 2, 3}), ImageError::kNotTga},
        {"true colour at 8 bits", Concat(header(2, 8).Bytes(), {1, 2}), ImageError::kUnsupported},
        // Grey and index data wider than a byte would be read as scrambled bytes.
        {"16-bit grey with alpha", Concat(header(3, 16).Bytes(), {1, 2, 3, 4}), ImageError::kUnsupported},
        {"16-bit grey, run-length", Concat(header(11, 16).Bytes(), {0x81, 1, 2}), ImageError::kUnsupported},
        {"16-bit indices", Concat(header(1, 16, 24).Bytes(), {1, 2, 3, 0, 0, 0, 0}), ImageError::kUnsupported},
        {"16-bit indices, run-length", Concat(header(9, 16, 24).Bytes(), {1, 2, 3, 0x81, 0, 0}),
         ImageError::kUnsupported},
        {"8-bit map entries", Concat(header(1, 8, 8).Bytes(), {1, 0, 0}), ImageError::kUnsupported},
        {"one byte short", Concat(header(2, 24).Bytes(), {1, 2, 3, 4, 5}), ImageError::kCorrupt},
        {"id past the end", Concat(long_id.Bytes(), {1, 2, 3}), ImageError::kCorrupt},
        {"map past the end", Concat(header(1, 8, 32).Bytes(), {1, 2}), ImageError::kCorrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageError error = ImageError::kNone;
        EXPECT_EQ(ReadFromBytes(c.file, &error), nullptr);
        EXPECT_EQ(error, c.error) << ImageErrorText(error);
    }
    ImageError error = ImageError::kNone;
    EXPECT_EQ(ReadTGA(dir.File("missing.tga").c_str(), &error), nullptr);
    EXPECT_EQ(error, ImageError::kNoSuchFile);
    EXPECT_EQ(ReadTGA(dir.File("").c_str(), &error), nullptr);  // a directory
    EXPECT_EQ(error, ImageError::kNotRegular);
}

TEST_F(TgaTest, HugeClaimInTinyFileIsRefusedBeforeAllocating)
{
    TgaHeader h;
    h.width = 65535;
    h.height = 65535;
    h.depth = 32;
    EXPECT_EQ(ReadFromBytes(Concat(h.Bytes(), {1, 2, 3, 4})), nullptr);
    h.type = 10;
    EXPECT_EQ(ReadFromBytes(Concat(h.Bytes(), {0xFF, 1, 2, 3, 4})), nullptr);
}

TEST_F(TgaTest, WriterRefusesSidesAboveSixteenBits)
{
    BitmapPtr wide(TBitmap::Create(65536, 1, false, false, 8));
    ASSERT_NE(wide, nullptr);
    EXPECT_FALSE(WriteTGA(dir.File("wide.tga").c_str(), wide.get()));
    BitmapPtr edge(TBitmap::Create(65535, 1, true, false, 8));
    for (int x = 0; x < 65535; ++x)
        edge->pixels[x] = PackRGBA(4, 4, 4, 255);
    EXPECT_TRUE(WriteTGA(dir.File("edge.tga").c_str(), edge.get()));
    EXPECT_FALSE(WriteTGA(dir.File("no/such/dir.tga").c_str(), edge.get()));
    EXPECT_FALSE(WriteTGA(dir.File("null.tga").c_str(), nullptr));
}

TEST_F(TgaTest, WriteToFullDeviceReportsFailure)
{
    BitmapPtr b = MakePattern(64, 64, false, false);
    if (FILE* probe = std::fopen("/dev/full", "wb"))
        std::fclose(probe);
    else
        GTEST_SKIP() << "/dev/full not available";
    EXPECT_FALSE(WriteTGA("/dev/full", b.get()));
}

}  // namespace
