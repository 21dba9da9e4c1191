#include "dataset/dive_data.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kManifest =
    "time=10\n"
    "dt=0.5\n"
    "diver=(t, 0, -t)\n"
    "buoy_num=2\n"
    "buoy[0]=(1, 2, 3)\n"
    "buoy[1]=(-4.5, 0, 6)\n";

// A dataset directory of its own for each test.
class DiveDataTest : public ::testing::Test {
protected:
    void Write(const char* name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    void WriteBoth(const std::string& manifest, const std::string& solution)
    {
        Write("manifest.txt", manifest);
        Write("solution.txt", solution);
    }
    // The loader's message, or "" when it loads.
    std::string LoadMessage()
    {
        try {
            data.Load(dir.string());
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    }

    testsupport::ScratchDir scratch;
    fs::path dir = scratch.Path();
    DiveData data;
};

TEST_F(DiveDataTest, SolutionLinesSplitAtSpacesOnly)
{
    WriteBoth(kManifest,
              "1 2 3\n"
              "1  2   3\n"
              "\t1 2 3\t\r\n"
              "1\t2\t3\n"
              "1 2\n"
              "1 2 3 4 5 6 7\n"
              "\n"
              "   \n"
              "1 2 3 4 5 6\n"
              "7 8 9 0 0 -1");  // no final line feed
    ASSERT_EQ(LoadMessage(), "");
    ASSERT_EQ(data.solution_points.size(), 3u);
    for (const Vector3& p : data.solution_points)
        EXPECT_EQ(p, Vector3(1, 2, 3));
    ASSERT_EQ(data.solution_positions.size(), 2u);
    ASSERT_EQ(data.solution_directions.size(), 2u);
    EXPECT_EQ(data.solution_positions[0], Vector3(1, 2, 3));
    EXPECT_EQ(data.solution_directions[0], Vector3(4, 5, 6));
    EXPECT_EQ(data.solution_positions[1], Vector3(7, 8, 9));
    EXPECT_EQ(data.solution_directions[1], Vector3(0, 0, -1));
}

TEST_F(DiveDataTest, IgnoredSolutionLinesAreCountedAndTheFirstKept)
{
    const std::string longLine = "9" + std::string(300, '\t') + "9";
    const struct {
        std::string solution;
        size_t count, first;
        std::string text;  // trimmed, cut to the excerpt size
        bool cut;
        size_t points, positions;
    } cases[] = {
        {"1 2 3\n\n  \n1 2 3 4 5 6\n", 0, 0, "", false, 1, 1},
        {"1\t2\t3\n4\t5\t6\t0\t0\t1\n", 2, 1, "1\t2\t3", false, 0, 0},
        {"1 2 3\n\n \t1\t2 3\t\r\n1 2\n", 2, 3, "1\t2 3", false, 1, 0},
        {"1 2 3 4\n1 2 3 4 5 6 7\n1 2 3\n", 2, 1, "1 2 3 4", false, 1, 0},
        {"1 2 3\n" + longLine + "\n", 1, 2, longLine.substr(0, IgnoredLines::kMaxExcerpt), true, 1, 0},
    };
    for (const auto& c : cases) {
        WriteBoth(kManifest, c.solution);
        ASSERT_EQ(LoadMessage(), "") << c.solution;
        const IgnoredLines& ignored = data.ignored_solution_lines;
        EXPECT_EQ(ignored.count, c.count) << c.solution;
        EXPECT_EQ(ignored.first_number, c.first) << c.solution;
        EXPECT_EQ(ignored.first_text, c.text) << c.solution;
        EXPECT_EQ(ignored.first_cut, c.cut) << c.solution;
        EXPECT_EQ(data.solution_points.size(), c.points) << c.solution;
        EXPECT_EQ(data.solution_positions.size(), c.positions) << c.solution;
    }
    // A second load starts counting afresh.
    WriteBoth(kManifest, "1 2 3\n");
    ASSERT_EQ(LoadMessage(), "");
    EXPECT_EQ(data.ignored_solution_lines.count, 0u);
    EXPECT_TRUE(data.ignored_solution_lines.first_text.empty());
}

TEST(IgnoredLinesTest, DescriptionShowsTabsAndControlCharacters)
{
    const struct {
        IgnoredLines ignored;
        const char* text;
    } cases[] = {
        {{0, 0, "", false}, "0 solution lines ignored (neither 3 nor 6 numbers separated by spaces)"},
        {{1, 4, "1\t2\t3", false},
         "1 solution line ignored (neither 3 nor 6 numbers separated by spaces); the first, line 4: \"1\\t2\\t3\""},
        {{7, 2, "a\rb\x01\x7f" "c", true},
         "7 solution lines ignored (neither 3 nor 6 numbers separated by spaces); the first, line 2: "
         "\"a\\rb\\x01\\x7fc...\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeIgnoredLines(c.ignored), c.text);
}

TEST(DiveManifestTest, SamplingReportsProgressUpToItsCount)
{
    const struct {
        const char* manifest;
        size_t samples;
    } cases[] = {
        {"time=10\ndt=0.5\ndiver=(t, 0, 0)\nbuoy_num=0\n", 19},
        {"time=1001\ndt=0.25\ndiver=(t, 0, 0)\nbuoy_num=0\n", 4001},
        {"time=2\ndt=0.1\ndiver=(t, 0, 0)\nbuoy_num=0\n", 11},  // rounding of repeated addition
    };
    for (const auto& c : cases) {
        DiveManifest manifest;
        ASSERT_EQ(manifest.Read(c.manifest), DiveLoadError::kNone) << c.manifest;
        EXPECT_EQ(manifest.SampleCount(), c.samples) << c.manifest;
        std::vector<std::pair<size_t, size_t>> calls;
        std::vector<Vector3> track;
        ASSERT_EQ(manifest.Sample(track, [&calls](size_t done, size_t total) { calls.emplace_back(done, total); }),
                  DiveLoadError::kNone);
        ASSERT_EQ(track.size(), c.samples);
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), std::make_pair(c.samples, c.samples));
        EXPECT_LE(calls.size(), c.samples / 16 + 1) << c.manifest;  // now and then, not every sample
        for (size_t k = 1; k < calls.size(); ++k) {
            EXPECT_GT(calls[k].first, calls[k - 1].first);
            EXPECT_EQ(calls[k].second, c.samples);
        }
    }
}

TEST_F(DiveDataTest, SolutionPiecesNeedALeadingNumber)
{
    WriteBoth(kManifest, "1abc 2e1x 0x10\n1.5 -2 inf\n");
    ASSERT_EQ(LoadMessage(), "");
    ASSERT_EQ(data.solution_points.size(), 2u);
    EXPECT_EQ(data.solution_points[0], Vector3(1, 20, 16));
    EXPECT_EQ(data.solution_points[1].x, 1.5f);
    EXPECT_TRUE(std::isinf(data.solution_points[1].z));

    WriteBoth(kManifest, "1 2 3\nabc 2 3\n");
    EXPECT_EQ(LoadMessage(), "failed to read solution");
    WriteBoth(kManifest, "1 2 3 4 5 -\n");
    EXPECT_EQ(LoadMessage(), "failed to read solution");
    // A piece of tabs only holds no number, even though a number follows it.
    WriteBoth(kManifest, "1 \t 3\n");
    EXPECT_EQ(LoadMessage(), "failed to read solution");
}

TEST_F(DiveDataTest, LongSolutionLinesLoad)
{
    std::string longLine(1 << 20, ' ');
    std::string solution = "1" + longLine + "2" + longLine + "3\n" + std::string(1 << 20, 'x') + "\n";
    for (int i = 0; i < 1000; ++i)
        solution += "4 5 6 0 0 1\n";
    WriteBoth(kManifest, solution);
    ASSERT_EQ(LoadMessage(), "");
    ASSERT_EQ(data.solution_points.size(), 1u);
    EXPECT_EQ(data.solution_points[0], Vector3(1, 2, 3));
    EXPECT_EQ(data.solution_positions.size(), 1000u);
}

TEST_F(DiveDataTest, ManifestFieldsAndSamples)
{
    WriteBoth(kManifest, "");
    ASSERT_EQ(LoadMessage(), "");
    EXPECT_EQ(data.time, 10.0);
    EXPECT_EQ(data.dt, 0.5);
    ASSERT_EQ(data.manifest_buoys.size(), 2u);
    EXPECT_EQ(data.manifest_buoys[0], Vector3(1, 2, 3));
    EXPECT_EQ(data.manifest_buoys[1], Vector3(-4.5f, 0, 6));
    // 1.0, 1.5, ..., 10.0: 10.0 < 10.25 still samples, 10.5 does not.
    ASSERT_EQ(data.motion_track.size(), 19u);
    for (size_t k = 0; k < data.motion_track.size(); ++k) {
        float t = 1.0f + 0.5f * static_cast<float>(k);
        EXPECT_EQ(data.motion_track[k], Vector3(t, 0, -t)) << k;
    }
    EXPECT_TRUE(data.solution_points.empty());
}

TEST_F(DiveDataTest, ManifestFormatsMatchAnyWhiteSpace)
{
    WriteBoth("time= 10\r\n\r\n\tdt=\n0.5\r\n"
              "diver=( 2*t ,sin(t)*0, 3 )\r\n"
              "buoy_num= 1\r\n\r\n"
              "buoy[0]=( 1,2,  3 )\r\n"
              "swap_y_z=0\r\n",
              "");
    ASSERT_EQ(LoadMessage(), "");
    ASSERT_EQ(data.manifest_buoys.size(), 1u);
    EXPECT_EQ(data.manifest_buoys[0], Vector3(1, 2, 3));
    ASSERT_EQ(data.motion_track.size(), 19u);
    EXPECT_EQ(data.motion_track[2], Vector3(4, 0, 3));
}

TEST_F(DiveDataTest, BuoyLineWithoutClosingParenthesisStillCounts)
{
    // Formatted input stops at the missing ")"; the next line's match starts
    // right there, so only a line feed in between would fail.
    WriteBoth("time=10\ndt=1\ndiver=(t,0,0)\nbuoy_num=2\nbuoy[0]=(1,2,3buoy[1]=(4,5,6)\nswap_y_z=1\n", "");
    ASSERT_EQ(LoadMessage(), "");
    ASSERT_EQ(data.manifest_buoys.size(), 2u);
    EXPECT_EQ(data.manifest_buoys[1], Vector3(4, 6, 5));
}

TEST_F(DiveDataTest, MotionLineRules)
{
    WriteBoth("time=3\ndt=1\ndiver=(0, 0, 0)\nbuoy_num=0\n", "");
    ASSERT_EQ(LoadMessage(), "");
    ASSERT_EQ(data.motion_track.size(), 3u);
    EXPECT_EQ(data.motion_track[2], Vector3(0, 0, 0));

    const std::pair<const char*, const char*> cases[] = {
        {"diver=(x, 0, 0)", "failed to calculate diver motion"},
        {"diver=(t*x, 0, 0)", "failed to interpret diver motion"},
        {"diver=(t, 0)", "failed to interpret diver motion"},
        {"diver=(t, 0, 0, 0)", "failed to interpret diver motion"},
        {"diver=(t, , 0)", "failed to interpret diver motion"},
        {"diver=(pow(t, 2), 0, 0)", "failed to interpret diver motion"},
        {"diver=(t+, 0, 0)", "failed to interpret diver motion"},
        {"diver=()", "failed to interpret diver motion"},
        {"diver=(t, 0, 0) ", "failed to read manifest"},  // ")" must end the line
        {"diver = (t, 0, 0)", "failed to read manifest"},
        {"motion=(t, 0, 0)", "failed to read manifest"},
        {"diver=(t, 0, 0", "failed to read manifest"},
    };
    for (const auto& [line, message] : cases) {
        WriteBoth(std::string("time=3\ndt=1\n") + line + "\nbuoy_num=0\n", "");
        EXPECT_EQ(LoadMessage(), message) << line;
    }
    WriteBoth("time=3\ndt=1\ndiver=(" + std::string(1 << 20, ',') + ")\nbuoy_num=0\n", "");
    EXPECT_EQ(LoadMessage(), "failed to interpret diver motion");
    // The text between the first "(" and the last ")" is what counts.
    WriteBoth("time=3\ndt=1\ndiver=((t), (2), (3))\nbuoy_num=0\n", "");
    ASSERT_EQ(LoadMessage(), "");
    EXPECT_EQ(data.motion_track[0], Vector3(1, 2, 3));
}

TEST_F(DiveDataTest, SwapExchangesYAndZEverywhere)
{
    WriteBoth("time=3\ndt=1\ndiver=(t, 2*t, 3*t)\nbuoy_num=1\nbuoy[0]=(1, 2, 3)\nswap_y_z=1\n",
              "1 2 3\n1 2 3 4 5 6\n");
    ASSERT_EQ(LoadMessage(), "");
    EXPECT_EQ(data.manifest_buoys[0], Vector3(1, 3, 2));
    EXPECT_EQ(data.motion_track[0], Vector3(1, 3, 2));
    EXPECT_EQ(data.solution_points[0], Vector3(1, 3, 2));
    EXPECT_EQ(data.solution_positions[0], Vector3(1, 3, 2));
    EXPECT_EQ(data.solution_directions[0], Vector3(4, 6, 5));

    WriteBoth("time=3\ndt=1\ndiver=(t, 2*t, 3*t)\nbuoy_num=0\nswap_y_z=0\n", "1 2 3\n");
    ASSERT_EQ(LoadMessage(), "");
    EXPECT_EQ(data.motion_track[0], Vector3(1, 2, 3));
    EXPECT_EQ(data.solution_points[0], Vector3(1, 2, 3));
}

TEST_F(DiveDataTest, MissingFilesAndTheirOrder)
{
    EXPECT_EQ(LoadMessage(), "failed to open solution");
    Write("manifest.txt", kManifest);
    EXPECT_EQ(LoadMessage(), "failed to open solution");
    fs::remove(dir / "manifest.txt");
    Write("solution.txt", "1 2 3\n");
    EXPECT_EQ(LoadMessage(), "failed to open manifest");
    // The solution is read before the manifest is even opened.
    Write("solution.txt", "x y z\n");
    EXPECT_EQ(LoadMessage(), "failed to read solution");
}

TEST_F(DiveDataTest, AFifoInAFilesPlaceIsRefusedNotWaitedOn)
{
    // Opening a FIFO for reading blocks until a writer comes: the load
    // would hang for good.
    Write("manifest.txt", kManifest);
    ASSERT_EQ(mkfifo((dir / "solution.txt").c_str(), 0600), 0);
    EXPECT_EQ(LoadMessage(), "failed to open solution");
    fs::remove(dir / "solution.txt");
    Write("solution.txt", "1 2 3\n");
    fs::remove(dir / "manifest.txt");
    ASSERT_EQ(mkfifo((dir / "manifest.txt").c_str(), 0600), 0);
    EXPECT_EQ(LoadMessage(), "failed to open manifest");
}

TEST_F(DiveDataTest, MalformedManifestHeader)
{
    const char* tail = "diver=(t,0,0)\nbuoy_num=0\n";
    const std::string cases[] = {
        "",
        "time=\ndt=1\n",
        " time=10\ndt=1\n",          // a literal does not skip white space
        "time=10\ndt:1\n",
        "time=10\n",
        "time=10\ndt=0\n",           // endless sampling
        "time=10\ndt=-1\n",
        "time=10\ndt=nan\n",
        "time=10\ndt=inf\n",
        "time=1\ndt=1\n",            // zero wrap period
        "time=0.5\ndt=1\n",
        "time=nan\ndt=1\n",
        "time=inf\ndt=1\n",
        "time=1e12\ndt=1e-3\n",      // far too many samples
    };
    for (const std::string& head : cases) {
        WriteBoth(head + tail, "");
        EXPECT_EQ(LoadMessage(), "failed to read manifest") << head;
    }
}

TEST_F(DiveDataTest, MalformedBuoys)
{
    const std::string head = "time=10\ndt=1\ndiver=(t,0,0)\n";
    const std::string cases[] = {
        "buoy_num=-1\n",
        "buoy_num=x\n",
        "\nbuoy_num=0\n",                               // nothing may come between
        "buoy_num=99999999999\n",                       // does not fit an int
        "buoy_num=1000000\nbuoy[0]=(1,2,3)\n",          // more than the file can hold
        "buoy_num=2147483647\n",
        "buoy_num=1\nbuoy[0]=(1, 2)\n",
        "buoy_num=1\nbuoy[1]=(1, 2, 3)\n",
        "buoy_num=2\nbuoy[0]=(1, 2, 3)\n",
        "buoy_num=1\nbuoy[0] = (1, 2, 3)\n",
        "buoy_num=1\nbuoy[0]=(1; 2; 3)\n",
    };
    for (const std::string& rest : cases) {
        WriteBoth(head + rest, "");
        EXPECT_EQ(LoadMessage(), "failed to read manifest") << rest;
    }
    // A bad buoy count is found before the motion line is interpreted...
    WriteBoth("time=10\ndt=1\ndiver=(t,)\nbuoy_num=-1\n", "");
    EXPECT_EQ(LoadMessage(), "failed to read manifest");
    // ...and a bad motion before the buoy lines are read.
    WriteBoth("time=10\ndt=1\ndiver=(t,)\nbuoy_num=1\nbuoy[0]=(1, 2)\n", "");
    EXPECT_EQ(LoadMessage(), "failed to interpret diver motion");
}

// Queries over a hand-made dataset: time 5 (period 4), dt 1.
class DiveQueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.time = 5.0;
        data.dt = 1.0;
        data.solution_positions = {{0, 0, 0}, {10, 0, 0}, {10, 20, 0}, {10, 20, 40}};
        data.solution_directions = {{2, 0, 0}, {0, 3, 0}, {0, 0, 0}, {0, 0, -5}};
        data.motion_track = {{0, 0, 0}, {1, 1, 1}};
    }
    DiveData data;
};

TEST_F(DiveQueryTest, PositionsInterpolateAndClampAtTheEnd)
{
    EXPECT_EQ(data.SolutionPositionAt(0.0), Vector3(0, 0, 0));
    EXPECT_EQ(data.SolutionPositionAt(1.0), Vector3(10, 0, 0));
    EXPECT_EQ(data.SolutionPositionAt(2.0), Vector3(10, 20, 0));
    EXPECT_EQ(data.SolutionPositionAt(0.25), Vector3(2.5f, 0, 0));
    EXPECT_EQ(data.SolutionPositionAt(1.5), Vector3(10, 10, 0));
    EXPECT_EQ(data.SolutionPositionAt(3.0), Vector3(10, 20, 40));
    EXPECT_EQ(data.SolutionPositionAt(3.5), Vector3(10, 20, 40));  // next index clamped
    // Playback wraps with period time - 1 = 4.
    EXPECT_EQ(data.SolutionPositionAt(4.0), Vector3(0, 0, 0));
    EXPECT_EQ(data.SolutionPositionAt(5.5), Vector3(10, 10, 0));
}

TEST_F(DiveQueryTest, ShortListWrapsWithoutExtrapolating)
{
    // Two samples cover steps 0 and 1; step 3 wraps to entry 1 and its
    // fraction stays within one step.
    EXPECT_EQ(data.MotionPositionAt(1.0), Vector3(1, 1, 1));
    EXPECT_EQ(data.MotionPositionAt(2.0), Vector3(0, 0, 0));
    EXPECT_EQ(data.MotionPositionAt(2.5), Vector3(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(data.MotionPositionAt(3.5), Vector3(1, 1, 1));
    size_t i, j;
    float f;
    ASSERT_TRUE(data.Lookup(3.5, 2, i, j, f));
    EXPECT_EQ(i, 1u);
    EXPECT_EQ(j, 1u);
    EXPECT_FLOAT_EQ(f, 0.5f);
}

TEST_F(DiveQueryTest, EmptyListsAndOddTimes)
{
    DiveData empty;
    empty.time = 5.0;
    empty.dt = 1.0;
    EXPECT_EQ(empty.SolutionPositionAt(1.0), Vector3(0, 0, 0));
    EXPECT_EQ(empty.MotionPositionAt(1.0), Vector3(0, 0, 0));
    EXPECT_EQ(empty.SolutionDirectionAt(1.0), Vector3(0, 0, 0));
    size_t i, j;
    float f;
    EXPECT_FALSE(empty.Lookup(1.0, 0, i, j, f));

    // Negative, NaN and infinite playback times count as 0.
    EXPECT_EQ(data.SolutionPositionAt(-3.0), Vector3(0, 0, 0));
    EXPECT_EQ(data.SolutionPositionAt(std::nan("")), Vector3(0, 0, 0));
    EXPECT_EQ(data.SolutionPositionAt(INFINITY), Vector3(0, 0, 0));

    // A dataset never loaded (no period, no step) answers its first entry.
    DiveData unset;
    unset.solution_positions = {{7, 8, 9}};
    EXPECT_EQ(unset.SolutionPositionAt(12.0), Vector3(7, 8, 9));
}

TEST_F(DiveQueryTest, StepBracketsTheInterpolatedPosition)
{
    struct Case {
        double t;
        Vector3 from, to;
    };
    const Case cases[] = {
        {0.25, {0, 0, 0}, {10, 0, 0}},
        {1.5, {10, 0, 0}, {10, 20, 0}},
        {3.5, {10, 20, 40}, {10, 20, 40}},  // last entry: no step beyond it
        {5.5, {10, 0, 0}, {10, 20, 0}},     // wrapped with the period
    };
    for (const Case& c : cases) {
        Vector3 from, to;
        ASSERT_TRUE(data.SolutionStepAt(c.t, from, to)) << c.t;
        EXPECT_EQ(from, c.from) << c.t;
        EXPECT_EQ(to, c.to) << c.t;
        // The interpolated position lies on the step.
        const Vector3 p = data.SolutionPositionAt(c.t);
        EXPECT_NEAR((p - from).Length() + (to - p).Length(), (to - from).Length(), 1e-4) << c.t;
    }
    DiveData empty;
    Vector3 from, to;
    EXPECT_FALSE(empty.SolutionStepAt(1.0, from, to));
}

TEST_F(DiveQueryTest, VelocityOfStepsLongerThanTheReachIsTheStep)
{
    // dt = 1 s: half a second either side adds no position to the step.
    struct Case {
        double t;
        Vector3 velocity;
    };
    const Case cases[] = {
        {0.25, {10, 0, 0}},  // first step
        {1.5, {0, 20, 0}},   // second step
        {2.0, {0, 0, 40}},   // third step, from its start
        {3.5, {0, 0, 0}},    // held on the last position
        {5.5, {0, 20, 0}},   // wrapped with the period
    };
    for (const Case& c : cases)
        EXPECT_EQ(data.SolutionVelocityAt(c.t), c.velocity) << c.t;

    DiveData none = data;
    none.solution_positions.clear();
    EXPECT_EQ(none.SolutionVelocityAt(0.5), Vector3(0, 0, 0));
    for (double dt : {0.0, -1.0, double(NAN), double(INFINITY)}) {
        DiveData bad = data;
        bad.dt = dt;
        EXPECT_EQ(bad.SolutionVelocityAt(0.5), Vector3(0, 0, 0)) << dt;
    }
}

// Ten seconds along a straight line at 0.25 s steps.
DiveData StraightLine(const Vector3& velocity)
{
    DiveData data;
    data.time = 11.0;
    data.dt = 0.25;
    for (int k = 0; k <= 40; ++k)
        data.solution_positions.push_back(Vector3(1, -2, 3) + velocity * float(k * data.dt));
    return data;
}

TEST(DiveVelocityTest, StraightLineVelocityHoldsToTheEndsOfTheData)
{
    const Vector3 v(0.3f, -0.1f, 0.6f);
    const DiveData data = StraightLine(v);
    // The window is cut short at either end, not wrapped to the other end.
    for (double t : {0.0, 0.1, 0.3, 5.1, 9.8, 9.99, 10.2}) {
        const Vector3 got = data.SolutionVelocityAt(t);
        EXPECT_NEAR(got.x, v.x, 1e-4) << t;
        EXPECT_NEAR(got.y, v.y, 1e-4) << t;
        EXPECT_NEAR(got.z, v.z, 1e-4) << t;
    }
}

TEST(DiveVelocityTest, FitTakesHalfASecondEitherSideOfTheStep)
{
    // Position 20 (5.0 s) knocked 1 m aside: only the steps within half a
    // second of it feel it.
    const Vector3 v(0.3f, -0.1f, 0.6f);
    DiveData data = StraightLine(v);
    data.solution_positions[20].x += 1.0f;
    struct Case {
        double t;
        bool feels_it;
    };
    const Case cases[] = {
        {4.2, false},   // step 16-17: positions 14 to 19
        {4.3, true},    // step 17-18: positions 15 to 20
        {5.0, true},    // step 20-21: positions 18 to 23
        {5.6, true},    // step 22-23: positions 20 to 25
        {5.76, false},  // step 23-24: positions 21 to 26
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::fabs(data.SolutionVelocityAt(c.t).x - v.x) > 0.05f, c.feels_it) << c.t;
}

TEST_F(DiveQueryTest, DirectionsAreUnitOrZero)
{
    EXPECT_EQ(data.SolutionDirectionAt(0.0), Vector3(1, 0, 0));
    Vector3 half = data.SolutionDirectionAt(0.5);
    EXPECT_FLOAT_EQ(half.x, std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(half.y, std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(half.Length(), 1.0f);
    // Entry 2 has a zero direction: it counts as zero, no NaN.
    Vector3 toZero = data.SolutionDirectionAt(1.5);
    EXPECT_EQ(toZero, Vector3(0, 1, 0));
    EXPECT_EQ(data.SolutionDirectionAt(2.0), Vector3(0, 0, 0));
    Vector3 fromZero = data.SolutionDirectionAt(2.25);
    EXPECT_FALSE(std::isnan(fromZero.x));
    EXPECT_EQ(fromZero, Vector3(0, 0, -1));
}

TEST(DiveLoadMessageTest, FixedTexts)
{
    EXPECT_STREQ(DiveLoadMessage(DiveLoadError::kOpenSolution), "failed to open solution");
    EXPECT_STREQ(DiveLoadMessage(DiveLoadError::kReadSolution), "failed to read solution");
    EXPECT_STREQ(DiveLoadMessage(DiveLoadError::kOpenManifest), "failed to open manifest");
    EXPECT_STREQ(DiveLoadMessage(DiveLoadError::kReadManifest), "failed to read manifest");
    EXPECT_STREQ(DiveLoadMessage(DiveLoadError::kInterpretMotion), "failed to interpret diver motion");
    EXPECT_STREQ(DiveLoadMessage(DiveLoadError::kCalculateMotion), "failed to calculate diver motion");
}

}  // namespace
