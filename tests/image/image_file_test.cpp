// Decoder choice by file name, and the nerelle-image tool run on real files.
#include "image/image_file.h"
#include "image/png_file.h"
#include "image/tga.h"

#include "image/hostile_images.h"
#include "image/image_test_util.h"
#include "image/jpeg_test_util.h"
#include "support/run_tool.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
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
    const std::string tga = dir.File("picture");
    ASSERT_TRUE(WriteTGA(tga.c_str(), src.get()));
    BitmapPtr t = ReadImageFile(tga.c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(SamePixels(*t, *src));

    imagetest::JpegParams params;
    params.width = 16;
    params.height = 8;
    params.pixels = imagetest::PhotoPixels(16, 8, false);
    const std::string jpeg = dir.File("photo.bin");
    WriteBytes(jpeg, imagetest::EncodeJpeg(params));
    BitmapPtr j = ReadImageFile(jpeg.c_str());
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->width, 16);

    // A known extension gets no second attempt.
    const std::string misnamed = dir.File("really_tga.png");
    ASSERT_TRUE(WriteTGA(misnamed.c_str(), src.get()));
    ImageError error = ImageError::kNone;
    EXPECT_EQ(ReadImageFile(misnamed.c_str(), &error), nullptr);
    EXPECT_EQ(error, ImageError::kNotPng);
}

// --- the tool ---------------------------------------------------------------------------

using RunResult = testsupport::ToolRun;

RunResult RunTool(const imagetest::ScratchDir& dir, const std::string& args)
{
    return testsupport::RunTool(std::string(NERELLE_BINARY_DIR) + "/tools/image/nerelle-image", args, dir.File(""));
}

TEST(NerelleImageToolTest, ConvertsAndDescribes)
{
    imagetest::ScratchDir dir;
    imagetest::JpegParams params;
    params.width = 33;
    params.height = 21;
    params.pixels = imagetest::PhotoPixels(33, 21, false);
    const std::string jpeg = dir.File("in.jpg"), png = dir.File("out.png"), tga = dir.File("out.tga");
    WriteBytes(jpeg, imagetest::EncodeJpeg(params));

    RunResult r = RunTool(dir, "convert " + jpeg + " " + png);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunTool(dir, "convert " + png + " " + tga);
    ASSERT_EQ(r.status, 0) << r.err;
    BitmapPtr a = ReadPNG(png.c_str()), b = ReadTGA(tga.c_str());
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
    const std::string missing = dir.File("missing.png");
    RunResult r = RunTool(dir, "convert " + missing + " " + dir.File("x.tga"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: cannot read " + missing + ": no such file\n");

    const std::string good = dir.File("good.tga");
    BitmapPtr src = MakePattern(4, 4, true, false);
    ASSERT_TRUE(WriteTGA(good.c_str(), src.get()));
    const std::string unwritable = dir.File("no/such/dir/out.png");
    r = RunTool(dir, "convert " + good + " " + unwritable);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: cannot write " + unwritable + ": No such file or directory\n");

    r = RunTool(dir, "frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u);
}

TEST(NerelleImageToolTest, SaysWhyAFileCannotBeRead)
{
    imagetest::ScratchDir dir;
    imagetest::JpegParams params;
    params.width = 16;
    params.height = 16;
    params.pixels = imagetest::PhotoPixels(16, 16, false);
    params.progressive = true;
    WriteBytes(dir.File("progressive.jpg"), imagetest::EncodeJpeg(params));
    WriteBytes(dir.File("deep.png"), imagetest::ZeroPng(4, 4, 0, 16));
    WriteBytes(dir.File("notes"), {'s', 'o', 'm', 'e', ' ', 't', 'e', 'x', 't', '\n'});
    std::vector<uint8_t> cut = imagetest::FlatGreyTga(40, 40, 3);
    cut.resize(cut.size() - 7);
    WriteBytes(dir.File("cut.tga"), cut);
    WriteBytes(dir.File("flat.jpg"), imagetest::FlatGreyJpeg(100, 0));
    WriteBytes(dir.File("ten.tga"), imagetest::FlatGreyTga(10, 10, 3));
    const struct {
        std::string args, file, reason;  // reason empty: read
    } cases[] = {
        {"info", "missing.png", "no such file"},
        {"info", "notes", "not a TGA, PNG or JPEG"},
        {"info", "progressive.jpg", "progressive JPEG not supported"},
        {"info", "deep.png", "16-bit PNG not supported"},
        {"info", "cut.tga", "truncated or corrupt"},
        {"info", "flat.jpg", "width or height is zero"},
        {"--max-pixels 99 info", "ten.tga", "larger than the pixel budget"},
        {"--max-pixels 100 info", "ten.tga", ""},
        {"info", "ten.tga", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + " " + c.file);
        const std::string path = dir.File(c.file);
        const RunResult r = RunTool(dir, c.args + " " + path);
        EXPECT_EQ(r.status, c.reason.empty() ? 0 : 1);
        EXPECT_EQ(r.err, c.reason.empty() ? "" : "error: cannot read " + path + ": " + c.reason + "\n");
    }
    // The budget also applies to convert, which then writes nothing.
    RunResult r = RunTool(dir, "--max-pixels 50 convert " + dir.File("ten.tga") + " " + dir.File("out.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.png")));
}

// IN may be standard input, read by content; a FIFO named as IN is refused
// at once (a tool that waited on it is killed and the test fails).
TEST(NerelleImageToolTest, ReadsStandardInputAndRefusesAFifo)
{
    imagetest::ScratchDir dir;
    const std::string tga = dir.File("ten.tga"), fifo = dir.File("pipe.tga");
    WriteBytes(tga, imagetest::FlatGreyTga(10, 10, 3));
    RunResult r = RunTool(dir, "info - <" + tga);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("width 10\nheight 10\n", 0), 0u) << r.out;

    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string tool = std::string(NERELLE_BINARY_DIR) + "/tools/image/nerelle-image";
    for (const std::string& args : {"info " + fifo, "convert " + fifo + " " + dir.File("out.png")}) {
        SCOPED_TRACE(args);
        r = testsupport::RunTool(testsupport::WithTimeLimit(tool, 20), args, dir.Path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "error: cannot read " + fifo + ": not a regular file\n");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.png")));
}

// A write that fails part way (here at a file-size limit, as on a full
// disk) leaves neither a truncated OUT nor its temporary file; an OUT that
// was there before keeps its content.
TEST(NerelleImageToolTest, ConvertWritesWholeOrNothing)
{
    imagetest::ScratchDir dir;
    const std::string in = dir.File("noise.tga");
    BitmapPtr src = MakePattern(256, 256, false, true);
    ASSERT_TRUE(WriteTGA(in.c_str(), src.get()));
    const std::string tool = testsupport::UnderFileSizeLimit(
        std::string(NERELLE_BINARY_DIR) + "/tools/image/nerelle-image", 16 * 1024);
    for (const char* name : {"out.png", "out.tga"}) {
        SCOPED_TRACE(name);
        const std::string out = dir.File(name);
        std::filesystem::remove(out);
        RunResult r = testsupport::RunTool(tool, "convert " + in + " " + out, dir.Path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "error: cannot write " + out + ": File too large\n");
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_FALSE(std::filesystem::exists(out + ".part"));

        WriteBytes(out, {'o', 'l', 'd'});
        r = testsupport::RunTool(tool, "convert " + in + " " + out, dir.Path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(testsupport::ReadFileText(out), "old");
        EXPECT_FALSE(std::filesystem::exists(out + ".part"));
    }
}

TEST(NerelleImageToolTest, HelpGoesToStandardOutputAndBadOptionsAreRefused)
{
    imagetest::ScratchDir dir;
    RunResult r = RunTool(dir, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("usage: nerelle-image", 0), 0u);
    EXPECT_NE(r.out.find("--max-pixels N"), std::string::npos);
    for (const char* args : {"--max-pixels", "--max-pixels 0 info x.png", "--max-pixels -5 info x.png",
                             "--max-pixels 12abc info x.png", "--max-pixels 10"}) {
        SCOPED_TRACE(args);
        r = RunTool(dir, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("error: ", 0), 0u);
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
