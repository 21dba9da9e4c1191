// DiveDataset on the headless context: uploads, draws read back as pixels.
#include "dataset/dive_dataset.h"
#include "gl/shader_program.h"
#include "support/gl_test.h"
#include "support/rgba_image.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Rows whose window coordinate is a pixel centre, so one-pixel lines land on
// exactly one row: ndc = (row + 0.5) / 128 - 1.
constexpr int kMotionRow = 192;
constexpr int kSolutionRow = 64;
constexpr float RowNdc(int row) { return (static_cast<float>(row) + 0.5f) / 128.0f - 1.0f; }
constexpr int ColumnOf(float ndcX) { return static_cast<int>((ndcX + 1.0f) * 128.0f); }

class DiveDatasetTest : public testsupport::GLTest {
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        BuildProgram();
    }
    void TearDown() override
    {
        program.Reset();
        GLTest::TearDown();
    }

    // A flat-colour program with an identity transform: positions are NDC.
    // Points are two pixels wide: a one-pixel point centred on a pixel edge
    // (NDC 0 on an even width) covers no pixel centre.
    void BuildProgram()
    {
        const char* vertex =
            "attribute vec3 v_pos;\n"
            "void main() { gl_Position = vec4(v_pos, 1.0); gl_PointSize = 2.0; }\n";
        const char* fragment =
            "precision mediump float;\n"
            "uniform vec4 v_color;\n"
            "void main() { gl_FragColor = v_color; }\n";
        std::string configLog, compileLog, linkLog;
        ASSERT_TRUE(Create_ShaderProgram(configLog, compileLog, program.Ref(), vertex, fragment,
                                         "vertex {\n\tv_pos: 0;\n}\n", linkLog))
            << compileLog << linkLog;
        glUseProgram(program);
        glUniform4f(glGetUniformLocation(program, "v_color"), 1, 0, 0, 1);
    }

    // Motion: x = 0.2 t - 0.6 on kMotionRow, sampled at t = 1..5, so steps 0..4
    // sit at x = -0.4, -0.2, 0, 0.2, 0.4. Solution: two positions on kSolutionRow.
    void WriteDataset(const std::string& solution)
    {
        std::ofstream(dir / "manifest.txt") << "time=5\ndt=1\ndiver=(0.2*t - 0.6, " << RowNdc(kMotionRow)
                                            << " + t*0, 0)\nbuoy_num=0\n";
        std::ofstream(dir / "solution.txt") << solution;
    }
    std::string DefaultSolution()
    {
        std::string row = std::to_string(RowNdc(kSolutionRow));
        return "-0.8 " + row + " 0 1 0 0\n0.0 " + row + " 0 1 0 0\n";
    }

    bool Lit(int x, int y) { return PixelAt(x, y)[0] > 60; }
    int LitInRow(int y)
    {
        const testsupport::RgbaImage frame = testsupport::ReadFrame(Context());
        int n = 0;
        for (int x = 0; x < frame.width; ++x)
            n += frame.AtGL(x, y)[0] > 60;
        return n;
    }
    int LitTotal()
    {
        const testsupport::RgbaImage frame = testsupport::ReadFrame(Context());
        int n = 0;
        for (size_t k = 0; k < frame.rgba.size(); k += 4)
            n += frame.rgba[k] > 60;
        return n;
    }

    testsupport::ScratchDir scratch;
    fs::path dir = scratch.Path();
    GLProgram program;
};

TEST_F(DiveDatasetTest, UploadsBothTracksAndTheSegment)
{
    WriteDataset(DefaultSolution());
    DiveDataset dive(dir.string());
    ASSERT_EQ(dive.Data().motion_track.size(), 5u);
    ASSERT_NE(dive.motion_buffer.Get(), 0u);
    ASSERT_NE(dive.solution_buffer.Get(), 0u);
    ASSERT_NE(dive.segment_buffer.Get(), 0u);
    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, dive.motion_buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 5 * 12);
    glBindBuffer(GL_ARRAY_BUFFER, dive.solution_buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 2 * 12);
    glBindBuffer(GL_ARRAY_BUFFER, dive.segment_buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 24);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (default_vertex_array) {
        EXPECT_NE(dive.motion_vertex_array.Get(), 0u);
        EXPECT_NE(dive.solution_vertex_array.Get(), 0u);
        EXPECT_NE(dive.segment_vertex_array.Get(), 0u);
        GLint bound = -1;
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), default_vertex_array);  // left bound between draws
    }
}

TEST_F(DiveDatasetTest, LineStripStopsAtTheCurrentPosition)
{
    WriteDataset(DefaultSolution());
    DiveDataset dive(dir.string());
    // Playback 1.5: vertices 0 and 1 (x -0.4, -0.2), then on to x = -0.1.
    EXPECT_FLOAT_EQ(dive.MotionPositionAt(1.5).x, -0.1f);
    EXPECT_FLOAT_EQ(dive.SolutionPositionAt(0.5).x, -0.4f);
    EXPECT_FLOAT_EQ(dive.SolutionDirectionAt(0.5).x, 1.0f);
    dive.DrawTrack(GL_LINE_STRIP, 1.5, true);
    EXPECT_TRUE(Lit(ColumnOf(-0.35f), kMotionRow));
    EXPECT_TRUE(Lit(ColumnOf(-0.15f), kMotionRow));  // the segment
    EXPECT_FALSE(Lit(ColumnOf(-0.05f), kMotionRow)); // beyond the current point
    EXPECT_FALSE(Lit(ColumnOf(-0.45f), kMotionRow)); // before the start
    int lit = LitInRow(kMotionRow);
    EXPECT_NEAR(lit, 0.3 * 128, 3);                  // from -0.4 to -0.1
    EXPECT_EQ(LitInRow(kSolutionRow), 0);            // the other track is not drawn
    EXPECT_EQ(LitTotal(), lit);
}

TEST_F(DiveDatasetTest, SolutionTrackDrawsItsOwnPositions)
{
    WriteDataset(DefaultSolution());
    DiveDataset dive(dir.string());
    // Two positions, x -0.8 and 0.0; playback 0.5 is half way between them.
    dive.DrawTrack(GL_LINE_STRIP, 0.5, false);
    EXPECT_TRUE(Lit(ColumnOf(-0.6f), kSolutionRow));
    EXPECT_FALSE(Lit(ColumnOf(-0.3f), kSolutionRow));
    EXPECT_NEAR(LitInRow(kSolutionRow), 0.4 * 128, 3);
    EXPECT_EQ(LitInRow(kMotionRow), 0);
}

TEST_F(DiveDatasetTest, PointsDrawTheVerticesAndTheCurrentPointOnly)
{
    WriteDataset(DefaultSolution());
    DiveDataset dive(dir.string());
    // Playback 2.5: points at x -0.4, -0.2, 0 and the current point at 0.1.
    dive.DrawTrack(GL_POINTS, 2.5, true);
    EXPECT_TRUE(Lit(ColumnOf(-0.4f), kMotionRow));
    EXPECT_TRUE(Lit(ColumnOf(0.0f), kMotionRow));
    EXPECT_TRUE(Lit(ColumnOf(0.1f), kMotionRow));
    EXPECT_FALSE(Lit(ColumnOf(-0.3f), kMotionRow));  // no line between them
    EXPECT_FALSE(Lit(ColumnOf(0.2f), kMotionRow));
    EXPECT_EQ(LitTotal(), 4 * 4);  // four points, each two pixels square
}

TEST_F(DiveDatasetTest, EmptyTrackAndNegativeTimes)
{
    WriteDataset("1 2 3\n");  // buoys only: no solution positions
    DiveDataset dive(dir.string());
    ASSERT_TRUE(dive.Data().solution_positions.empty());
    dive.DrawTrack(GL_LINE_STRIP, 2.0, false);
    dive.DrawTrack(GL_POINTS, 2.0, false);
    EXPECT_EQ(LitTotal(), 0);
    // A negative time counts as 0: only the first vertex.
    dive.DrawTrack(GL_POINTS, -7.0, true);
    EXPECT_TRUE(Lit(ColumnOf(-0.4f), kMotionRow));
    EXPECT_EQ(LitTotal(), 4);  // one point, two pixels square
}

TEST_F(DiveDatasetTest, LoaderErrorsLeaveNoGLObjects)
{
    GLuint before = 0;
    glGenBuffers(1, &before);
    glDeleteBuffers(1, &before);
    std::ofstream(dir / "solution.txt") << "";
    std::ofstream(dir / "manifest.txt") << "time=5\ndt=0\ndiver=(t,0,0)\nbuoy_num=0\n";
    try {
        DiveDataset dive(dir.string());
        FAIL() << "loaded a manifest with a zero step";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "failed to read manifest");
    }
    GLuint after = 0;
    glGenBuffers(1, &after);
    // Mesa hands out buffer names in sequence: none was taken in between.
    EXPECT_EQ(after, before + 1);
    glDeleteBuffers(1, &after);
}

TEST_F(DiveDatasetTest, DestructorDeletesItsObjects)
{
    WriteDataset(DefaultSolution());
    GLuint buffers[3], arrays[3];
    {
        DiveDataset dive(dir.string());
        buffers[0] = dive.motion_buffer.Get();
        buffers[1] = dive.solution_buffer.Get();
        buffers[2] = dive.segment_buffer.Get();
        arrays[0] = dive.motion_vertex_array.Get();
        arrays[1] = dive.solution_vertex_array.Get();
        arrays[2] = dive.segment_vertex_array.Get();
        dive.DrawTrack(GL_LINE_STRIP, 1.0, true);
    }
    for (GLuint b : buffers)
        EXPECT_FALSE(glIsBuffer(b));
    for (GLuint a : arrays) {
        if (a) {
            EXPECT_FALSE(glIsVertexArray(a));
        }
    }
}

TEST_F(DiveDatasetTest, DefaultDatasetUploads)
{
    DiveDataset dive(std::string(NERELLE_SOURCE_DIR) + "/" + kDefaultDiveDirectory);
    EXPECT_GT(dive.Data().motion_track.size(), 100u);
    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, dive.solution_buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(size, static_cast<GLint>(dive.Data().solution_positions.size() * 12));
}

}  // namespace

namespace {

// A dataset of tracks whose local metres are the test's NDC: the fixed frame
// at its origin's latitude, x east and y = -depth.
class OtherTracksTest : public DiveDatasetTest {
protected:
    static std::string Fix(const char* utc, float x, int row)
    {
        const double lon = kFixedOriginLongitude +
                           double(x) / (std::cos(kFixedOriginLatitude * M_PI / 180.0) * kFixedMetresPerDegree);
        char line[160];
        std::snprintf(line, sizeof line, "%s,%.12f,%.12f,%.9f,,,,t:1\n", utc, kFixedOriginLatitude, lon,
                      -double(RowNdc(row)));
        return line;
    }
};

TEST_F(OtherTracksTest, OtherTracksDrawUpToTheTimeAndRoutesWhole)
{
    const std::string header = "utc,lat,lon,depth,quality,hdop,receivers,source\n";
    std::ofstream(dir / "manifest.txt") << "track=diver,measured,a.csv\ntrack=boat,other,b.csv\ntrack=plan,other,c.csv\n";
    std::ofstream(dir / "a.csv") << header << Fix("2020-01-01T00:00:00Z", -0.9f, 16);
    std::ofstream(dir / "b.csv") << header << Fix("2020-01-01T00:00:00Z", -0.4f, kSolutionRow)
                                 << Fix("2020-01-01T00:00:01Z", 0.0f, kSolutionRow)
                                 << Fix("2020-01-01T00:00:02Z", 0.4f, kSolutionRow);
    std::ofstream(dir / "c.csv") << header << Fix("", -0.4f, kMotionRow) << Fix("", 0.4f, kMotionRow);
    DiveDataset dive(dir.string());
    ASSERT_EQ(dive.OtherTrackCount(), 2u);
    EXPECT_EQ(dive.OtherTrack(0).name, "boat");

    dive.DrawOtherTrack(0, GL_LINE_STRIP, 0.5);
    EXPECT_TRUE(Lit(ColumnOf(-0.3f), kSolutionRow));
    EXPECT_TRUE(Lit(ColumnOf(-0.25f), kSolutionRow));  // the piece to where the boat is at 0.5 s
    EXPECT_FALSE(Lit(ColumnOf(-0.1f), kSolutionRow));
    dive.DrawOtherTrack(1, GL_LINE_STRIP, 0.0);  // the route is there from the start
    EXPECT_TRUE(Lit(ColumnOf(0.3f), kMotionRow));
    EXPECT_FALSE(Lit(ColumnOf(0.5f), kMotionRow));
}

TEST_F(OtherTracksTest, ASelectedTrackBecomesTheSolutionAndTheOldOneAnOther)
{
    const std::string header = "utc,lat,lon,depth,quality,hdop,receivers,source\n";
    std::ofstream(dir / "manifest.txt") << "track=diver,measured,a.csv\ntrack=boat,other,b.csv\ntrack=plan,other,c.csv\n";
    std::ofstream(dir / "a.csv") << header << Fix("2020-01-01T00:00:00Z", -0.9f, 16)
                                 << Fix("2020-01-01T00:00:01Z", -0.8f, 16);
    std::ofstream(dir / "b.csv") << header << Fix("2020-01-01T00:00:00Z", -0.4f, kSolutionRow)
                                 << Fix("2020-01-01T00:00:01Z", 0.0f, kSolutionRow)
                                 << Fix("2020-01-01T00:00:02Z", 0.4f, kSolutionRow);
    std::ofstream(dir / "c.csv") << header << Fix("", -0.4f, kMotionRow) << Fix("", 0.4f, kMotionRow);
    DiveDataset dive(dir.string());
    EXPECT_FALSE(dive.SelectTrack(2)) << "a route has no times to follow";
    ASSERT_TRUE(dive.SelectTrack(1));
    EXPECT_EQ(dive.Data().measured, 1);
    EXPECT_EQ(dive.Data().solution_positions.size(), 3u);
    ASSERT_EQ(dive.OtherTrackCount(), 2u);
    EXPECT_EQ(dive.OtherTrack(0).name, "diver");
    dive.DrawTrack(GL_LINE_STRIP, 2.0, false);
    EXPECT_TRUE(Lit(ColumnOf(0.3f), kSolutionRow));
}

}  // namespace
