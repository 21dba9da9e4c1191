// The screenshot command on the headless context: names, the 4096 x 3072
// TGA it writes, and every way it can fail without leaving a file.
#include "capture/screenshot.h"

#include "capture/image_capture.h"
#include "image/tga.h"

#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using ScreenshotTest = testsupport::ScratchDirTest;
using ScreenshotDeathTest = ScreenshotTest;

void Touch(const fs::path& p)
{
    std::ofstream(p) << "x";
}

// Top half green, bottom half red, whatever the viewport.
void DrawHalves(const FrameRequest&)
{
    testsupport::ClearHalves({0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f});
}

TEST_F(ScreenshotTest, NamesTakeTheFirstFreeNumber)
{
    EXPECT_EQ(ScreenshotFileName("shots", 7), fs::path("shots/screenshot_007.tga"));
    EXPECT_EQ(ScreenshotFileName("shots", 1234), fs::path("shots/screenshot_1234.tga"));
    const struct {
        const char* what;
        std::vector<int> present;
        bool dangling_link_at_0;
        int expected;
    } cases[] = {
        {"none", {}, false, 0},
        {"0 and 1 taken", {0, 1}, false, 2},
        {"a gap", {0, 2}, false, 1},
        {"a dangling link holds its number", {}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = m_dir / "names";
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (int i : c.present)
            Touch(ScreenshotFileName(dir, i));
        if (c.dangling_link_at_0)
            fs::create_symlink(m_dir / "nowhere", ScreenshotFileName(dir, 0));
        EXPECT_EQ(FirstFreeScreenshotName(dir), ScreenshotFileName(dir, c.expected));
    }
    EXPECT_EQ(FirstFreeScreenshotName(m_dir / "missing"), ScreenshotFileName(m_dir / "missing", 0));
}

TEST_F(ScreenshotTest, WritesA4096By3072TgaTopRowFirst)
{
    std::vector<std::pair<int, int>> sizes_seen;
    const DrawFrame draw = [&](const FrameRequest& request) {
        sizes_seen.push_back({request.width, request.height});
        glViewport(0, 0, request.width, request.height);
        DrawHalves(request);
    };
    ScreenshotSettings settings;
    settings.directory = m_dir / "screenshots";  // missing: made on the way
    fs::path first;
    ASSERT_TRUE(SaveScreenshot({draw, {}}, 0, settings, &first));
    EXPECT_EQ(first, settings.directory / "screenshot_000.tga");
    const std::pair<int, int> big{4096, 3072};
    const std::vector<std::pair<int, int>> expected(FramebufferSampleCount() ? 2 : 1, big);
    EXPECT_EQ(sizes_seen, expected);
    EXPECT_EQ(BoundDrawFramebuffer(), Context().Framebuffer());

    BitmapPtr image = ReadTGA(first.c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 4096);
    EXPECT_EQ(image->height, 3072);
    EXPECT_EQ(image->has_alpha, 0);
    EXPECT_EQ(image->Row(0)[0], PackRGBA(0, 255, 0, 255));
    EXPECT_EQ(image->Row(1535)[4095], PackRGBA(0, 255, 0, 255));
    EXPECT_EQ(image->Row(1536)[0], PackRGBA(255, 0, 0, 255));
    EXPECT_EQ(image->Row(3071)[4095], PackRGBA(255, 0, 0, 255));

    fs::path second;
    ASSERT_TRUE(SaveScreenshot({draw, {}}, 0, settings, &second));
    EXPECT_EQ(second, settings.directory / "screenshot_001.tga");
}

TEST_F(ScreenshotTest, FailuresSayWhatFailedAndWriteNothing)
{
    Touch(m_dir / "file");
    const fs::path full = m_dir / "full";
    fs::create_directories(full);
    for (int i = 0; i < kScreenshotSlots; ++i)
        Touch(ScreenshotFileName(full, i));
    const struct {
        const char* what;
        fs::path directory;
        std::string message;
    } cases[] = {
        // Fails for root too: nothing can be made under a regular file.
        {"directory under a file", m_dir / "file" / "screenshots",
         "cannot create the directory " + (m_dir / "file" / "screenshots").string() + ": "},
        {"every number taken", full, "no free screenshot name in " + full.string() + " (numbers 0 to 9999 are taken)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int draws = 0;
        ScreenshotSettings settings;
        settings.directory = c.directory;
        const Status saved = SaveScreenshot({[&](const FrameRequest&) { ++draws; }, {}}, 0, settings);
        EXPECT_FALSE(saved);
        EXPECT_EQ(saved.reason.rfind(c.message, 0), 0u) << saved.reason;
        EXPECT_EQ(draws, 0);
    }
    EXPECT_EQ(fs::file_size(ScreenshotFileName(full, 9999)), 1u) << "the last screenshot was overwritten";
}

// Runs a screenshot in a child process under a resource limit; the child
// exits with 0 when the screenshot failed and left no file.
void ScreenshotUnderLimit(int resource, rlim_t extra, const fs::path& dir)
{
    signal(SIGXFSZ, SIG_IGN);  // an oversized write fails instead of ending the process
    rlimit limit{};
    if (resource == RLIMIT_AS) {
        // Address space in use now plus `extra`: too little for the bitmap.
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        limit.rlim_cur = limit.rlim_max = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + extra;
    } else {
        limit.rlim_cur = limit.rlim_max = extra;
    }
    if (setrlimit(resource, &limit) != 0)
        std::exit(2);
    ScreenshotSettings settings;
    settings.directory = dir;
    const Status saved = SaveScreenshot({DrawHalves, {}}, 0, settings);
    const bool failed = !saved;
    std::fprintf(stderr, "%s\n", saved.reason.c_str());
    const bool no_file = !fs::exists(ScreenshotFileName(dir, 0));
    std::error_code ec;
    fs::remove_all(dir, ec);  // the child's own directory: no TearDown runs here
    std::exit(failed && no_file ? 0 : 1);
}

TEST_F(ScreenshotDeathTest, ABitmapThatCannotBeAllocatedOrAFullDiskWriteNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ScreenshotUnderLimit(RLIMIT_AS, 16u << 20, m_dir), testing::ExitedWithCode(0),
                "cannot allocate the 4096 x 3072 screenshot bitmap\n");
    // A file limit of 1 MiB stands for a full disk. (The child has a
    // directory of its own, named after its process.)
    EXPECT_EXIT(ScreenshotUnderLimit(RLIMIT_FSIZE, 1u << 20, m_dir), testing::ExitedWithCode(0),
                "screenshot not saved: cannot write /.*/screenshot_000\\.tga: File too large\n");
}

}  // namespace
