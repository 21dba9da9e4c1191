// The program without a window under faults a user meets: a disk that fills
// during a recording, a recording stopped by SIGINT or SIGTERM, and files of
// the run directory that are missing, unreadable or FIFOs, and a very large
// dataset. Run as a user runs it, in a private run directory.
#include "support/program_runner.h"
#include "support/run_directory.h"
#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include "image/png_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Two keys `seconds` apart, at 23.976 frames per second.
std::string Keys(int seconds)
{
    return "2\n0 0 0 0 3 -2 -5 0 0.247404 0 0.968912\n" + std::to_string(seconds) +
           " 0 0 0 1 -3 -1 0 0.434966 0 0.900447\n";
}

class HeadlessFaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(testsupport::MakeRunDirectory(m_run, &why)) << why;
        std::ofstream(m_run / "keys.txt") << Keys(2);  // 48 frames
    }

    // The program in the run directory, under `wrapper` (a limit, say).
    testsupport::ToolRun Run(const std::string& arguments, const std::string& wrapper = "")
    {
        const std::string program = "'" NERELLE_PROGRAM "'";
        return testsupport::RunTool("cd '" + m_run.string() + "' && " +
                                        (wrapper.empty() ? program : wrapper + " " + program),
                                    arguments, m_scratch.Path());
    }

    // The files of a directory by name, with their sizes.
    static std::map<std::string, uintmax_t> Files(const fs::path& dir)
    {
        std::map<std::string, uintmax_t> files;
        for (const auto& entry : fs::directory_iterator(dir))
            files[entry.path().filename().string()] = entry.file_size();
        return files;
    }

    testsupport::ScratchDir m_scratch{"faults"};
    fs::path m_run = m_scratch / "run";
};

// Each frame past a file-size limit (a full disk, for one file) is reported
// by name and counted; what is under a frame's name is whole (the same
// bytes as without the limit), nothing is left half-written, and the run
// fails.
TEST_F(HeadlessFaultsTest, ARecordingIntoAFileSizeLimitReportsEveryLostFrame)
{
    const testsupport::ToolRun free = Run("--record keys.txt --out free --size 160x90");
    ASSERT_EQ(free.status, 0) << free.err;
    const std::map<std::string, uintmax_t> whole = Files(m_run / "free");
    ASSERT_EQ(whole.size(), 48u);
    std::vector<uintmax_t> sizes;
    for (const auto& [name, size] : whole)
        sizes.push_back(size);
    std::sort(sizes.begin(), sizes.end());
    const uintmax_t limit = sizes[sizes.size() / 2] / 512 * 512;  // about half the frames fit

    const testsupport::ToolRun limited =
        Run("--record keys.txt --out limited --size 160x90", testsupport::UnderFileSizeLimit("", limit));
    EXPECT_EQ(limited.status, 1);
    size_t lost = 0;
    for (const auto& [name, size] : whole) {
        SCOPED_TRACE(name);
        const fs::path kept = m_run / "limited" / name;
        const bool reported =
            limited.err.find("error: cannot write frame " + (fs::path("limited") / name).string() + "\n") !=
            std::string::npos;
        if (size <= limit) {
            EXPECT_EQ(testsupport::ReadFileText(kept), testsupport::ReadFileText(m_run / "free" / name));
            EXPECT_FALSE(reported);
        } else {
            EXPECT_FALSE(fs::exists(kept));
            EXPECT_TRUE(reported) << limited.err;
            ++lost;
        }
    }
    EXPECT_GT(lost, 0u);
    EXPECT_NE(limited.err.find("error: " + std::to_string(lost) + " of 48 frames were not written\n"),
              std::string::npos)
        << limited.err;
    for (const auto& [name, size] : Files(m_run / "limited"))
        EXPECT_TRUE(whole.count(name)) << "left behind: " << name;
}

struct StopCase {
    int signal;
    int status;
    const char* name;
    bool video;
};

class HeadlessStopTest : public HeadlessFaultsTest, public ::testing::WithParamInterface<StopCase> {};

// A signal during a long recording stops it after the frame in progress:
// the frames so far are all there, numbered without a gap and whole, or the
// video holds them and plays; standard error says how far it got, and the
// status is the shell's for the signal.
TEST_P(HeadlessStopTest, ASignalKeepsEveryWholeFrameAndSaysHowFar)
{
    const StopCase& c = GetParam();
    if (c.video && testsupport::RunTool("ffprobe", "-version", m_scratch.Path()).status != 0)
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh installs it)";
    std::ofstream(m_run / "long.txt") << Keys(60);  // 1439 frames: far more than are made before the signal
    const fs::path err = m_scratch / "err.txt";
    const std::vector<std::string> arguments =
        c.video ? std::vector<std::string>{"--record", "long.txt", "--video", "v.mp4", "--size", "160x90"}
                : std::vector<std::string>{"--record", "long.txt", "--out", "frames", "--size", "160x90"};
    testsupport::ProgramRun run;
    ASSERT_TRUE(run.Start(NERELLE_PROGRAM, "", m_run, m_scratch / "out.txt", err, arguments));
    // Not a terminal: a progress line every 100 frames.
    ASSERT_TRUE(run.WaitForText(err, "100 / 1439 frames", 120)) << testsupport::ReadFileText(err);
    ASSERT_TRUE(run.Signal(c.signal));
    EXPECT_EQ(run.ExitCode(120), c.status);

    const std::string said = testsupport::ReadFileText(err);
    const std::string prefix = std::string("stopped by ") + c.name + ": frames 0 to ";
    const size_t at = said.find(prefix);
    ASSERT_NE(at, std::string::npos) << said;
    const unsigned last = unsigned(std::stoul(said.substr(at + prefix.size())));
    EXPECT_GE(last, 99u);
    EXPECT_LT(last, 1438u);
    if (c.video) {
        EXPECT_NE(said.find(std::to_string(last) + " in v.mp4\n", at), std::string::npos) << said;
        const testsupport::ToolRun probe = testsupport::RunTool(
            "ffprobe", "-v error -count_frames -show_entries stream=codec_name,nb_read_frames -of csv=p=0 '" +
                           (m_run / "v.mp4").string() + "'",
            m_scratch.Path());
        EXPECT_EQ(probe.out, "h264," + std::to_string(last + 1) + "\n") << probe.err;
        for (const auto& entry : fs::directory_iterator(m_run))
            EXPECT_EQ(entry.path().filename().string().find("v.mp4."), std::string::npos) << "left behind";
        return;
    }
    EXPECT_NE(said.find(std::to_string(last) + " in frames\n", at), std::string::npos) << said;
    const std::map<std::string, uintmax_t> files = Files(m_run / "frames");
    EXPECT_EQ(files.size(), last + 1u);
    for (unsigned k = 0; k <= last; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05u.png", k);
        const BitmapPtr frame = ReadPNG((m_run / "frames" / name).c_str());
        ASSERT_NE(frame, nullptr) << name;
        EXPECT_EQ(frame->width, 160);
        EXPECT_EQ(frame->height, 90);
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessStopTest,
                         ::testing::Values(StopCase{SIGINT, 130, "SIGINT", false},
                                           StopCase{SIGTERM, 143, "SIGTERM", false},
                                           StopCase{SIGINT, 130, "SIGINT", true},
                                           StopCase{SIGTERM, 143, "SIGTERM", true}),
                         [](const ::testing::TestParamInfo<StopCase>& param) {
                             return std::string(param.param.name) + (param.param.video ? "Video" : "Frames");
                         });

// What is done to a file of the run directory, and undone after.
enum class Fault { kMissing, kFifo, kUnreadable };

struct FileFault {
    const char* file;  // in the run directory
    Fault fault;
};

struct RunDirectoryCase {
    const char* name;
    std::vector<FileFault> faults;
    const char* arguments;
    int status;
    const char* error;  // all of standard error
};

// Every file the program reads at start-up or for a command: its message,
// and the documented fallback (a black 1 x 1 texture, a HUD without that
// font, the end of the run for a dataset or a key file). Nothing waits on a
// FIFO: a program that did would be killed at the time limit.
const RunDirectoryCase kRunDirectoryCases[] = {
    {"missing texture", {{"clouds.png", Fault::kMissing}}, "--screenshot x.png --size 160x90", 0,
     "warning: cannot read texture 'clouds.png': no such file\n"},
    {"texture FIFO", {{"sub.png", Fault::kFifo}}, "--screenshot x.png --size 160x90", 0,
     "warning: cannot read texture 'sub.png': not a regular file\n"},
    {"unreadable texture", {{"lightmap.png", Fault::kUnreadable}}, "--screenshot x.png --size 160x90", 0,
     "warning: cannot read texture 'lightmap.png': not a readable file\n"},
    {"missing font", {{"data/fonts/cmunrm00.tga", Fault::kMissing}, {"data/fonts/cmunrm.otf", Fault::kMissing}},
     "--screenshot x.png --size 160x90", 0,
     "error: cannot open font 'data/fonts/cmunrm.otf': No such file or directory\n"},
    {"font FIFO", {{"data/fonts/cmunsl00.tga", Fault::kMissing}, {"data/fonts/cmunsl.otf", Fault::kFifo}},
     "--screenshot x.png --size 160x90", 0, "error: cannot open font 'data/fonts/cmunsl.otf': not a regular file\n"},
    {"unreadable font", {{"data/fonts/cmunsl00.tga", Fault::kMissing}, {"data/fonts/cmunsl.otf", Fault::kUnreadable}},
     "--screenshot x.png --size 160x90", 0, "error: cannot open font 'data/fonts/cmunsl.otf': Permission denied\n"},
    {"font page FIFO", {{"data/fonts/cmunrm00.tga", Fault::kFifo}}, "--screenshot x.png --size 160x90", 0,
     "warning: font page cache 'data/fonts/cmunrm%02u.tga' does not load (page file 'data/fonts/cmunrm00.tga' is "
     "missing or unreadable); rebuilding it\n"
     "error: cannot write 'data/fonts/cmunrm00.tga': not a regular file\n"},
    {"missing solution", {{"ds/solution.txt", Fault::kMissing}}, "--data ds --screenshot x.png", 1,
     "error: dataset ds: failed to open solution\n"},
    {"solution FIFO", {{"ds/solution.txt", Fault::kFifo}}, "--data ds --screenshot x.png", 1,
     "error: dataset ds: failed to open solution\n"},
    {"unreadable solution", {{"ds/solution.txt", Fault::kUnreadable}}, "--data ds --screenshot x.png", 1,
     "error: dataset ds: failed to open solution\n"},
    {"manifest FIFO", {{"ds/manifest.txt", Fault::kFifo}}, "--data ds --screenshot x.png", 1,
     "error: dataset ds: failed to open manifest\n"},
    {"missing key file", {{"keys.txt", Fault::kMissing}}, "--record keys.txt --size 160x90", 1,
     "error: keys.txt: cannot open keys.txt: No such file or directory\n"},
    {"key file FIFO", {{"keys.txt", Fault::kFifo}}, "--record keys.txt --size 160x90", 1,
     "error: keys.txt: keys.txt is not a regular file\n"},
    {"unreadable key file", {{"keys.txt", Fault::kUnreadable}}, "--record keys.txt --size 160x90", 1,
     "error: keys.txt: cannot open keys.txt: Permission denied\n"},
};

class RunDirectoryFaultsTest : public HeadlessFaultsTest {
protected:
    void SetUp() override
    {
        HeadlessFaultsTest::SetUp();
        fs::create_directory(m_run / "ds");
        for (const char* name : {"manifest.txt", "solution.txt"})
            fs::copy_file(m_run / "data/spiral_long" / name, m_run / "ds" / name);
        // The font page caches, built once, so each case meets only its fault.
        const testsupport::ToolRun first = Run("--screenshot x.png --size 160x90");
        ASSERT_EQ(first.status, 0) << first.err;
        ASSERT_TRUE(fs::exists(m_run / "data/fonts/cmunrm00.tga"));
    }

    void Apply(const FileFault& f)
    {
        const fs::path path = m_run / f.file;
        if (f.fault == Fault::kUnreadable) {
            fs::permissions(path, fs::perms::none);
            return;
        }
        fs::rename(path, path.string() + ".saved");
        if (f.fault == Fault::kFifo) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        }
    }
    void Undo(const FileFault& f)
    {
        const fs::path path = m_run / f.file;
        if (f.fault == Fault::kUnreadable) {
            fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
            return;
        }
        fs::remove(path);
        fs::rename(path.string() + ".saved", path);
    }

    // The cases with faults of the kinds wanted, each run on its own.
    void RunCases(bool unreadable)
    {
        for (const RunDirectoryCase& c : kRunDirectoryCases) {
            const bool has_unreadable = std::any_of(c.faults.begin(), c.faults.end(),
                                                    [](const FileFault& f) { return f.fault == Fault::kUnreadable; });
            if (has_unreadable != unreadable)
                continue;
            SCOPED_TRACE(c.name);
            fs::remove(m_run / "x.png");
            for (const FileFault& f : c.faults)
                Apply(f);
            const testsupport::ToolRun run = Run(c.arguments, testsupport::WithTimeLimit("", 120));
            for (const FileFault& f : c.faults)
                Undo(f);
            EXPECT_EQ(run.status, c.status);
            EXPECT_EQ(run.err, c.error);
            // The fallbacks keep the picture: a screenshot asked for is taken.
            if (c.status == 0) {
                EXPECT_NE(ReadPNG((m_run / "x.png").c_str()), nullptr);
            }
        }
    }
};

TEST_F(RunDirectoryFaultsTest, MissingFilesAndFifosGiveTheirMessagesAndFallbacks)
{
    RunCases(false);
}

TEST_F(RunDirectoryFaultsTest, UnreadableFilesGiveTheirMessagesAndFallbacks)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads a file whatever its permissions";
    RunCases(true);
}

// A dataset of a million solution lines loads, and a few frames of it
// render, in bounded memory.
TEST_F(HeadlessFaultsTest, AMillionSolutionLinesLoadAndPlay)
{
    fs::create_directory(m_run / "big");
    fs::copy_file(m_run / "data/spiral_long/manifest.txt", m_run / "big/manifest.txt");
    {
        std::ofstream out(m_run / "big/solution.txt");
        out << "15 0 -25\n-15 0 -25\n-15 0 5\n";
        char line[96];
        for (int k = 0; k < 1000000; ++k) {
            const double t = k * 0.25;
            std::snprintf(line, sizeof line, "%.4f %.4f %.4f %.4f 0 %.4f\n", 12 * std::cos(t * 0.08), -t * 0.001,
                          -10 + 12 * std::sin(t * 0.08), -std::sin(t * 0.08), std::cos(t * 0.08));
            out << line;
        }
    }
    const testsupport::ToolRun run = Run("--data big --record keys.txt --frames 0:3 --out big_frames --size 160x90");
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* name : {"frame_00000.png", "frame_00001.png", "frame_00002.png"})
        EXPECT_NE(ReadPNG((m_run / "big_frames" / name).c_str()), nullptr) << name;
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    std::printf("peak resident memory of the program: %ld MiB\n", usage.ru_maxrss / 1024);
    EXPECT_LT(usage.ru_maxrss, 768L * 1024) << "KiB";
}

}  // namespace
