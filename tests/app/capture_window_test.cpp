// The screenshot and recording keys in the real program, in a real window
// on a private X server (Xvfb), pressed as a user presses them.
#include "support/program_runner.h"
#include "support/run_tool.h"
#include "support/x_server.h"

#include "image/png_file.h"
#include "image/tga.h"
#include "support/rgba_image.h"
#include "support/run_directory.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileText;

// Distinct colours of a bitmap, up to `limit`.
size_t DistinctColours(const TBitmap& b, size_t limit)
{
    std::set<uint32_t> colours;
    for (size_t i = 0; i < size_t(b.width) * size_t(b.height) && colours.size() < limit; i += 7)
        colours.insert(b.pixels[i] & 0xFFFFFFu);
    return colours.size();
}

class CaptureWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("nerelle-capture-window-" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        std::string why;
        ASSERT_TRUE(testsupport::MakeRunDirectory(m_dir / "run", &why)) << why;
        ASSERT_TRUE(m_xserver.Start(&why)) << "no X server: " << why;
    }

    void TearDown() override
    {
        m_program.Kill();
        m_xserver.Stop();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    fs::path m_dir;
    testsupport::XServer m_xserver;
    testsupport::ProgramRun m_program;
};

TEST_F(CaptureWindowTest, PTakesAScreenshotAndVRecordsTheLoadedKeys)
{
    // Two camera keys one second apart, for l to load.
    const fs::path run = m_dir / "run";
    std::ofstream(run / "animation.txt") << "2\n"
                                            "0 0 0 0 3 -2 -5 0 0.247404 0 0.968912\n"
                                            "1 0 0 0 1 -3 -1 0 0.434966 0 0.900447\n";
    ASSERT_TRUE(m_program.Start(NERELLE_PROGRAM, m_xserver.Display(), run, m_dir / "out.txt", m_dir / "err.txt"));
    ASSERT_TRUE(m_program.WaitForText(m_dir / "out.txt", "controls:", 60)) << ReadFileText(m_dir / "err.txt");
    const std::string window = m_program.FindWindow(m_xserver.Display(), "Nerelle Demo", 60);
    ASSERT_FALSE(window.empty()) << "no window titled \"Nerelle Demo\"";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // a few frames first

    // The keys queue up while each command runs inside the key callback.
    testsupport::PressKeys(m_xserver.Display(), window, "p l v");
    ASSERT_TRUE(m_program.WaitForText(m_dir / "out.txt", "\ndone\n", 300))
        << ReadFileText(m_dir / "out.txt") << ReadFileText(m_dir / "err.txt");
    testsupport::PressKeys(m_xserver.Display(), window, "Escape");
    const int status = m_program.Wait(60);
    ASSERT_NE(status, -1) << "the program did not end after Esc";
    ASSERT_TRUE(WIFEXITED(status)) << "the program was killed by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string out = ReadFileText(m_dir / "out.txt");
    const std::string err = ReadFileText(m_dir / "err.txt");
    EXPECT_EQ(err.find("error: "), std::string::npos) << err;
    EXPECT_NE(out.find("loaded 2 keypoints\n"), std::string::npos) << out;
    EXPECT_NE(out.find("rendering frame 0 / 24\r"), std::string::npos) << out;
    EXPECT_NE(out.find("rendering frame 23 / 24\r\ndone\n"), std::string::npos) << out;

    BitmapPtr shot = ReadTGA((run / "screenshots" / "screenshot_000.tga").c_str());
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->width, 4096);
    EXPECT_EQ(shot->height, 3072);
    EXPECT_GT(DistinctColours(*shot, 1000), 500u) << "the screenshot shows no scene";
    EXPECT_FALSE(fs::exists(run / "screenshots" / "screenshot_001.tga"));

    for (unsigned k = 0; k < 24; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05u.png", k);
        BitmapPtr frame = ReadPNG((run / "frames" / name).c_str());
        ASSERT_TRUE(frame) << name;
        EXPECT_EQ(frame->width, 1280);
        EXPECT_EQ(frame->height, 720);
        if (k == 12) {
            EXPECT_GT(DistinctColours(*frame, 1000), 500u) << "the frame shows no scene";
            testsupport::SaveForViewing(testsupport::FromBitmap(*frame), "window_recorded_frame_00012");
        }
    }
    EXPECT_FALSE(fs::exists(run / "frames" / "frame_00024.png"));

    // The screenshot at an eighth of its size, for looking at.
    testsupport::RgbaImage small{512, 384, std::vector<uint8_t>(512 * 384 * 4)};
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            for (int c = 0; c < 4; ++c)
                small.At(x, y)[c] = uint8_t(shot->Row(y * 8)[x * 8] >> (8 * c));
    testsupport::SaveForViewing(small, "window_screenshot_small");
}

}  // namespace
