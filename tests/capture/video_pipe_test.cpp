// The video writer without GL: frames piped into ffmpeg come out as an H.264
// MP4 at the exact NTSC rate and upright, and every way ffmpeg can be missing
// or fail ends in a reason with its own message and no file left behind.
// Tests that need the real ffmpeg skip when it is not installed.
#include "capture/video_pipe.h"

#include "image/bitmap.h"

#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kNtscFilm = 23.976;
constexpr int kWidth = 64, kHeight = 48;  // the videos made here

// Sets (or with null, unsets) an environment variable for one scope.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvOverride()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// A frame whose pixel (x, y), y counted from the first row in memory, is colour(x, y).
BitmapPtr MakeFrame(int width, int height, const std::function<uint32_t(int, int)>& colour)
{
    BitmapPtr frame(TBitmap::Create(width, height, false, true, 8));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame->Row(y)[x] = colour(x, y);
    return frame;
}

BitmapPtr PlainFrame(int width, int height)
{
    return MakeFrame(width, height, [](int, int) { return PackRGBA(40, 90, 160, 255); });
}

// An executable shell script at `path`.
void WriteScript(const fs::path& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
}

std::vector<std::string> Entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

bool PipeSignalIsDefault()
{
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

TEST(VideoPipeFrameRate, GivesNtscRatesAsExactRatiosAndOthersAsNumbers)
{
    const struct {
        double fps;
        const char* argument;
    } cases[] = {{kNtscFilm, "24000/1001"},
                 {29.97, "30000/1001"},
                 {59.94, "60000/1001"},
                 {24, "24"},
                 {25, "25"},
                 {12.5, "12.5"}};
    for (const auto& c : cases)
        EXPECT_EQ(VideoPipe::FrameRateArgument(c.fps), c.argument) << c.fps;
}

TEST(VideoPipeFind, ReportsAMissingProgramAndHowToGetIt)
{
    testsupport::ScratchDir scratch("video-find");
    const fs::path not_executable = scratch / "ffmpeg-text";
    std::ofstream(not_executable) << "not a program\n";
    const struct {
        const char* nerelle_ffmpeg;  // null: unset
        std::string path;
        const char* says;
    } cases[] = {
        {"/nonexistent", "/usr/bin:/bin", "NERELLE_FFMPEG names \"/nonexistent\""},
        {nullptr, scratch.Path().string(), "ffmpeg not found on PATH"},
        {not_executable.c_str(), "/usr/bin:/bin", "not an executable program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        EnvOverride named("NERELLE_FFMPEG", c.nerelle_ffmpeg);
        EnvOverride path("PATH", c.path.c_str());
        std::string found = "untouched";
        const Status status = VideoPipe::FindFfmpeg(&found);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.reason.find(c.says), std::string::npos) << status.reason;
        EXPECT_NE(status.reason.find("ffmpeg not found"), std::string::npos) << status.reason;
        EXPECT_NE(status.reason.find("apt-get install ffmpeg"), std::string::npos) << status.reason;
        EXPECT_EQ(found, "untouched");
    }
}

TEST(VideoPipeFind, FindsTheNamedProgramOrTheOneOnPath)
{
    testsupport::ScratchDir scratch("video-find");
    const fs::path bin = scratch / "bin";
    fs::create_directory(bin);
    WriteScript(bin / "ffmpeg", "exit 0\n");
    WriteScript(bin / "my-ffmpeg", "exit 0\n");
    const std::string search = "/nonexistent-dir:" + bin.string();
    const std::string named_path = (bin / "my-ffmpeg").string();
    const struct {
        const char* nerelle_ffmpeg;
        fs::path expected;
    } cases[] = {
        {nullptr, bin / "ffmpeg"},
        {"my-ffmpeg", bin / "my-ffmpeg"},
        {named_path.c_str(), bin / "my-ffmpeg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EnvOverride named("NERELLE_FFMPEG", c.nerelle_ffmpeg);
        EnvOverride path("PATH", search.c_str());
        std::string found;
        ASSERT_TRUE(VideoPipe::FindFfmpeg(&found).ok);
        EXPECT_EQ(fs::path(found), c.expected);
    }
}

TEST(VideoPipeOpen, WithoutFfmpegFailsAndWritesNothing)
{
    testsupport::ScratchDir scratch("video-missing");
    EnvOverride named("NERELLE_FFMPEG", "/nonexistent");
    VideoPipe video;
    const Status status = video.Open(scratch / "dive.mp4", kWidth, kHeight, kNtscFilm);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.reason.find("ffmpeg not found"), std::string::npos) << status.reason;
    EXPECT_FALSE(video.IsOpen());
    EXPECT_FALSE(video.Write(*PlainFrame(kWidth, kHeight)).ok);
    EXPECT_TRUE(Entries(scratch.Path()).empty());
}

TEST(VideoPipeOpen, RefusesUnusableSizesAndRatesBeforeStartingAnything)
{
    testsupport::ScratchDir scratch("video-args");
    // A program that would leave a mark if it were started.
    WriteScript(scratch / "ffmpeg", "touch '" + scratch.File("started") + "'\n");
    EnvOverride named("NERELLE_FFMPEG", scratch.File("ffmpeg").c_str());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        int width, height;
        double fps;
        const char* says;
    } cases[] = {
        {0, 48, kNtscFilm, "0x48"},  {64, -2, kNtscFilm, "64x-2"}, {63, 48, kNtscFilm, "even"},
        {64, 47, kNtscFilm, "even"}, {64, 48, 0, "frame rate"},    {64, 48, nan, "frame rate"},
        {64, 48, inf, "frame rate"}, {64, 48, -24, "frame rate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " + std::to_string(c.fps));
        VideoPipe video;
        const Status status = video.Open(scratch / "dive.mp4", c.width, c.height, c.fps);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.reason.find(c.says), std::string::npos) << status.reason;
        EXPECT_FALSE(video.IsOpen());
    }
    EXPECT_EQ(Entries(scratch.Path()), std::vector<std::string>{"ffmpeg"});
}

// Writes plain frames until one is refused, `limit` at the most; the last status.
Status WriteUntilRefused(VideoPipe& video, int limit)
{
    const BitmapPtr frame = PlainFrame(kWidth, kHeight);
    Status written;
    for (int k = 0; k < limit && written.ok; ++k)
        written = video.Write(*frame);
    return written;
}

// A shell script standing in for ffmpeg, opened on a 64 x 48 video.
class VideoPipeFake : public ::testing::Test {
protected:
    void Open(const std::string& script)
    {
        WriteScript(m_scratch / "ffmpeg", script);
        ASSERT_TRUE(m_video.Open(m_scratch / "dive.mp4", kWidth, kHeight, kNtscFilm).ok);
    }

    testsupport::ScratchDir m_scratch{"video-fake"};
    EnvOverride m_named{"NERELLE_FFMPEG", m_scratch.File("ffmpeg").c_str()};
    VideoPipe m_video;
};

TEST_F(VideoPipeFake, FfmpegThatExitsAtOnceFailsWithItsMessageAndLeavesNothing)
{
    ASSERT_TRUE(PipeSignalIsDefault()) << "a broken pipe must be able to end this test for it to mean anything";
    Open("echo 'fake ffmpeg: refusing to encode' >&2\nexit 1\n");
    // More than a pipe's buffer, so a write meets the closed pipe.
    const Status written = WriteUntilRefused(m_video, 64);
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.reason.find("status 1"), std::string::npos) << written.reason;
    EXPECT_NE(written.reason.find("refusing to encode"), std::string::npos) << written.reason;

    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&mask, SIGPIPE)) << "the write left SIGPIPE blocked";
    EXPECT_TRUE(PipeSignalIsDefault());

    EXPECT_FALSE(WriteUntilRefused(m_video, 1).ok);  // given up: later frames fail too
    const Status finished = m_video.Finish();
    EXPECT_FALSE(finished.ok);
    EXPECT_NE(finished.reason.find("refusing to encode"), std::string::npos) << finished.reason;
    EXPECT_EQ(Entries(m_scratch.Path()), std::vector<std::string>{"ffmpeg"});
}

TEST_F(VideoPipeFake, FfmpegFailingAtTheEndLeavesNeitherVideoNorTemporary)
{
    // Takes every frame into its output file, then fails as on a full disk.
    Open(
        "for a; do out=$a; done\n"
        "cat > \"${out#file:}\"\n"
        "echo 'fake ffmpeg: No space left on device' >&2\nexit 1\n");
    ASSERT_TRUE(WriteUntilRefused(m_video, 3).ok);
    const Status finished = m_video.Finish();
    EXPECT_FALSE(finished.ok);
    EXPECT_NE(finished.reason.find("status 1"), std::string::npos) << finished.reason;
    EXPECT_NE(finished.reason.find("No space left on device"), std::string::npos) << finished.reason;
    EXPECT_EQ(Entries(m_scratch.Path()), std::vector<std::string>{"ffmpeg"});
}

TEST_F(VideoPipeFake, FfmpegThatStopsReadingButLingersIsNotWaitedForForever)
{
    Open("exec 0<&-\necho 'fake ffmpeg: stuck' >&2\nexec sleep 600\n");
    const Status written = WriteUntilRefused(m_video, 64);
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.reason.find("signal 9"), std::string::npos) << written.reason;
    EXPECT_NE(written.reason.find("stuck"), std::string::npos) << written.reason;
    EXPECT_FALSE(m_video.IsOpen());
}

// Tests that run the installed ffmpeg, with ffprobe beside it.
class VideoPipeReal : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string ffmpeg;
        const Status found = VideoPipe::FindFfmpeg(&ffmpeg);
        if (!found.ok)
            GTEST_SKIP() << found.reason;
        m_tool_dir = fs::path(ffmpeg).parent_path();
    }

    testsupport::ToolRun Tool(const std::string& name, const std::string& arguments)
    {
        return testsupport::RunTool("'" + (m_tool_dir / name).string() + "'", arguments, m_tools.Path());
    }

    // Writes `frames` (in read-back order) to `file` and finishes.
    Status Record(const fs::path& file, const std::vector<BitmapPtr>& frames)
    {
        VideoPipe video;
        if (Status opened = video.Open(file, frames[0]->width, frames[0]->height, kNtscFilm); !opened)
            return opened;
        for (const BitmapPtr& frame : frames)
            if (Status written = video.Write(*frame); !written)
                return written;
        return video.Finish();
    }

    // ffprobe's key=value lines for the video stream.
    std::map<std::string, std::string> Probe(const fs::path& file)
    {
        const testsupport::ToolRun run = Tool("ffprobe",
                                              "-v error -select_streams v:0 -count_frames -show_entries "
                                              "stream=codec_name,width,height,r_frame_rate,nb_read_frames "
                                              "-of default=noprint_wrappers=1 'file:" +
                                                  file.string() + "'");
        EXPECT_EQ(run.status, 0) << run.err;
        std::map<std::string, std::string> values;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            if (const size_t eq = line.find('='); eq != std::string::npos)
                values[line.substr(0, eq)] = line.substr(eq + 1);
        return values;
    }

    testsupport::ScratchDir m_scratch{"video"};
    testsupport::ScratchDir m_tools{"video-tools"};  // the tools' captured output, apart from the videos
    fs::path m_tool_dir;
};

TEST_F(VideoPipeReal, WritesEveryFrameAsH264AtTheExactNtscRate)
{
    // A bar moving across a gradient, so the frames differ.
    std::vector<BitmapPtr> frames;
    for (int k = 0; k < 24; ++k)
        frames.push_back(MakeFrame(kWidth, kHeight, [k](int x, int y) {
            const bool bar = x >= 2 * k && x < 2 * k + 8;
            return bar ? PackRGBA(250, 220, 0, 255) : PackRGBA(uint8_t(x * 4), uint8_t(y * 5), 120, 255);
        }));
    const fs::path file = m_scratch / "dive.mp4";
    const Status status = Record(file, frames);
    ASSERT_TRUE(status.ok) << status.reason;

    auto stream = Probe(file);
    EXPECT_EQ(stream["codec_name"], "h264");
    EXPECT_EQ(stream["width"], std::to_string(kWidth));
    EXPECT_EQ(stream["height"], std::to_string(kHeight));
    EXPECT_EQ(stream["r_frame_rate"], "24000/1001");
    EXPECT_EQ(stream["nb_read_frames"], "24");
    EXPECT_EQ(Entries(m_scratch.Path()), std::vector<std::string>{"dive.mp4"});
}

TEST_F(VideoPipeReal, TurnsBottomUpRowsUpright)
{
    // Bottom-up input: the first rows in memory (the bottom of the picture)
    // red, the last ones (its top) blue.
    const int width = kWidth, height = kHeight;
    std::vector<BitmapPtr> frames;
    frames.push_back(MakeFrame(width, height, [&](int, int y) {
        return y < height / 2 ? PackRGBA(220, 30, 30, 255) : PackRGBA(30, 30, 220, 255);
    }));
    const fs::path file = m_scratch / "flip.mp4";
    const Status status = Record(file, frames);
    ASSERT_TRUE(status.ok) << status.reason;

    const testsupport::ToolRun decoded =
        Tool("ffmpeg", "-v error -i 'file:" + file.string() + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    ASSERT_EQ(decoded.out.size(), size_t(width * height * 3));
    const auto near = [&](int x, int y, const TBitmap& input, int input_row) {
        const uint32_t expected = input.Row(input_row)[x];
        for (int c = 0; c < 3; ++c) {
            const int got = static_cast<unsigned char>(decoded.out[size_t((y * width + x) * 3 + c)]);
            const int want = int(expected >> (8 * c) & 0xff);
            if (std::abs(got - want) > 24)
                return false;
        }
        return true;
    };
    for (int x = 0; x < width; ++x) {
        EXPECT_TRUE(near(x, 0, *frames[0], height - 1)) << "top row, x " << x;
        EXPECT_TRUE(near(x, height - 1, *frames[0], 0)) << "bottom row, x " << x;
    }
}

TEST_F(VideoPipeReal, UnwritableDestinationFailsWithFfmpegsMessageAndLeavesNothing)
{
    std::ofstream(m_scratch / "plain-file") << "in the way\n";
    const struct {
        fs::path file;
        const char* says;
    } cases[] = {
        {m_scratch / "missing-dir" / "dive.mp4", "No such file or directory"},
        {m_scratch / "plain-file" / "dive.mp4", "Not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        VideoPipe video;
        ASSERT_TRUE(video.Open(c.file, kWidth, kHeight, kNtscFilm).ok);
        // ffmpeg may fail before the pipe fills or only at the end.
        Status status = WriteUntilRefused(video, 24);
        const Status finished = video.Finish();
        if (status.ok)
            status = finished;
        EXPECT_FALSE(finished.ok);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.reason.find(c.says), std::string::npos) << status.reason;
        EXPECT_FALSE(fs::exists(c.file));
    }
    EXPECT_EQ(Entries(m_scratch.Path()), std::vector<std::string>{"plain-file"});
}

TEST_F(VideoPipeReal, KeepsNamesFfmpegWouldReadAsOptionsOrProtocols)
{
    // Relative names, as a user gives them, so the name is what ffmpeg sees first.
    const fs::path old_cwd = fs::current_path();
    for (const char* name : {"-dash.mp4", "dive:1.mp4", "with space.mp4"}) {
        SCOPED_TRACE(name);
        testsupport::ScratchDir dir("video-name");
        fs::current_path(dir.Path());
        std::vector<BitmapPtr> frames;
        frames.push_back(PlainFrame(kWidth, kHeight));
        const Status status = Record(name, frames);
        fs::current_path(old_cwd);
        EXPECT_TRUE(status.ok) << status.reason;
        EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{name});
    }
}

TEST_F(VideoPipeReal, GivingUpBeforeFinishLeavesNoFile)
{
    for (const bool explicit_abort : {true, false}) {
        SCOPED_TRACE(explicit_abort ? "Abort" : "destructor");
        testsupport::ScratchDir dir("video-abort");
        {
            VideoPipe video;
            ASSERT_TRUE(video.Open(dir / "dive.mp4", kWidth, kHeight, kNtscFilm).ok);
            // More than a pipe holds: ffmpeg is reading, so its file exists.
            for (int k = 0; k < 12; ++k)
                ASSERT_TRUE(video.Write(*PlainFrame(kWidth, kHeight)).ok);
            ASSERT_TRUE(fs::exists(video.TemporaryPath()));
            if (explicit_abort) {
                video.Abort();
                EXPECT_FALSE(video.IsOpen());
            }
        }
        EXPECT_TRUE(Entries(dir.Path()).empty());
    }
}

TEST_F(VideoPipeReal, FinishWithoutFramesMakesNoFile)
{
    VideoPipe video;
    ASSERT_TRUE(video.Open(m_scratch / "dive.mp4", kWidth, kHeight, kNtscFilm).ok);
    const Status status = video.Finish();
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.reason.find("no frames"), std::string::npos) << status.reason;
    EXPECT_TRUE(Entries(m_scratch.Path()).empty());
}

TEST_F(VideoPipeReal, RefusesAFrameOfAnotherSizeAndGoesOn)
{
    const fs::path file = m_scratch / "dive.mp4";
    VideoPipe video;
    ASSERT_TRUE(video.Open(file, kWidth, kHeight, kNtscFilm).ok);
    ASSERT_TRUE(video.Write(*PlainFrame(kWidth, kHeight)).ok);
    const Status wrong = video.Write(*PlainFrame(48, 64));
    EXPECT_FALSE(wrong.ok);
    EXPECT_NE(wrong.reason.find("48x64"), std::string::npos) << wrong.reason;
    ASSERT_TRUE(video.Write(*PlainFrame(kWidth, kHeight)).ok);
    const Status finished = video.Finish();
    ASSERT_TRUE(finished.ok) << finished.reason;
    auto stream = Probe(file);
    EXPECT_EQ(stream["nb_read_frames"], "2");
}

}  // namespace
