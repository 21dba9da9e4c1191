// Runs nerelle-dive on small manifests and loads what it writes.
#include "dataset/dive_data.h"
#include "dive/error_report.h"
#include "image/png_file.h"

#include "support/run_tool.h"
#include "support/tool_test.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kManifest =
    "time=31\n"
    "dt=0.5\n"
    "diver=(6*cos(t*0.2), -2 - t*0.2, -10 + 6*sin(t*0.2))\n"
    "buoy_num=4\n"
    "buoy[0]=(15, 0, -25)\n"
    "buoy[1]=(-15, 0, -25)\n"
    "buoy[2]=(-15, 0, 5)\n"
    "buoy[3]=(15, 0, 5)\n";

class DiveToolTest : public testsupport::ToolTest {
protected:
    static constexpr const char* kIntervalVariable = "NERELLE_PROGRESS_INTERVAL";

    DiveToolTest() : ToolTest(NERELLE_DIVE_TOOL) {}

    void SetUp() override
    {
        // No run here lasts that long, so output compared exactly never
        // holds a progress line, however slow the machine.
        setenv(kIntervalVariable, "1000000", 1);
    }
    void TearDown() override
    {
        unsetenv(kIntervalVariable);
    }

    void WriteManifest(const std::string& text) { std::ofstream(dir / "manifest.txt") << text; }
};

TEST_F(DiveToolTest, SimulatedSolutionLoadsAndFollowsThePlannedPath)
{
    WriteManifest(kManifest);
    ASSERT_EQ(Run("simulate " + dir.string() + " --seed 7"), 0) << err;
    DiveData data;
    ASSERT_NO_THROW(data.Load(dir.string()));
    ASSERT_EQ(data.motion_track.size(), 61u);
    ASSERT_EQ(data.solution_positions.size(), data.motion_track.size());
    ASSERT_EQ(data.solution_points.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(data.solution_points[i].x, data.manifest_buoys[i].x, 1e-3);
        EXPECT_NEAR(data.solution_points[i].z, data.manifest_buoys[i].z, 1e-3);
    }

    double sum = 0.0, worst = 0.0;
    int aligned = 0;
    for (size_t k = 0; k < data.motion_track.size(); ++k) {
        double e = (data.solution_positions[k] - data.motion_track[k]).Length();
        sum += e;
        worst = std::max(worst, e);
        // The heading should point along the true direction of travel.
        size_t a = k > 0 ? k - 1 : 0, b = std::min(k + 1, data.motion_track.size() - 1);
        Vector3 velocity = math::Normalise(data.motion_track[b] - data.motion_track[a]);
        Vector3 heading = data.SolutionDirectionAt(static_cast<double>(k) * data.dt);
        EXPECT_NEAR(heading.Length(), 1.0f, 1e-4);
        if (math::Dot(velocity, heading) > 0.8f)
            ++aligned;
    }
    double mean = sum / static_cast<double>(data.motion_track.size());
    EXPECT_GT(mean, 0.02);  // real fixes scatter...
    EXPECT_LT(mean, 0.5);   // ...by decimetres
    EXPECT_LT(worst, 1.5);
    EXPECT_GT(aligned, 55);
}

TEST_F(DiveToolTest, SimulationIsDeterministicPerSeed)
{
    WriteManifest(kManifest);
    ASSERT_EQ(Run("simulate " + dir.string() + " --seed 11"), 0) << err;
    std::string first = ReadFile(dir / "solution.txt");
    ASSERT_EQ(Run("simulate " + dir.string() + " --seed 11"), 0) << err;
    EXPECT_EQ(ReadFile(dir / "solution.txt"), first);
    ASSERT_EQ(Run("simulate " + dir.string() + " --seed 12"), 0) << err;
    EXPECT_NE(ReadFile(dir / "solution.txt"), first);
}

TEST_F(DiveToolTest, WithoutNoiseTheFixesMeetThePath)
{
    // The file's y and z exchanged: z is up in the file, and the buoys float
    // on the surface once swapped.
    WriteManifest("time=31\ndt=0.5\ndiver=(6*cos(t*0.2), -10 + 6*sin(t*0.2), -2 - t*0.2)\nbuoy_num=4\n"
                  "buoy[0]=(15, -25, 0)\nbuoy[1]=(-15, -25, 0)\nbuoy[2]=(-15, 5, 0)\nbuoy[3]=(15, 5, 0)\n"
                  "swap_y_z=1\n");
    ASSERT_EQ(Run("simulate " + dir.string() + " --range-noise 0 --depth-noise 0"), 0) << err;
    DiveData data;
    ASSERT_NO_THROW(data.Load(dir.string()));
    ASSERT_EQ(data.solution_positions.size(), data.motion_track.size());
    EXPECT_EQ(data.solution_points[0], Vector3(15, 0, -25));
    EXPECT_NEAR(data.motion_track[0].y, -2.2f, 1e-5);
    for (size_t k = 0; k < data.motion_track.size(); ++k)
        EXPECT_LT((data.solution_positions[k] - data.motion_track[k]).Length(), 2e-3) << k;
}

TEST_F(DiveToolTest, CheckPrintsTheHudLinesOfEachTime)
{
    // Two fixes 5 m apart in 0.5 s: 10 m/s is 19.44 knots; the diver is 2 m
    // below the origin's latitude and longitude at t = 0.
    WriteManifest(kManifest);
    std::ofstream(dir / "solution.txt") << "0 -2 0 1 0 0\n3 -2 4 1 0 0\n";
    ASSERT_EQ(Run("check " + dir.string() + " --at 0 --hud --at 1.5"), 0) << err;
    const std::string first = "at 0: motion";
    const std::string hud0 =
        "lat: 20\u00b050'17.801\"N\nlon: 79\u00b000'49.219\"W\ndepth: 2.00 m\nspeed: 19.44 knots\n";
    const size_t at0 = out.find(first);
    ASSERT_NE(at0, std::string::npos) << out;
    EXPECT_EQ(out.find(hud0), out.find('\n', at0) + 1) << out;
    // At 1.5 s the playback sits on the last fix: no step, no speed.
    EXPECT_NE(out.find("depth: 2.00 m\nspeed: 0.00 knots\n"), std::string::npos) << out;
    // Without --hud there are no HUD lines.
    ASSERT_EQ(Run("check " + dir.string() + " --at 0"), 0) << err;
    EXPECT_EQ(out.find("lat: "), std::string::npos) << out;
}

TEST_F(DiveToolTest, CheckReportsCountsAndLoaderErrors)
{
    WriteManifest(kManifest);
    ASSERT_EQ(Run("simulate " + dir.string()), 0) << err;
    ASSERT_EQ(Run("check " + dir.string() + " --at 0 --at 10.25"), 0) << err;
    EXPECT_NE(out.find("motion samples: 61\n"), std::string::npos) << out;
    EXPECT_NE(out.find("solution positions: 61\n"), std::string::npos) << out;
    EXPECT_NE(out.find("solution points: 4\n"), std::string::npos) << out;
    EXPECT_NE(out.find("manifest buoys: 4\n"), std::string::npos) << out;
    EXPECT_NE(out.find("at 10.25: motion"), std::string::npos) << out;

    fs::remove(dir / "solution.txt");
    EXPECT_EQ(Run("check " + dir.string()), 1);
    EXPECT_EQ(err, "error: failed to open solution\n");

    WriteManifest("time=31\ndt=0.5\ndiver=(t, 0)\nbuoy_num=0\n");
    EXPECT_EQ(Run("simulate " + dir.string()), 1);
    EXPECT_EQ(err, "error: failed to interpret diver motion\n");
    EXPECT_FALSE(fs::exists(dir / "solution.txt"));

    WriteManifest("time=31\ndt=0.5\ndiver=(t, 0, 0)\nbuoy_num=0\n");
    EXPECT_EQ(Run("simulate " + dir.string()), 1);
    EXPECT_NE(err.find("at least 3 buoys"), std::string::npos) << err;
    EXPECT_EQ(Run("simulate " + dir.string() + " --seed -3"), 2);  // a wrong command line
}

// Motion (t, -2, 0) sampled at t = 1, 2, 3, and a solution off by 5, 0 and
// 2 m: 3-D errors 5, 0, 2 (the first 3 east and 4 down).
constexpr const char* kLineManifest = "time=3\ndt=1\ndiver=(t, -2, 0)\nbuoy_num=0\n";
constexpr const char* kOffSolution = "4 -6 0 1 0 0\n2 -2 0 1 0 0\n3 -2 2 1 0 0\n";

TEST_F(DiveToolTest, CheckPrintsTheErrorFiguresOverall3DHorizontalAndVertical)
{
    WriteManifest(kLineManifest);
    std::ofstream(dir / "solution.txt") << kOffSolution;
    ASSERT_EQ(Run("check " + dir.string()), 0) << err;
    // 3-D: mean 7/3, rms sqrt(29/3); horizontal 3, 0, 2; vertical 4, 0, 0.
    EXPECT_NE(out.find("error over all 3 steps\n"
                       "error 3-D: rms 3.109 m, mean 2.333 m, p95 5.000 m, max 5.000 m at 0.00 s\n"
                       "error horizontal: rms 2.082 m, mean 1.667 m, p95 3.000 m, max 3.000 m at 0.00 s\n"
                       "error vertical: rms 2.309 m, mean 1.333 m, p95 4.000 m, max 4.000 m at 0.00 s\n"),
              std::string::npos)
        << out;

    // Two fixes for three samples: the figures cover two steps and say so.
    std::ofstream(dir / "solution.txt") << "1 -2 0 1 0 0\n2 -2 3 1 0 0\n";
    ASSERT_EQ(Run("check " + dir.string()), 0) << err;
    EXPECT_NE(out.find("error over the first 2 steps: the solution has 2 fixes, the motion 3 samples\n"
                       "error 3-D: rms 2.121 m, mean 1.500 m, p95 3.000 m, max 3.000 m at 1.00 s\n"),
              std::string::npos)
        << out;
}

TEST_F(DiveToolTest, ReportDrawsTheChartAtTheSizeAskedThroughATemporaryFile)
{
    WriteManifest(kLineManifest);
    std::ofstream(dir / "solution.txt") << kOffSolution;
    const fs::path chart = dir / "chart.png";
    for (const auto& [arguments, width, height] :
         {std::tuple<std::string, int, int>{"", 1200, 700}, {" --size 640x400", 640, 400}}) {
        ASSERT_EQ(Run("report " + dir.string() + " " + chart.string() + arguments), 0) << err;
        EXPECT_NE(out.find("wrote " + chart.string()), std::string::npos) << out;
        const BitmapPtr image(ReadPNG(chart.c_str()));
        ASSERT_TRUE(image) << arguments;
        EXPECT_EQ(image->width, width);
        EXPECT_EQ(image->height, height);
        // Not blank: white paper, black text, the blue and the orange lines.
        std::set<uint32_t> colours;
        size_t blue = 0, orange = 0;
        for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
            const uint32_t p = image->pixels[i] & 0xFFFFFFu;
            colours.insert(p);
            const int r = int(p & 0xFF), g = int(p >> 8 & 0xFF), b = int(p >> 16 & 0xFF);
            blue += b > r + 80 && b > g + 30;
            orange += r > g + 60 && g > b + 40;
        }
        EXPECT_GT(colours.size(), 50u);
        EXPECT_GT(blue, 100u);
        EXPECT_GT(orange, 100u);
        EXPECT_FALSE(fs::exists(chart.string() + ".part"));
    }
}

TEST_F(DiveToolTest, ReportRefusesBadSizesAndUnwritablePlacesLeavingNothing)
{
    WriteManifest(kLineManifest);
    std::ofstream(dir / "solution.txt") << kOffSolution;
    const std::string chart = (dir / "chart.png").string();
    EXPECT_EQ(Run("report " + dir.string() + " " + chart + " --size 100x100"), 1);
    EXPECT_EQ(err, "error: the chart's sides must be 320 to 8192 pixels\n");
    EXPECT_EQ(Run("report " + dir.string() + " " + chart + " --size big"), 2);
    EXPECT_EQ(err.rfind("error: report cannot use --size big\nusage: nerelle-dive", 0), 0u) << err;
    EXPECT_EQ(Run("report " + dir.string() + " " + (dir / "no" / "chart.png").string()), 1);
    EXPECT_EQ(err.rfind("error: cannot write " + (dir / "no" / "chart.png").string(), 0), 0u) << err;
    EXPECT_FALSE(fs::exists(chart));
    // No fix to measure: nothing to draw.
    std::ofstream(dir / "solution.txt") << "1 2 3\n";
    EXPECT_EQ(Run("report " + dir.string() + " " + chart), 1);
    EXPECT_EQ(err, "error: no solution fix has a motion sample to measure it against\n");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_TRUE(entry.path().extension() != ".png" && entry.path().extension() != ".part") << entry.path();
}

TEST(ErrorReport, TicksAreOneTwoOrFiveTimesAPowerOfTenAndReachTheTop)
{
    const struct {
        double top;
        int count;
        std::vector<double> ticks;
    } cases[] = {
        {360.0, 8, {0, 50, 100, 150, 200, 250, 300, 350, 400}},
        {0.675, 6, {0, 0.2, 0.4, 0.6, 0.8}},
        {1.0, 5, {0, 0.2, 0.4, 0.6, 0.8, 1.0}},
        {0.0, 4, {0, 0.5, 1.0}},  // nothing to scale: a unit axis
    };
    for (const auto& c : cases) {
        const std::vector<double> ticks = NiceTicks(c.top, c.count);
        ASSERT_EQ(ticks.size(), c.ticks.size()) << c.top;
        for (size_t i = 0; i < ticks.size(); ++i)
            EXPECT_NEAR(ticks[i], c.ticks[i], 1e-12) << c.top;
    }
    EXPECT_EQ(TickLabel(150, 50), "150");
    EXPECT_EQ(TickLabel(0.4, 0.2), "0.4");
    EXPECT_EQ(TickLabel(0.75, 0.25), "0.75");
    EXPECT_EQ(TickLabel(0, 0.25), "0.00");
}

// A manifest with n buoys on a grid and kManifest's motion.
std::string ManifestWithBuoys(int n)
{
    std::string text = "time=31\ndt=0.5\ndiver=(6*cos(t*0.2), -2 - t*0.2, -10 + 6*sin(t*0.2))\nbuoy_num=" +
                       std::to_string(n) + "\n";
    for (int i = 0; i < n; ++i)
        text += "buoy[" + std::to_string(i) + "]=(" + std::to_string(i % 8 * 10 - 35) + ", 0, " +
                std::to_string(i / 8 % 8 * 10 - 35) + ")\n";
    return text;
}

TEST_F(DiveToolTest, SimulationTakesThreeToSixtyFourBuoys)
{
    const struct {
        int buoys;
        int status;
        const char* err;
    } cases[] = {
        {2, 1, "error: a position fix needs at least 3 buoys; the manifest has 2\n"},
        {3, 0, ""},
        {64, 0, ""},
        {65, 1, "error: a simulation takes at most 64 buoys; the manifest has 65\n"},
        {50000, 1, "error: a simulation takes at most 64 buoys; the manifest has 50000\n"},
    };
    for (const auto& c : cases) {
        WriteManifest(ManifestWithBuoys(c.buoys));
        std::ofstream(dir / "solution.txt") << "kept\n";
        EXPECT_EQ(Run("simulate " + dir.string()), c.status) << c.buoys;
        EXPECT_EQ(err, c.err) << c.buoys;
        if (c.status == 0) {
            DiveData data;
            ASSERT_NO_THROW(data.Load(dir.string()));
            EXPECT_EQ(data.solution_points.size(), static_cast<size_t>(c.buoys));
            EXPECT_EQ(data.solution_positions.size(), 61u);
        } else {
            EXPECT_EQ(ReadFile(dir / "solution.txt"), "kept\n") << c.buoys;  // a refused run writes nothing
        }
        EXPECT_FALSE(fs::exists(dir / "solution.txt.part"));
    }
}

TEST_F(DiveToolTest, AFailedWriteLeavesNoPartialSolution)
{
    WriteManifest(kManifest);
    fs::create_directories(dir / "solution.txt" / "in-the-way");
    EXPECT_EQ(Run("simulate " + dir.string()), 1);
    EXPECT_EQ(err, "error: cannot write " + (dir / "solution.txt").string() + ": not a regular file\n");
    EXPECT_FALSE(fs::exists(dir / "solution.txt.part"));
    EXPECT_TRUE(fs::is_directory(dir / "solution.txt" / "in-the-way"));

    // Cut short by a file-size limit, as by a full disk: the old solution stays.
    fs::remove_all(dir / "solution.txt");
    std::ofstream(dir / "solution.txt") << "kept\n";
    const testsupport::ToolRun run =
        testsupport::RunTool(testsupport::UnderFileSizeLimit(NERELLE_DIVE_TOOL, 2048), "simulate " + dir.string(), dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot write " + (dir / "solution.txt").string() + ": File too large\n");
    EXPECT_EQ(ReadFile(dir / "solution.txt"), "kept\n");
    EXPECT_FALSE(fs::exists(dir / "solution.txt.part"));
}

TEST_F(DiveToolTest, CheckWarnsAboutIgnoredSolutionLines)
{
    WriteManifest(kManifest);
    const struct {
        const char* solution;
        const char* positions;  // the count line check prints
        const char* err;
    } cases[] = {
        {"1 2 3\n1 2 3 4 5 6\n", "solution positions: 1\n", ""},
        {"1\t2\t3\n1\t2\t3\t4\t5\t6\n1\t2\t3\t4\t5\t6\n", "solution positions: 0\n",
         "warning: 3 solution lines ignored (neither 3 nor 6 numbers separated by spaces); "
         "the first, line 1: \"1\\t2\\t3\"\n"},
        {"1 2 3\n\n1,2,3\n", "solution positions: 0\n",
         "warning: 1 solution line ignored (neither 3 nor 6 numbers separated by spaces); "
         "the first, line 3: \"1,2,3\"\n"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir / "solution.txt") << c.solution;
        EXPECT_EQ(Run("check " + dir.string()), 0) << c.solution;
        EXPECT_NE(out.find(c.positions), std::string::npos) << out;
        EXPECT_EQ(err, c.err);
    }
}

TEST_F(DiveToolTest, ProgressGoesToStandardErrorAtTheIntervalAsked)
{
    // kManifest's diver and buoys over 129 samples, reported every 64 steps
    // of each stage; with an interval of 0 every report is printed, however
    // fast the machine.
    WriteManifest("time=65\n" + std::string(kManifest + std::strlen("time=31\n")));
    setenv(kIntervalVariable, "0", 1);
    const std::string sampling =
        "sampling the motion: 49% (64 of 129)\n"
        "sampling the motion: 99% (128 of 129)\n"
        "sampling the motion: 100% (129 of 129)\n";
    const struct {
        const char* command;
        std::string err;
    } cases[] = {
        {"simulate ", sampling + "fixing positions: 49% (64 of 129)\nfixing positions: 99% (128 of 129)\n"
                                 "writing the solution: 49% (64 of 129)\nwriting the solution: 99% (128 of 129)\n"},
        {"check ", sampling},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Run(c.command + dir.string()), 0) << err;
        EXPECT_EQ(err, c.err) << c.command;
        EXPECT_EQ(out.find('%'), std::string::npos) << out;  // standard output stays clean
    }
    EXPECT_NE(out.find("motion samples: 129\n"), std::string::npos) << out;
}

TEST_F(DiveToolTest, AnIntervalThatIsNoNumberOfSecondsIsRefused)
{
    WriteManifest(kManifest);
    for (const char* value : {"abc", "-1", "nan", "inf", "1s", "1e999"}) {
        setenv(kIntervalVariable, value, 1);
        std::ofstream(dir / "solution.txt") << "kept\n";
        for (const char* command : {"simulate ", "check "}) {
            EXPECT_EQ(Run(command + dir.string()), 1) << command << value;
            EXPECT_EQ(err, "error: NERELLE_PROGRESS_INTERVAL must be a number of seconds, 0 or more\n") << value;
            EXPECT_EQ(out, "");
        }
        EXPECT_EQ(ReadFile(dir / "solution.txt"), "kept\n") << value;
    }
}

TEST_F(DiveToolTest, HelpPrintsTheUsageOnStandardOutput)
{
    for (const char* arguments : {"--help", "check --help", "simulate somewhere --seed 3 --help"}) {
        EXPECT_EQ(Run(arguments), 0) << arguments;
        EXPECT_EQ(out.rfind("usage: nerelle-dive check DIR", 0), 0u) << out;
        for (const char* part : {"simulate MANIFEST_DIR", "--seed N", "--range-noise M", "--depth-noise M", "--at T",
                                 "report DIR OUT.png", "--size WxH", "NERELLE_PROGRESS_INTERVAL"})
            EXPECT_NE(out.find(part), std::string::npos) << part;
        EXPECT_EQ(err, "");
    }
    for (const char* arguments : {"", "bogus", "check"}) {
        EXPECT_EQ(Run(arguments), 2) << arguments;
        EXPECT_EQ(out, "");
        EXPECT_EQ(err.rfind("error: usage: nerelle-dive", 0), 0u) << err;
    }
}

// A bad option or value is refused with one line that says why, then the usage.
TEST_F(DiveToolTest, ABadOptionValueSaysWhyBeforeTheUsage)
{
    WriteManifest(kManifest);
    const std::string d = dir.string();
    const struct {
        std::string arguments, reason;
    } cases[] = {
        {"check " + d + " --at nan", "--at wants a finite number of seconds, not 'nan'"},
        {"check " + d + " --at 1e999", "--at wants a finite number of seconds, not '1e999'"},
        {"check " + d + " --at", "--at wants a time in seconds"},
        {"check " + d + " --when 3", "check takes --at T and --hud, not '--when'"},
        {"simulate " + d + " --seed -3", "--seed wants a whole number 0 or more, not '-3'"},
        {"simulate " + d + " --range-noise inf", "--range-noise wants a finite number 0 or more, not 'inf'"},
        {"simulate " + d + " --depth-noise -1", "--depth-noise wants a finite number 0 or more, not '-1'"},
        {"simulate " + d + " --depth-noise", "--depth-noise wants a number of metres"},
        {"simulate " + d + " --speed 3", "simulate takes --seed, --range-noise and --depth-noise, not '--speed'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.arguments), 2) << c.arguments;
        EXPECT_EQ(out, "");
        EXPECT_EQ(err.rfind("error: " + c.reason + "\nusage: nerelle-dive check DIR", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 7) << err;  // the reason and the six usage lines
    }
}

TEST(DefaultDatasetTest, SpiralLongLoadsAndStaysNearItsPlan)
{
    DiveData data;
    ASSERT_NO_THROW(data.Load(std::string(NERELLE_SOURCE_DIR) + "/" + kDefaultDiveDirectory));
    ASSERT_GE(data.manifest_buoys.size(), 4u);
    ASSERT_EQ(data.solution_positions.size(), data.motion_track.size());
    EXPECT_GE(data.time - 1.0, 180.0);
    float deepest = 0.0f;
    double worst = 0.0;
    for (size_t k = 0; k < data.motion_track.size(); ++k) {
        deepest = std::min(deepest, data.motion_track[k].y);
        worst = std::max(worst, static_cast<double>((data.solution_positions[k] - data.motion_track[k]).Length()));
    }
    EXPECT_LE(deepest, -30.0f);
    EXPECT_GT(worst, 0.1);
    EXPECT_LT(worst, 1.5);
    EXPECT_NEAR(data.motion_track.front().y, 0.0f, 0.01f);  // starts at the surface
}

}  // namespace
