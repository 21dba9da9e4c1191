// Decoder choice by file name, and the nerelle-image tool run on real files.
#include "image/image_file.h"
#include "image/png_file.h"
#include "image/tga.h"

#include "image_test_util.h"
#include "jpeg_test_util.h"
#include "run_tool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using imagetest::MakePattern;
using imagetest::SamePixels;
using imagetest::WriteBytes;

namespace {

TEST(ImageKindTest, ExtensionSelectsKindIgnoringCase)
{
    EXPECT_EQ(ImageKindOfFile("Sky.PNG"), ImageKind::kPNG);
    EXPECT_EQ(ImageKindOfFile("a.Tga"), ImageKind::kTGA);
    EXPECT_EQ(ImageKindOfFile("b.JPEG"), ImageKind::kJPEG);
    EXPECT_EQ(ImageKindOfFile("b.jpg"), ImageKind::kJPEG);
    EXPECT_EQ(ImageKindOfFile("noext"), ImageKind::kNone);
    EXPECT_EQ(ImageKindOfFile("c.bmp"), ImageKind::kNone);
    EXPECT_EQ(ImageKindOfFile("archive.png.gz"), ImageKind::kNone);
    EXPECT_EQ(ImageKindOfFile("dir.tga/file"), ImageKind::kNone);  // "tga/file" is no known extension
    EXPECT_EQ(ImageKindOfFile("trailing."), ImageKind::kNone);
    EXPECT_EQ(ImageKindOfFile(nullptr), ImageKind::kNone);
}

TEST(ImageFileTest, UnknownExtensionFallsBackThroughPngTgaJpeg)
{
    imagetest::ScratchDir dir;
    BitmapPtr src = MakePattern(9, 7, false, true);
    // A TGA and a JPEG without extensions: the PNG attempt fails inside
    // libpng and must not stop the fallback.
    const std::string tga = dir.Path("picture");
    ASSERT_TRUE(WriteTGA(tga.c_str(), src.get()));
    BitmapPtr t(ReadImageFile(tga.c_str()));
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(SamePixels(*t, *src));

    imagetest::JpegParams params;
    params.width = 16;
    params.height = 8;
    params.pixels = imagetest::PhotoPixels(16, 8, false);
    const std::string jpeg = dir.Path("photo.bin");
    WriteBytes(jpeg, imagetest::EncodeJpeg(params));
    BitmapPtr j(ReadImageFile(jpeg.c_str()));
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->width, 16);

    // A known extension gets no second attempt.
    const std::string misnamed = dir.Path("really_tga.png");
    ASSERT_TRUE(WriteTGA(misnamed.c_str(), src.get()));
    EXPECT_EQ(ReadImageFile(misnamed.c_str()), nullptr);
}

// --- the tool ---------------------------------------------------------------------------

using RunResult = testsupport::ToolRun;

RunResult RunTool(const imagetest::ScratchDir& dir, const std::string& args)
{
    return testsupport::RunTool(std::string(NERELLE_BINARY_DIR) + "/tools/image/nerelle-image", args, dir.Path(""));
}

TEST(NerelleImageToolTest, ConvertsAndDescribes)
{
    imagetest::ScratchDir dir;
    imagetest::JpegParams params;
    params.width = 33;
    params.height = 21;
    params.pixels = imagetest::PhotoPixels(33, 21, false);
    const std::string jpeg = dir.Path("in.jpg"), png = dir.Path("out.png"), tga = dir.Path("out.tga");
    WriteBytes(jpeg, imagetest::EncodeJpeg(params));

    RunResult r = RunTool(dir, "convert " + jpeg + " " + png);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunTool(dir, "convert " + png + " " + tga);
    ASSERT_EQ(r.status, 0) << r.err;
    BitmapPtr a(ReadPNG(png.c_str())), b(ReadTGA(tga.c_str()));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(SamePixels(*a, *b));

    r = RunTool(dir, "info " + png);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "width 33\nheight 21\ngreyscale 0\nhas_alpha 0\nbits_per_channel 8\n");
}

TEST(NerelleImageToolTest, ReportsFailuresWithNames)
{
    imagetest::ScratchDir dir;
    const std::string missing = dir.Path("missing.png");
    RunResult r = RunTool(dir, "convert " + missing + " " + dir.Path("x.tga"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: cannot read " + missing + "\n");

    const std::string good = dir.Path("good.tga");
    BitmapPtr src = MakePattern(4, 4, true, false);
    ASSERT_TRUE(WriteTGA(good.c_str(), src.get()));
    const std::string unwritable = dir.Path("no/such/dir/out.png");
    r = RunTool(dir, "convert " + good + " " + unwritable);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: cannot write " + unwritable + "\n");

    r = RunTool(dir, "info " + missing);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("error: cannot read", 0), 0u);
    r = RunTool(dir, "frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u);
}

}  // namespace
