// The screenshot and recording keys in the real program, in a real window
// on a private X server (Xvfb), pressed as a user presses them.
#include "x_server.h"

#include "app_test_util.h"
#include "image/png_file.h"
#include "image/tga.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Starts the program with DISPLAY set, in `cwd`; its outputs go to files.
pid_t Spawn(const std::string& display, const fs::path& cwd, const fs::path& out, const fs::path& err)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    setenv("DISPLAY", display.c_str(), 1);
    if (chdir(cwd.c_str()) != 0)
        _exit(126);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    execl(NERELLE_PROGRAM, NERELLE_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
}

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs a shell command with DISPLAY set; returns its standard output.
std::string Capture(const std::string& display, const std::string& command)
{
    FILE* f = popen(("DISPLAY=" + display + " " + command + " 2>/dev/null").c_str(), "r");
    if (!f)
        return {};
    std::string text;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, f))
        text.append(buf, n);
    pclose(f);
    return text;
}

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
        ASSERT_TRUE(apptest::MakeRunDirectory(m_dir / "run", &why)) << why;
        ASSERT_TRUE(m_xserver.Start(&why)) << "no X server: " << why;
    }

    void TearDown() override
    {
        if (m_program > 0 && waitpid(m_program, nullptr, WNOHANG) == 0) {
            kill(m_program, SIGKILL);
            waitpid(m_program, nullptr, 0);
        }
        m_xserver.Stop();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // Waits up to `seconds` until standard output holds `text`.
    bool WaitForOutput(const std::string& text, double seconds)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            if (Slurp(m_dir / "out.txt").find(text) != std::string::npos)
                return true;
            if (waitpid(m_program, nullptr, WNOHANG) == m_program) {
                m_program = 0;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    fs::path m_dir;
    testsupport::XServer m_xserver;
    pid_t m_program = 0;
};

TEST_F(CaptureWindowTest, PTakesAScreenshotAndVRecordsTheLoadedKeys)
{
    // Two camera keys one second apart, for l to load.
    const fs::path run = m_dir / "run";
    std::ofstream(run / "animation.txt") << "2\n"
                                            "0 0 0 0 3 -2 -5 0 0.247404 0 0.968912\n"
                                            "1 0 0 0 1 -3 -1 0 0.434966 0 0.900447\n";
    m_program = Spawn(m_xserver.Display(), run, m_dir / "out.txt", m_dir / "err.txt");
    ASSERT_GT(m_program, 0);
    ASSERT_TRUE(WaitForOutput("controls:", 60)) << Slurp(m_dir / "err.txt");
    std::string window;
    for (int i = 0; i < 600 && window.empty(); ++i) {
        window = Capture(m_xserver.Display(), "xdotool search --onlyvisible --name '^Nerelle Demo$'");
        if (window.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(window.empty()) << "no window titled \"Nerelle Demo\"";
    window = window.substr(0, window.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // a few frames first

    // The keys queue up while each command runs inside the key callback.
    Capture(m_xserver.Display(), "xdotool windowfocus --sync " + window + " key p l v");
    ASSERT_TRUE(WaitForOutput("\ndone\n", 300)) << Slurp(m_dir / "out.txt") << Slurp(m_dir / "err.txt");
    Capture(m_xserver.Display(), "xdotool windowfocus --sync " + window + " key Escape");
    int status = -1;
    for (int i = 0; i < 600 && waitpid(m_program, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_program = 0;
    ASSERT_TRUE(WIFEXITED(status)) << "the program did not end after Esc";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string out = Slurp(m_dir / "out.txt");
    const std::string err = Slurp(m_dir / "err.txt");
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
            apptest::Image image{1280, 720, std::vector<uint8_t>(1280 * 720 * 3)};
            for (int y = 0; y < 720; ++y)
                for (int x = 0; x < 1280; ++x)
                    for (int c = 0; c < 3; ++c)
                        image.rgb[3 * (size_t(y) * 1280 + size_t(x)) + size_t(c)] =
                            uint8_t(frame->Row(y)[x] >> (8 * c));
            apptest::SaveForViewing(image, "window_recorded_frame_00012");
        }
    }
    EXPECT_FALSE(fs::exists(run / "frames" / "frame_00024.png"));

    // The screenshot at an eighth of its size, for looking at.
    apptest::Image small{512, 384, std::vector<uint8_t>(512 * 384 * 3)};
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            for (int c = 0; c < 3; ++c)
                small.rgb[3 * (size_t(y) * 512 + size_t(x)) + size_t(c)] = uint8_t(shot->Row(y * 8)[x * 8] >> (8 * c));
    apptest::SaveForViewing(small, "window_screenshot_small");
}

}  // namespace
