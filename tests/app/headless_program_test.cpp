// The program without a window, run as a user runs it: a screenshot to a
// file, a recording split over two processes that matches the whole one
// byte for byte, and what a bad command line or dataset gives.
#include "support/run_directory.h"
#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include "image/png_file.h"
#include "image/tga.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Two keys two seconds apart: 48 frames.
constexpr const char* kKeys = "2\n"
                              "0 0 0 0 3 -2 -5 0 0.247404 0 0.968912\n"
                              "2 0 0 0 1 -3 -1 0 0.434966 0 0.900447\n";

class HeadlessProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(testsupport::MakeRunDirectory(m_run, &why)) << why;
        std::ofstream(m_run / "keys.txt") << kKeys;
    }

    testsupport::ToolRun Run(const std::string& arguments, const std::string& environment = "")
    {
        return testsupport::RunTool("cd '" + m_run.string() + "' && " + environment + " '" NERELLE_PROGRAM "'",
                                    arguments, m_scratch.Path());
    }

    testsupport::ScratchDir m_scratch{"headless"};
    fs::path m_run = m_scratch / "run";
};

// The view options change the batch picture: the error view recolours
// the solution track (only the track and the HUD's line), the follow camera
// looks from elsewhere; the same options give the same picture.
TEST_F(HeadlessProgramTest, FollowAndErrorViewOptionsChangeTheScreenshot)
{
    const auto shoot = [&](const std::string& name, const std::string& options) {
        const testsupport::ToolRun run = Run("--screenshot " + name + " --time 40 --size 320x240 " + options);
        EXPECT_EQ(run.status, 0) << options << run.err;
        BitmapPtr image = ReadPNG((m_run / name).c_str());
        return image ? std::vector<uint32_t>(image->pixels, image->pixels + 320 * 240) : std::vector<uint32_t>();
    };
    const std::vector<uint32_t> plain = shoot("plain.png", "");
    const std::vector<uint32_t> error = shoot("error.png", "--error-view");
    const std::vector<uint32_t> red = shoot("red.png", "--error-view --error-thresholds 0.01,0.02");
    const std::vector<uint32_t> follow = shoot("follow.png", "--follow");
    ASSERT_EQ(plain.size(), size_t(320 * 240));
    size_t changed = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        changed += plain[i] != error[i];
    EXPECT_GT(changed, 0u);
    EXPECT_LT(changed, plain.size() / 10);  // the track and the HUD, not the scene
    EXPECT_NE(error, red);                  // thresholds below every error: all red
    EXPECT_NE(plain, follow);
    EXPECT_EQ(follow, shoot("follow2.png", "--follow"));
}

TEST_F(HeadlessProgramTest, ScreenshotsAreWrittenByExtensionAtTheSizeAsked)
{
    const testsupport::ToolRun png = Run("--screenshot shots/a.png --time 120 --size 320x240");
    ASSERT_EQ(png.status, 0) << png.err;
    // A first start in a fresh run directory builds the font caches first.
    EXPECT_TRUE(png.out.ends_with("wrote shots/a.png (320 x 240, t = 120 s)\n")) << png.out;
    BitmapPtr image = ReadPNG((m_run / "shots" / "a.png").c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 320);
    EXPECT_EQ(image->height, 240);

    const testsupport::ToolRun tga = Run("--screenshot b.tga --size 160x120 --keys keys.txt --time 1");
    ASSERT_EQ(tga.status, 0) << tga.err;
    BitmapPtr keyed = ReadTGA((m_run / "b.tga").c_str());
    ASSERT_TRUE(keyed);
    EXPECT_EQ(keyed->width, 160);
    EXPECT_FALSE(fs::exists(m_run / "b.tga.part"));
}

TEST_F(HeadlessProgramTest, ARecordingSplitInTwoIsTheWholeOneByteForByte)
{
    const testsupport::ToolRun whole = Run("--record keys.txt --out whole --size 160x90");
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_TRUE(whole.out.ends_with("wrote frames 0 to 47 of 48 to whole (160 x 90)\n")) << whole.out;
    // Not a terminal: a progress line per 100 frames and one at the end.
    EXPECT_EQ(whole.err.rfind("48 / 48 frames, ", 0), 0u) << whole.err;
    EXPECT_EQ(std::count(whole.err.begin(), whole.err.end(), '\n'), 1) << whole.err;
    for (const char* part : {"0:30", "30:100"}) {
        const testsupport::ToolRun half = Run(std::string("--record keys.txt --out halves --size 160x90 --frames ") + part);
        ASSERT_EQ(half.status, 0) << half.err;
    }
    size_t frames = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_run / "whole")) {
        const fs::path other = m_run / "halves" / entry.path().filename();
        ASSERT_TRUE(fs::exists(other)) << other;
        EXPECT_EQ(testsupport::ReadFileText(entry.path()), testsupport::ReadFileText(other)) << other;
        ++frames;
    }
    EXPECT_EQ(frames, 48u);
    EXPECT_TRUE(fs::exists(m_run / "halves" / "frame_00029.png"));
    EXPECT_FALSE(fs::exists(m_run / "halves" / "frame_00048.png"));
}

TEST_F(HeadlessProgramTest, FramesOfAnEarlierRecordingAreReplacedOnlyWithOverwrite)
{
    ASSERT_EQ(Run("--record keys.txt --out again --size 32x18").status, 0);
    fs::remove(m_run / "again" / "frame_00010.png");
    const struct {
        const char* arguments;
        int status;
        const char* error;
    } cases[] = {
        {"--record keys.txt --out again --size 32x18", 1,
         "error: again already holds 47 frames; give --overwrite to replace them, or another --out\n"},
        {"--record keys.txt --out again --size 32x18 --frames 5:12", 1,
         "error: again already holds 6 frames of this range; give --overwrite to replace them, or another --out\n"},
        {"--record keys.txt --out again --size 32x18 --frames 10:11", 0, ""},  // the missing one
        {"--record keys.txt --out again --size 32x18 --overwrite", 0, ""},
    };
    for (const auto& c : cases) {
        const testsupport::ToolRun run = Run(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        if (c.status != 0) {
            EXPECT_EQ(run.err, c.error) << c.arguments;
        }
    }
}

TEST_F(HeadlessProgramTest, VideoGoesThroughFfmpegOrIsRefusedBeforeRendering)
{
    const testsupport::ToolRun missing = Run("--record keys.txt --video v.mp4", "NERELLE_FFMPEG=/nonexistent");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("error: ffmpeg not found", 0), 0u) << missing.err;
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << "nothing rendered: " << missing.err;
    EXPECT_FALSE(fs::exists(m_run / "v.mp4"));

    if (testsupport::RunTool("ffprobe", "-version", m_scratch.Path()).status != 0)
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh installs it)";
    const testsupport::ToolRun video = Run("--record keys.txt --video v.mp4 --size 160x90");
    ASSERT_EQ(video.status, 0) << video.err;
    EXPECT_TRUE(video.out.ends_with("wrote v.mp4: frames 0 to 47 of 48 (160 x 90, 23.976 fps)\n")) << video.out;
    const testsupport::ToolRun probe =
        testsupport::RunTool("ffprobe", "-v error -count_frames -show_entries stream=codec_name,width,height,"
                             "r_frame_rate,nb_read_frames -of csv=p=0 '" + (m_run / "v.mp4").string() + "'",
                             m_scratch.Path());
    EXPECT_EQ(probe.out, "h264,160,90,24000/1001,48\n");
    EXPECT_FALSE(fs::exists(m_run / "frames"));
}

TEST_F(HeadlessProgramTest, FailuresExitWithAReasonAndWriteNothing)
{
    std::ofstream(m_run / "one_key.txt") << "1\n0 0 0 0 3 -2 -5 0 0.247404 0 0.968912\n";
    const struct {
        const char* arguments;
        int status;
        const char* error;  // start of standard error
    } cases[] = {
        {"--screenshot x.jpg", 2, "error: --screenshot writes .tga or .png files: x.jpg\n\nusage: nerelle"},
        {"--frames 1:2", 2, "error: --frames belongs to --record\n"},
        {"--data missing --screenshot x.png", 1, "error: dataset missing: "},
        {"--record missing.txt", 1, "error: missing.txt: "},
        {"--record one_key.txt", 1, "error: one_key.txt: the animation needs at least two keys"},
        {"--record keys.txt --frames 48:60", 1, "error: --frames 48:60 starts past the 48 frames of keys.txt\n"},
        {"--screenshot keys.txt/x.png", 1, "error: cannot create the directory keys.txt: "},
    };
    for (const auto& c : cases) {
        const testsupport::ToolRun run = Run(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_EQ(run.err.rfind(c.error, 0), 0u) << c.arguments << ": " << run.err;
        EXPECT_FALSE(fs::exists(m_run / "x.png")) << c.arguments;
        EXPECT_FALSE(fs::exists(m_run / "frames")) << c.arguments;
    }
}

}  // namespace
