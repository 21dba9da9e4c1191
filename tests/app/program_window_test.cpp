// Runs the real program as a user does: in a real window on an X server
// (Xvfb), checking what it prints, its window, and that Esc ends it cleanly.
#include "support/program_runner.h"
#include "support/rgba_image.h"
#include "support/run_directory.h"
#include "support/run_tool.h"
#include "support/x_server.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileText;
using testsupport::RunOnDisplay;

const char* const kControlSummary =
    "controls:\n"
    "n: onPushSplinePose()\n"
    "m: onPlayAnimation()\n"
    "j: onResetAnimation()\n"
    "k: onSaveAnimation()\n"
    "l: onLoadAnimation()\n";

// The window's pixels as the X server holds them; empty when they cannot be read.
testsupport::RgbaImage CaptureWindow(const std::string& display, const std::string& window)
{
    testsupport::RgbaImage image;
    Display* x = XOpenDisplay(display.c_str());
    if (!x)
        return image;
    const Window id = static_cast<Window>(std::stoul(window));
    XWindowAttributes attributes;
    if (XGetWindowAttributes(x, id, &attributes)) {
        XImage* pixels = XGetImage(x, id, 0, 0, static_cast<unsigned>(attributes.width),
                                   static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (pixels) {
            image.width = attributes.width;
            image.height = attributes.height;
            image.rgba.resize(size_t(image.width) * size_t(image.height) * 4, 255);
            // Channel masks to byte values (the usual 8 bits each on a 24-bit screen).
            const auto channel = [](unsigned long pixel, unsigned long mask) {
                int shift = 0;
                while (mask && !(mask & 1)) {
                    mask >>= 1;
                    ++shift;
                }
                return static_cast<uint8_t>(((pixel >> shift) & mask) * 255 / (mask ? mask : 1));
            };
            for (int py = 0; py < image.height; ++py)
                for (int px = 0; px < image.width; ++px) {
                    const unsigned long pixel = XGetPixel(pixels, px, py);
                    uint8_t* out = image.At(px, py);
                    out[0] = channel(pixel, pixels->red_mask);
                    out[1] = channel(pixel, pixels->green_mask);
                    out[2] = channel(pixel, pixels->blue_mask);
                }
            XDestroyImage(pixels);
        }
    }
    XCloseDisplay(x);
    return image;
}

class ProgramWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("nerelle-window-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        std::string why;
        ASSERT_TRUE(m_xserver.Start(&why)) << "no X server: " << why;
        m_display = m_xserver.Display();
    }

    void TearDown() override
    {
        m_program.Kill();
        m_xserver.Stop();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    void StartProgram(const fs::path& run_dir = NERELLE_RUN_DIR)
    {
        ASSERT_TRUE(m_program.Start(NERELLE_PROGRAM, m_display, run_dir, m_dir / "out.txt", m_dir / "err.txt"));
    }

    // The X window id of the program's window, once it is mapped.
    std::string FindWindow()
    {
        std::string id = m_program.FindWindow(m_display, "Nerelle Demo", 60);
        if (id.empty() && !m_program.Running())
            ADD_FAILURE() << "the program ended before its window showed:\n" << ReadFileText(m_dir / "err.txt");
        return id;
    }

    // A copy of the program's data directory with the given solution text.
    fs::path RunDirWithSolution(const std::string& solution)
    {
        const fs::path run = m_dir / "solution-run";
        fs::remove_all(run);
        std::string why;
        EXPECT_TRUE(testsupport::MakeRunDirectory(run, &why)) << why;
        fs::remove(run / "data" / "spiral_long");  // a link to the committed dataset
        fs::create_directories(run / "data" / "spiral_long");
        fs::copy_file(fs::path(NERELLE_RUN_DIR) / "data" / "spiral_long" / "manifest.txt",
                      run / "data" / "spiral_long" / "manifest.txt", fs::copy_options::overwrite_existing);
        std::ofstream(run / "data" / "spiral_long" / "solution.txt") << solution;
        return run;
    }

    // The window captured every half second until `shown` holds for the
    // capture, for up to 20 s: a machine slowed down (a sanitizer build,
    // other work) may take a while to draw the frame after a key. The last
    // capture either way, for the test to check.
    testsupport::RgbaImage CaptureWhen(const std::string& window,
                                       const std::function<bool(const testsupport::RgbaImage&)>& shown)
    {
        testsupport::RgbaImage image;
        for (int attempt = 0; attempt < 40; ++attempt) {
            image = CaptureWindow(m_display, window);
            if (shown(image))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        return image;
    }

    // Presses Esc in the program's window; returns its exit status, -1 when
    // it did not end normally.
    int EndWithEscape(const std::string& window)
    {
        testsupport::PressKeys(m_display, window, "Escape");
        return m_program.ExitCode(60);
    }

    fs::path m_dir;
    testsupport::XServer m_xserver;
    std::string m_display;
    testsupport::ProgramRun m_program;
};

TEST_F(ProgramWindowTest, OpensItsWindowPrintsTheControlsAndEndsOnEscape)
{
    StartProgram();
    std::string window = FindWindow();
    ASSERT_FALSE(window.empty()) << "no window titled \"Nerelle Demo\" appeared";

    EXPECT_EQ(RunOnDisplay(m_display, "xdotool getwindowname " + window), "Nerelle Demo\n");
    std::string geometry = RunOnDisplay(m_display, "xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Geometry: 720x480"), std::string::npos) << geometry;

    // Some frames must have been drawn before the key arrives; the first
    // ones can take a while on a software renderer.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    testsupport::PressKeys(m_display, window, "Escape");
    int status = m_program.Wait(60);
    ASSERT_NE(status, -1) << "the program did not end after Esc";
    ASSERT_TRUE(WIFEXITED(status)) << "the program was killed by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFileText(m_dir / "err.txt");

    std::string out = ReadFileText(m_dir / "out.txt");
    EXPECT_EQ(out.substr(0, std::strlen(kControlSummary)), kControlSummary) << out;
    EXPECT_EQ(ReadFileText(m_dir / "err.txt").find("warning: "), std::string::npos) << ReadFileText(m_dir / "err.txt");
}

TEST_F(ProgramWindowTest, WarnsAtStartAboutMoreThanAFewIgnoredSolutionLines)
{
    const struct {
        const char* solution;
        const char* warning;  // expected line on standard error, "" for no warning at all
    } cases[] = {
        {"1\t2\t3\n4 5 6 0 0 1\n1\t2\t3\n1\t2\t3\n", ""},  // three: a few
        {"1 2 3\n1\t2\t3\t0\t0\t1\n1\t2\n1\t2\n1\t2\n",
         "warning: 4 solution lines ignored (neither 3 nor 6 numbers separated by spaces); "
         "the first, line 2: \"1\\t2\\t3\\t0\\t0\\t1\"\n"},
    };
    for (const auto& c : cases) {
        StartProgram(RunDirWithSolution(c.solution));
        std::string window = FindWindow();
        ASSERT_FALSE(window.empty()) << c.solution;
        ASSERT_EQ(EndWithEscape(window), 0);
        const std::string err = ReadFileText(m_dir / "err.txt");
        if (*c.warning)
            EXPECT_NE(err.find(c.warning), std::string::npos) << err;
        else
            EXPECT_EQ(err.find("warning: "), std::string::npos) << err;
        EXPECT_EQ(ReadFileText(m_dir / "out.txt").substr(0, std::strlen(kControlSummary)), kControlSummary);
    }
}

TEST_F(ProgramWindowTest, KeepsRunningUnderMouseDragsAndMovementKeys)
{
    StartProgram();
    std::string window = FindWindow();
    ASSERT_FALSE(window.empty());
    RunOnDisplay(m_display, "xdotool windowfocus --sync " + window +
                           " mousemove --window " + window + " 100 100 mousedown 1 mousemove --window " + window +
                           " 400 300 mouseup 1 mousedown 3 mousemove --window " + window +
                           " 200 200 mouseup 3 key w a s d W");
    EXPECT_EQ(m_program.Wait(1.0), -1) << "the program ended on drags or movement keys:\n"
                                            << ReadFileText(m_dir / "err.txt");
    EXPECT_EQ(EndWithEscape(window), 0);
}

// Pixels of the scene above the HUD panel and the timeline bar that are
// yellow, the error view's colour for fixes between its thresholds (the
// plain frame's tracks are green and magenta).
size_t YellowScenePixels(const testsupport::RgbaImage& image)
{
    size_t count = 0;
    for (int y = 0; y < image.height - 130; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            count += p[0] > 180 && p[1] > 140 && p[2] < 90;
        }
    return count;
}

TEST_F(ProgramWindowTest, SpaceHoldsTheFrameAndEColoursTheTrackByItsError)
{
    StartProgram();
    std::string window = FindWindow();
    ASSERT_FALSE(window.empty());
    // 16 times faster for a while, so tens of seconds of track are drawn, then pause.
    testsupport::PressKeys(m_display, window, "bracketright bracketright bracketright bracketright");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    testsupport::PressKeys(m_display, window, "space");
    // Paused once two captures half a second apart are the same; then a
    // second later it must still show that frame.
    testsupport::RgbaImage previous;
    const testsupport::RgbaImage first = CaptureWhen(window, [&previous](const testsupport::RgbaImage& image) {
        const bool same = image.rgba == previous.rgba;
        previous = image;
        return same;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const testsupport::RgbaImage second = CaptureWindow(m_display, window);
    testsupport::SaveForViewing(first, "paused");
    ASSERT_EQ(first.width, 720);
    ASSERT_EQ(first.height, 480);
    EXPECT_GT(first.DistinctColours(1000), 200u);
    EXPECT_TRUE(first.rgba == second.rgba) << "the frame changed while paused";

    testsupport::PressKeys(m_display, window, "e");
    const size_t yellow_paused = YellowScenePixels(first);
    const testsupport::RgbaImage coloured = CaptureWhen(window, [&](const testsupport::RgbaImage& image) {
        return image.rgba != first.rgba && YellowScenePixels(image) > yellow_paused + 5;
    });
    testsupport::SaveForViewing(coloured, "error_view");
    EXPECT_FALSE(coloured.rgba == first.rgba);
    EXPECT_GT(YellowScenePixels(coloured), YellowScenePixels(first) + 5)
        << "no stretch of the track turned yellow";

    // The free camera still moves while paused.
    testsupport::PressKeys(m_display, window, "w w w");
    const testsupport::RgbaImage moved =
        CaptureWhen(window, [&](const testsupport::RgbaImage& image) { return image.rgba != coloured.rgba; });
    EXPECT_FALSE(moved.rgba == coloured.rgba);
    EXPECT_EQ(EndWithEscape(window), 0);
    const std::string err = ReadFileText(m_dir / "err.txt");
    EXPECT_EQ(err.find("error: "), std::string::npos) << err;
    EXPECT_EQ(ReadFileText(m_dir / "out.txt").substr(0, std::strlen(kControlSummary)), kControlSummary);
}

TEST_F(ProgramWindowTest, AMissingDatasetEndsWithItsMessageAndStatusOne)
{
    const fs::path empty = m_dir / "empty-run";
    fs::create_directories(empty);
    StartProgram(empty);
    int status = m_program.Wait(60);
    ASSERT_NE(status, -1) << "the program kept running without its dataset";
    ASSERT_TRUE(WIFEXITED(status)) << "the program was killed by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = ReadFileText(m_dir / "err.txt");
    EXPECT_NE(err.find("error: failed to open solution\n"), std::string::npos) << err;
}

TEST_F(ProgramWindowTest, AMalformedManifestEndsWithItsMessageAndStatusOne)
{
    const fs::path run = m_dir / "bad-run";
    fs::create_directories(run / "data" / "spiral_long");
    fs::copy_file(fs::path(NERELLE_RUN_DIR) / "data" / "spiral_long" / "solution.txt",
                  run / "data" / "spiral_long" / "solution.txt");
    std::ofstream(run / "data" / "spiral_long" / "manifest.txt") << "time=100\ndt=0\n";
    StartProgram(run);
    int status = m_program.Wait(60);
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = ReadFileText(m_dir / "err.txt");
    EXPECT_NE(err.find("error: failed to read manifest\n"), std::string::npos) << err;
}

TEST_F(ProgramWindowTest, CameraKeysFromTheKeyboardAndTheSceneInTheWindow)
{
    // A run directory of its own: the keys file is written there.
    const fs::path run = m_dir / "run";
    std::string why;
    ASSERT_TRUE(testsupport::MakeRunDirectory(run, &why)) << why;
    StartProgram(run);
    std::string window = FindWindow();
    ASSERT_FALSE(window.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    // Three keys with the camera moved between them, then play, save,
    // forget and load.
    testsupport::PressKeys(m_display, window, "--delay 150 n w w w n d d d n m k j l");
    EXPECT_TRUE(m_program.WaitForText(m_dir / "out.txt", "loaded 3 keypoints\n", 30)) << ReadFileText(m_dir / "out.txt");

    // The scene, not a blank or single-colour window: many colours, none
    // covering most of it, once the frame after the keys is drawn.
    const auto most_common = [](const testsupport::RgbaImage& image) {
        std::map<uint32_t, size_t> counts;
        for (size_t i = 0; i + 3 < image.rgba.size(); i += 4)
            ++counts[uint32_t(image.rgba[i]) << 16 | uint32_t(image.rgba[i + 1]) << 8 | image.rgba[i + 2]];
        size_t most = 0;
        for (const auto& [colour, count] : counts)
            most = std::max(most, count);
        return most;
    };
    const testsupport::RgbaImage image = CaptureWhen(window, [&](const testsupport::RgbaImage& shown) {
        return shown.DistinctColours(1000) > 200 && most_common(shown) < size_t(720 * 480 / 2);
    });
    testsupport::SaveForViewing(image, "program_window");
    ASSERT_EQ(image.width, 720);
    ASSERT_EQ(image.height, 480);
    EXPECT_GT(image.DistinctColours(1000), 200u);
    EXPECT_LT(most_common(image), size_t(720 * 480 / 2));

    EXPECT_EQ(EndWithEscape(window), 0);
    const std::string out = ReadFileText(m_dir / "out.txt");
    const size_t saved = out.find("saved 3 keypoints\n"), loaded = out.find("loaded 3 keypoints\n");
    EXPECT_NE(saved, std::string::npos) << out;
    EXPECT_NE(loaded, std::string::npos) << out;
    EXPECT_LT(saved, loaded) << out;
    const std::string err = ReadFileText(m_dir / "err.txt");
    EXPECT_EQ(err.find("error: "), std::string::npos) << err;

    // The file: the count, then one line of 11 numbers per key, times from
    // 0 on increasing, and the camera in another place at every key.
    std::ifstream keys(run / "animation.txt");
    unsigned count = 0;
    ASSERT_TRUE(keys >> count);
    EXPECT_EQ(count, 3u);
    std::string line;
    std::getline(keys, line);
    std::vector<std::vector<double>> rows;
    while (std::getline(keys, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double value;
        while (fields >> value)
            row.push_back(value);
        EXPECT_EQ(row.size(), 11u) << line;
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], 0.0);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_GT(rows[i][0], rows[i - 1][0]);
        EXPECT_NE(std::vector<double>(rows[i].begin() + 4, rows[i].begin() + 7),
                  std::vector<double>(rows[i - 1].begin() + 4, rows[i - 1].begin() + 7));
    }
}

}  // namespace
