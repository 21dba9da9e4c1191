#include "image/jpeg_decoder.h"

#include "image/image_test_util.h"
#include "image/jpeg_test_util.h"

#include <gtest/gtest.h>

using imagetest::Bytes;
using imagetest::DecodeJpegReference;
using imagetest::EncodeJpeg;
using imagetest::JpegParams;
using imagetest::PhotoPixels;
using imagetest::Psnr;
using imagetest::SamePixels;
using imagetest::WriteBytes;

namespace {

// Offset of the first segment with this marker among the header segments
// (before the entropy-coded data); npos when absent.
size_t FindSegment(const std::vector<uint8_t>& f, uint8_t marker)
{
    size_t i = 2;  // after SOI
    while (i + 4 <= f.size() && f[i] == 0xFF) {
        if (f[i + 1] == marker)
            return i;
        if (f[i + 1] == 0xDA)
            break;
        i += 2 + size_t(f[i + 2] << 8 | f[i + 3]);
    }
    return std::string::npos;
}

std::vector<uint8_t> Insert(std::vector<uint8_t> f, size_t at, const std::vector<uint8_t>& bytes)
{
    f.insert(f.begin() + long(at), bytes.begin(), bytes.end());
    return f;
}

class JpegTest : public ::testing::Test {
protected:
    BitmapPtr Decode(const std::vector<uint8_t>& file)
    {
        const std::string path = dir.File("in.jpg");
        WriteBytes(path, file);
        error = ImageError::kNone;
        return ReadJPEG(path.c_str(), &error);
    }
    // Encodes, decodes with ours and libjpeg, and returns the PSNR between them.
    double CompareWithLibjpeg(const JpegParams& params, BitmapPtr* out = nullptr)
    {
        const std::vector<uint8_t> file = EncodeJpeg(params);
        EXPECT_FALSE(file.empty());
        int w = 0, h = 0, channels = 0;
        const std::vector<uint8_t> ref = DecodeJpegReference(file, &w, &h, &channels);
        BitmapPtr ours = Decode(file);
        if (!ours)
            return -1;
        EXPECT_EQ(ours->width, w);
        EXPECT_EQ(ours->height, h);
        EXPECT_EQ(ours->greyscale, params.grey);
        EXPECT_EQ(ours->has_alpha, 0);
        const double psnr = Psnr(*ours, ref, channels);
        RecordProperty("psnr", std::to_string(psnr));
        if (out)
            *out = std::move(ours);
        return psnr;
    }
    imagetest::ScratchDir dir;
    ImageError error = ImageError::kNone;  // why the last Decode failed
};

// --- agreement with libjpeg ---------------------------------------------------------

TEST_F(JpegTest, SamplingLayoutsMatchLibjpeg)
{
    struct Case {
        const char* name;
        bool grey;
        int h, v;
    } cases[] = {{"4:4:4", false, 1, 1}, {"4:2:2", false, 2, 1}, {"4:2:0", false, 2, 2}, {"grey", true, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JpegParams s;
        s.width = 83;
        s.height = 61;
        s.grey = c.grey;
        s.h_luma = c.h;
        s.v_luma = c.v;
        s.pixels = PhotoPixels(s.width, s.height, s.grey);
        BitmapPtr b;
        EXPECT_GT(CompareWithLibjpeg(s, &b), 30.0);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->bits_per_channel, 8);
        for (int i = 0; i < b->width * b->height; ++i)
            ASSERT_EQ(b->pixels[i] >> 24, 255u);
        if (c.grey) {
            const std::vector<int> p = Bytes(b->pixels[100]);
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[0], p[2]);
        }
    }
}

TEST_F(JpegTest, OptimisedTablesAndLowQualityMatchLibjpeg)
{
    JpegParams s;
    s.width = 40;
    s.height = 40;
    s.h_luma = s.v_luma = 2;
    s.optimize = true;  // long codes in custom tables exercise the slow path of the look-up
    s.quality = 25;
    s.pixels = PhotoPixels(s.width, s.height, false, 3);
    EXPECT_GT(CompareWithLibjpeg(s), 30.0);
}

TEST_F(JpegTest, OddSizeCropsToTheFrame)
{
    JpegParams s;
    s.width = 17;
    s.height = 9;
    s.pixels = PhotoPixels(s.width, s.height, false);
    BitmapPtr b;
    EXPECT_GT(CompareWithLibjpeg(s, &b), 30.0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 17);
    EXPECT_EQ(b->height, 9);
}

TEST_F(JpegTest, ChromaIsReplicatedOverTwoByTwoSquares)
{
    // Uniform luma, chroma changing per 2 x 2 square: every square decodes
    // to one colour because Y is flat and each chroma sample covers it.
    JpegParams s;
    s.width = 32;
    s.height = 32;
    s.h_luma = s.v_luma = 2;
    s.quality = 100;
    s.pixels.resize(32 * 32 * 3);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint8_t* p = &s.pixels[size_t(y * 32 + x) * 3];
            p[0] = 128;
            p[1] = 128;
            p[2] = uint8_t(((x / 8) + (y / 8)) % 2 ? 160 : 96);
        }
    BitmapPtr b = Decode(EncodeJpeg(s));
    ASSERT_NE(b, nullptr);
    for (int y = 0; y < 32; y += 2)
        for (int x = 0; x < 32; x += 2) {
            const uint32_t w = b->Row(y)[x];
            EXPECT_EQ(b->Row(y)[x + 1], w);
            EXPECT_EQ(b->Row(y + 1)[x], w);
            EXPECT_EQ(b->Row(y + 1)[x + 1], w);
        }
}

TEST_F(JpegTest, MidGreyIsExact)
{
    JpegParams s;
    s.width = 16;
    s.height = 16;
    s.pixels.assign(16 * 16 * 3, 128);
    BitmapPtr b = Decode(EncodeJpeg(s));
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(Bytes(b->pixels[i]), (std::vector<int>{128, 128, 128, 255}));
}

// --- restarts -------------------------------------------------------------------------------

TEST_F(JpegTest, RestartMarkersDecodeLikeWithout)
{
    JpegParams s;
    s.width = 70;
    s.height = 50;
    s.h_luma = 2;
    s.v_luma = 2;
    s.pixels = PhotoPixels(s.width, s.height, false, 11);
    BitmapPtr plain = Decode(EncodeJpeg(s));
    ASSERT_NE(plain, nullptr);
    for (int interval : {1, 3, 7}) {
        s.restart_interval = interval;
        BitmapPtr restarted = Decode(EncodeJpeg(s));
        ASSERT_NE(restarted, nullptr) << interval;
        EXPECT_TRUE(SamePixels(*plain, *restarted)) << interval;
    }
}

TEST_F(JpegTest, StuffedByteBeforeRestartMarkerKeepsAlignment)
{
    // Find an encoding whose entropy data ends an interval with FF 00 just
    // before the restart marker: the stuffing must not shift the marker search.
    for (uint32_t seed = 1; seed < 400; ++seed) {
        JpegParams s;
        s.width = 64;
        s.height = 64;
        s.quality = 95;
        s.restart_interval = 1;
        s.pixels = PhotoPixels(s.width, s.height, false, seed);
        for (auto& p : s.pixels)
            p = uint8_t(p ^ (seed * 37));
        const std::vector<uint8_t> f = EncodeJpeg(s);
        bool found = false;
        for (size_t i = 0; i + 3 < f.size() && !found; ++i)
            found = f[i] == 0xFF && f[i + 1] == 0x00 && f[i + 2] == 0xFF && (f[i + 3] & 0xF8) == 0xD0;
        if (!found)
            continue;
        s.restart_interval = 0;
        BitmapPtr plain = Decode(EncodeJpeg(s));
        BitmapPtr restarted = Decode(f);
        ASSERT_NE(plain, nullptr);
        ASSERT_NE(restarted, nullptr) << "seed " << seed;
        EXPECT_TRUE(SamePixels(*plain, *restarted));
        return;
    }
    GTEST_SKIP() << "no encoding with a stuffed byte before a restart marker found";
}

// --- segments and refusals ---------------------------------------------------------------

TEST_F(JpegTest, ExifSegmentIsSkippedButForeignApp0IsRefused)
{
    JpegParams s;
    s.width = 16;
    s.height = 16;
    s.pixels = PhotoPixels(16, 16, false);
    const std::vector<uint8_t> f = EncodeJpeg(s);
    const size_t app0 = FindSegment(f, 0xE0);
    ASSERT_NE(app0, std::string::npos);
    const size_t after_app0 = app0 + 2 + size_t(f[app0 + 2] << 8 | f[app0 + 3]);
    const std::vector<uint8_t> exif = {0xFF, 0xE1, 0, 10, 'E', 'x', 'i', 'f', 0, 0, 1, 2};
    EXPECT_NE(Decode(Insert(f, after_app0, exif)), nullptr);
    const std::vector<uint8_t> jfxx = {0xFF, 0xE0, 0, 16, 'J', 'F', 'X', 'X', 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Decode(Insert(f, after_app0, jfxx)), nullptr);
    const std::vector<uint8_t> comment = {0xFF, 0xFE, 0, 5, 'h', 'i', '!'};
    EXPECT_NE(Decode(Insert(f, after_app0, comment)), nullptr);
}

TEST_F(JpegTest, ProgressiveAndArithmeticAreRefused)
{
    JpegParams s;
    s.width = 24;
    s.height = 24;
    s.pixels = PhotoPixels(24, 24, false);
    s.progressive = true;
    const std::vector<uint8_t> progressive = EncodeJpeg(s);
    ASSERT_FALSE(progressive.empty());
    EXPECT_EQ(Decode(progressive), nullptr);
    EXPECT_EQ(error, ImageError::kProgressiveJpeg);
    s.progressive = false;
    s.arithmetic = true;
    const std::vector<uint8_t> arithmetic = EncodeJpeg(s);
    if (arithmetic.empty())
        GTEST_SKIP() << "libjpeg without arithmetic coding";
    EXPECT_EQ(Decode(arithmetic), nullptr);
    EXPECT_EQ(error, ImageError::kUnsupported);
}

TEST_F(JpegTest, TwelveBitFramesAreRefused)
{
    JpegParams s;
    s.width = 16;
    s.height = 16;
    s.pixels = PhotoPixels(16, 16, false);
    std::vector<uint8_t> f = EncodeJpeg(s);
    const size_t sof = FindSegment(f, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    ASSERT_NE(Decode(f), nullptr);
    f[sof + 4] = 12;
    EXPECT_EQ(Decode(f), nullptr);
    EXPECT_EQ(error, ImageError::kUnsupported);
}

TEST_F(JpegTest, ComponentIdentifiersAreMatchedNotUsedAsIndices)
{
    JpegParams s;
    s.width = 32;
    s.height = 16;
    s.h_luma = 2;
    s.pixels = PhotoPixels(32, 16, false);
    std::vector<uint8_t> f = EncodeJpeg(s);
    BitmapPtr normal = Decode(f);
    ASSERT_NE(normal, nullptr);
    const size_t sof = FindSegment(f, 0xC0), sos = FindSegment(f, 0xDA);
    ASSERT_NE(sof, std::string::npos);
    ASSERT_NE(sos, std::string::npos);
    // Identifiers 2, 3, 4 (4 passes the frame check) in frame and scan.
    std::vector<uint8_t> shifted = f;
    for (int i = 0; i < 3; ++i) {
        shifted[sof + 10 + 3 * size_t(i)] = uint8_t(2 + i);
        shifted[sos + 5 + 2 * size_t(i)] = uint8_t(2 + i);
    }
    BitmapPtr b = Decode(shifted);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(SamePixels(*b, *normal));
    // Repeated identifiers are refused.
    std::vector<uint8_t> repeated = f;
    repeated[sof + 13] = repeated[sof + 10];
    EXPECT_EQ(Decode(repeated), nullptr);
}

TEST_F(JpegTest, OversizedSamplingAndQuantisationStayInBounds)
{
    JpegParams s;
    s.width = 40;
    s.height = 24;
    s.pixels = PhotoPixels(40, 24, false);
    std::vector<uint8_t> f = EncodeJpeg(s);
    const size_t sof = FindSegment(f, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    // Chroma sampled 4 x 4 while luma is 1 x 1: the MCU grows, blocks land
    // outside the luma plane and must be dropped there.
    std::vector<uint8_t> odd = f;
    odd[sof + 11 + 3] = 0x44;
    BitmapPtr b = Decode(odd);  // the data no longer fits the layout: either outcome, but safely
    if (b) {
        EXPECT_EQ(b->width, 40);
    }

    // A 16-bit quantisation table of maximal values: products wrap, nothing overflows.
    std::vector<uint8_t> dqt = {0xFF, 0xDB, 0, 3 + 128, 0x10};
    for (int i = 0; i < 64; ++i) {
        dqt.push_back(0xFF);
        dqt.push_back(0xFF);
    }
    BitmapPtr q = Decode(Insert(f, sof, dqt));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->width, 40);
}

TEST_F(JpegTest, BrokenFilesAreRefused)
{
    EXPECT_EQ(ReadJPEG(dir.File("missing.jpg").c_str(), &error), nullptr);
    EXPECT_EQ(error, ImageError::kNoSuchFile);
    EXPECT_EQ(Decode({'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xD9}), nullptr);
    EXPECT_EQ(error, ImageError::kNotJpeg);
    JpegParams s;
    s.width = 48;
    s.height = 48;
    s.pixels = PhotoPixels(48, 48, false);
    const std::vector<uint8_t> f = EncodeJpeg(s);
    EXPECT_EQ(Decode(std::vector<uint8_t>(f.begin(), f.begin() + long(f.size() / 2))), nullptr);
    EXPECT_EQ(error, ImageError::kCorrupt);
    EXPECT_EQ(Decode(std::vector<uint8_t>(f.begin(), f.end() - 2)), nullptr);  // no EOI
    EXPECT_EQ(Decode({0xFF, 0xD8, 0xFF, 0xD9}), nullptr);                      // no frame
    std::vector<uint8_t> no_tables = f;
    const size_t dht = FindSegment(f, 0xC4);
    ASSERT_NE(dht, std::string::npos);
    no_tables[dht + 1] = 0xFE;  // the Huffman tables become a comment
    EXPECT_EQ(Decode(no_tables), nullptr);
}

// Refused from the frame header: a long comment after it is never read,
// let alone the scan decoded. Measured in bytes rather than seconds, so the
// verdict does not depend on the machine's speed.
TEST_F(JpegTest, HugeFrameInTinyFileIsRefusedFromItsHeader)
{
    JpegParams s;
    s.width = 16;
    s.height = 16;
    s.pixels = PhotoPixels(16, 16, false);
    const std::vector<uint8_t> small = EncodeJpeg(s);
    const size_t sof = FindSegment(small, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    std::vector<uint8_t> comment(2 + 2 + 65533, 0x20);
    comment[0] = 0xFF;
    comment[1] = 0xFE;
    comment[2] = comment[3] = 0xFF;  // length 65535, the largest
    std::vector<uint8_t> f = Insert(small, sof + 2 + size_t(small[sof + 2] << 8 | small[sof + 3]), comment);
    const struct {
        uint8_t high, low;  // of both sides
        ImageError error;
    } cases[] = {
        {0x7F, 0xFF, ImageError::kTooLarge},  // 32767 x 32767
        {0x1F, 0x40, ImageError::kCorrupt},   // 8000 x 8000: within the budget, more blocks than the bytes can code
    };
    for (const auto& c : cases) {
        f[sof + 5] = f[sof + 7] = c.high;
        f[sof + 6] = f[sof + 8] = c.low;
        ImageInput in(f.data(), f.size());
        EXPECT_EQ(ReadJPEG(in, &error), nullptr);
        EXPECT_EQ(error, c.error);
        EXPECT_LT(in.Position(), f.size() / 2) << "of " << f.size() << " bytes";
    }
}

}  // namespace
