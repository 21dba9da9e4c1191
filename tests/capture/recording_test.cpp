// Offline recording on the headless context: frames rendered at 23.976 per
// second, written in order as PNG files top row first, what is printed, and
// every failure reported with what it concerns.
#include "capture/recording.h"

#include "capture/image_capture.h"
#include "image/png_file.h"

#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using RecordingTest = testsupport::ScratchDirTest;

unsigned FrameOfTime(double t)
{
    return unsigned(t * kRecordingFramesPerSecond + 0.5);
}

// Frame k: top half grey k * 10, bottom half blue.
void DrawNumberedFrame(const FrameRequest& request)
{
    const float grey = float(FrameOfTime(request.t) * 10) / 255.0f;
    glViewport(0, 0, request.width, request.height);
    testsupport::ClearHalves({grey, grey, grey}, {0.0f, 0.0f, 1.0f});
}

std::string RecordedFrameName(const fs::path& dir, unsigned k)
{
    return CMTEncoder::FrameFileName(dir, k);
}

// Collects what the recording reports as the program prints it.
void ReportInto(RecordingSettings& settings, std::string& err)
{
    settings.report = [&err](const std::string& reason) { err += "error: " + reason + "\n"; };
}

TEST_F(RecordingTest, WritesEveryFrameInOrderTopRowFirstAndRestoresTheView)
{
    const struct {
        unsigned workers;
        int samples;
    } cases[] = {{1, -1}, {3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.workers);
        const fs::path dir = m_dir / ("frames-" + std::to_string(c.workers));  // made by the recording
        std::vector<double> times;
        int starts_before_first_frame = 0;
        RecordingSettings settings;
        settings.directory = dir;
        settings.workers = c.workers;
        settings.samples = c.samples;
        std::string err;
        ReportInto(settings, err);
        const DrawFrame draw = [&](const FrameRequest& request) {
            EXPECT_EQ(request.width, 1280);
            EXPECT_EQ(request.height, 720);
            times.push_back(request.t);
            DrawNumberedFrame(request);
        };
        testing::internal::CaptureStdout();
        const RecordingResult result =
            RecordFrames(24, [&] { starts_before_first_frame += times.empty(); }, {draw, {}}, settings);
        const std::string out = testing::internal::GetCapturedStdout();

        EXPECT_TRUE(result.started);
        EXPECT_TRUE(result.synchronized);
        EXPECT_EQ(result.rendered, 24u);
        EXPECT_EQ(result.failed, 0u);
        EXPECT_TRUE(result.status);
        EXPECT_EQ(err, "");
        EXPECT_EQ(starts_before_first_frame, 1);
        std::string progress;
        for (unsigned k = 0; k < 24; ++k)
            progress += "rendering frame " + std::to_string(k) + " / 24\r";
        EXPECT_EQ(out, progress + "\ndone\n");
        // Each frame drawn once per pass, at k / 23.976 exactly.
        const size_t passes = c.samples == 0 ? 1 : 2;
        ASSERT_EQ(times.size(), 24 * passes);
        for (unsigned k = 0; k < 24; ++k)
            EXPECT_EQ(times[k * passes], double(k) / 23.976) << k;

        for (unsigned k = 0; k < 24; ++k) {
            BitmapPtr frame = ReadPNG(RecordedFrameName(dir, k).c_str());
            ASSERT_TRUE(frame) << k;
            ASSERT_EQ(frame->width, 1280);
            ASSERT_EQ(frame->height, 720);
            const uint8_t grey = uint8_t(k * 10);
            EXPECT_EQ(frame->Row(0)[0], PackRGBA(grey, grey, grey, 255)) << k;
            EXPECT_EQ(frame->Row(719)[1279], PackRGBA(0, 0, 255, 255)) << k;
        }
        EXPECT_FALSE(fs::exists(RecordedFrameName(dir, 24)));
    }
}

TEST_F(RecordingTest, FramesThatCannotBeWrittenAreNamedAndTheRestIsWritten)
{
    const fs::path dir = m_dir / "frames";
    fs::create_directories(RecordedFrameName(dir, 4));  // a directory where frame 4 goes
    RecordingSettings settings;
    settings.directory = dir;
    settings.workers = 2;
    settings.samples = 0;
    settings.writer = [](const char* name, const TBitmap* bitmap, bool rgb) {
        if (std::string(name).ends_with("frame_00007.png"))
            throw std::runtime_error("libpng error: No space left on device");
        return WritePNG(name, bitmap, rgb);
    };
    std::string err;
    ReportInto(settings, err);
    testing::internal::CaptureStdout();
    const RecordingResult result = RecordFrames(10, {}, {DrawNumberedFrame, {}}, settings);
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(result.rendered, 10u);
    EXPECT_EQ(result.failed, 2u);
    // Workers may finish out of order: each name once, the count last.
    for (unsigned k : {4u, 7u}) {
        const std::string line = "error: cannot write frame " + RecordedFrameName(dir, k) + "\n";
        EXPECT_NE(err.find(line), std::string::npos) << err;
    }
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
    EXPECT_TRUE(err.ends_with("error: 2 of 10 frames were not written\n")) << err;
    EXPECT_EQ(result.status.reason, "2 of 10 frames were not written");
    EXPECT_TRUE(out.ends_with("rendering frame 9 / 10\r\ndone\n")) << out;
    for (unsigned k = 0; k < 10; ++k) {
        if (k != 4 && k != 7) {
            EXPECT_TRUE(ReadPNG(RecordedFrameName(dir, k).c_str())) << k;
        }
    }
    EXPECT_FALSE(fs::exists(RecordedFrameName(dir, 7)));
}

TEST_F(RecordingTest, FailuresBeforeOrWhileRenderingAreReported)
{
    std::ofstream(m_dir / "file") << "x";
    const fs::path under_file = m_dir / "file" / "frames";
    const struct {
        const char* what;
        fs::path directory;
        unsigned workers;
        int samples;
        std::string err;  // standard error, exactly
        bool done;        // the recording ran to its end line
        size_t renders;
    } cases[] = {
        // Fails for root too: nothing can be made under a regular file.
        {"directory under a file", under_file, 1, 0,
         "error: cannot create the directory " + under_file.string() + ": Not a directory; nothing recorded\n", false,
         0},
        {"a queue with more slots than it can count", m_dir / "a", 0x80000000u, 0,
         "error: cannot start the frame encoder: ", false, 0},
        {"no render target", m_dir / "b", 1, 64, "error: recording stopped at frame 0: cannot create the ", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        size_t renders = 0;
        int starts = 0;
        RecordingSettings settings;
        settings.directory = c.directory;
        settings.workers = c.workers;
        settings.samples = c.samples;
        std::string err;
        ReportInto(settings, err);
        testing::internal::CaptureStdout();
        const RecordingResult result =
            RecordFrames(5, [&] { ++starts; }, {[&](const FrameRequest&) { ++renders; }, {}}, settings);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(renders, c.renders);
        EXPECT_EQ(result.rendered, 0u);
        EXPECT_EQ(result.failed, 5u);
        EXPECT_EQ(err.rfind(c.err, 0), 0u) << err;
        if (c.done) {
            EXPECT_TRUE(err.ends_with("error: 5 of 5 frames were not written\n")) << err;
            EXPECT_EQ(out, "rendering frame 0 / 5\r\ndone\n");
        } else {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
            EXPECT_EQ(out, "");
            EXPECT_EQ(starts, 0);
        }
        EXPECT_FALSE(result.status);
        EXPECT_FALSE(fs::exists(RecordedFrameName(c.directory, 0)));
    }
}

}  // namespace
