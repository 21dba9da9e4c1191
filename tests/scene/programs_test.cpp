// The small programs on the headless context, and what every scene object
// does when its program cannot be built.
#include "scene/buoy.h"
#include "scene/flat_color_program.h"
#include "scene/round_point_program.h"
#include "scene/sky_dome.h"
#include "scene/sub_model.h"
#include "scene/terrain.h"
#include "scene/textured_program.h"
#include "scene/water_above.h"
#include "scene/water_below.h"

#include "image/bitmap.h"
#include "scene/scene_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace scenetest;

namespace {

class ProgramTest : public SceneTest {
protected:
    // Uploads interleaved floats with attribute 0 (`position_size` floats)
    // and, when `tex`, attribute 1 (2 floats) after it.
    void Upload(const std::vector<float>& floats, GLint position_size, bool tex)
    {
        m_vertex_array.Create();
        m_buffer.Create();
        glBindVertexArray(m_vertex_array);
        glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(floats.size() * sizeof(float)), floats.data(), GL_STATIC_DRAW);
        const GLsizei stride = GLsizei((position_size + (tex ? 2 : 0)) * sizeof(float));
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, position_size, GL_FLOAT, GL_FALSE, stride, nullptr);
        if (tex) {
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                                  reinterpret_cast<const void*>(position_size * sizeof(float)));
        }
    }
    void TearDown() override
    {
        glBindVertexArray(default_vertex_array);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        SceneTest::TearDown();
    }
    GLVertexArray m_vertex_array;
    GLBuffer m_buffer;
};

// Every pixel of the sprite inside the inscribed circle (less the soft rim)
// is opaque in the colour, every pixel from the circle outwards is
// discarded; a point four times as far away covers the same pixels.
TEST_F(ProgramTest, RoundPointsAreDiscsOfFixedSize)
{
    CRoundPointProgram points;
    ASSERT_TRUE(points.Create());
    Upload({0, 0, 0}, 3, false);
    const float colour[4] = {1, 0.5f, 0, 1};
    const float size = 31;
    RgbaImage frames[2];
    for (int k = 0; k < 2; ++k) {
        Matrix4 mvp = Matrix4::Identity();
        mvp[15] = k == 0 ? 1 : 4;  // clip w
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ASSERT_TRUE(points.Use(mvp, Vector4(colour[0], colour[1], colour[2], colour[3]), size));
        glDrawArrays(GL_POINTS, 0, 1);
        frames[k] = ReadFrame();
    }
    EXPECT_EQ(frames[0].rgba, frames[1].rgba);
    int inside = 0;
    for (int y = 100; y < 156; ++y)
        for (int x = 100; x < 156; ++x) {
            // Centre at (128, 128); r in sprite units.
            const float dx = float(x) + 0.5f - 128, dy = float(y) + 0.5f - 128;
            const float r = std::sqrt(dx * dx + dy * dy) / size;
            const uint8_t* p = frames[0].AtGL(x, y);
            if (r >= 0.5f) {
                EXPECT_EQ(p[3], 0) << x << ", " << y;
            } else if (r < 0.5f - 1.5f / size) {
                ++inside;
                EXPECT_TRUE(ColourNear(p, colour, 1)) << x << ", " << y;
                EXPECT_EQ(p[3], 255) << x << ", " << y;
            }
        }
    EXPECT_GT(inside, 500);
}

TEST_F(ProgramTest, FlatAndTexturedProgramsFillTheirTriangles)
{
    // Flat: the left half in one colour.
    CFlatColorProgram flat;
    ASSERT_TRUE(flat.Create());
    Upload({-1, -1, 0, 0, -1, 0, 0, 1, 0, -1, -1, 0, 0, 1, 0, -1, 1, 0}, 3, false);
    const float colour[3] = {0.2f, 0.4f, 0.6f};
    ASSERT_TRUE(flat.Use(Matrix4::Identity(), Vector4(colour[0], colour[1], colour[2], 1)));
    glDrawArrays(GL_TRIANGLES, 0, 6);
    RgbaImage f = ReadFrame();
    EXPECT_TRUE(ColourNear(f.AtGL(20, 200), colour, 0));
    EXPECT_FALSE(Covered(f, 200, 20));

    // Textured: a 2 x 2 texture over the whole view, one texel per quadrant.
    CTexturedProgram textured;
    ASSERT_TRUE(textured.Create());
    Upload({-1, -1, 0, 0, 0, 1, -1, 0, 1, 0, 1, 1, 0, 1, 1, -1, -1, 0, 0, 0, 1, 1, 0, 1, 1, -1, 1, 0, 0, 1}, 3, true);
    const GLTexture texture = MakeTexture(
        2, 2,
        {PackRGBA(255, 0, 0, 255), PackRGBA(0, 255, 0, 255), PackRGBA(0, 0, 255, 255), PackRGBA(255, 255, 255, 255)});
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ASSERT_TRUE(textured.Use(Matrix4::Identity()));
    glDrawArrays(GL_TRIANGLES, 0, 6);
    f = ReadFrame();
    const float red[3] = {1, 0, 0}, green[3] = {0, 1, 0}, blue[3] = {0, 0, 1}, white[3] = {1, 1, 1};
    EXPECT_TRUE(ColourNear(f.AtGL(60, 60), red, 0));
    EXPECT_TRUE(ColourNear(f.AtGL(190, 60), green, 0));
    EXPECT_TRUE(ColourNear(f.AtGL(60, 190), blue, 0));
    EXPECT_TRUE(ColourNear(f.AtGL(190, 190), white, 0));
}

// Each object draws with its own file from the working directory, as RGB.
TEST_F(ProgramTest, ObjectsDrawWithTheirTexturesFromTheWorkingDirectory)
{
    CSkyDome sky(Vector3(1, 1, 1), Vector3(1, 1, 1), 350, 1500);
    CTerrain terrain;
    CSubModel sub;
    struct Case {
        const char* file;
        std::function<void()> draw;
        GLint width;
    } cases[] = {
        {"clouds.png", [&] { sky.DrawAbove(Perspective60(), 0); }, 256},
        {"lightmap.png", [&] { terrain.DrawAbove(Perspective60()); }, 4},
        {"sub.png", [&] { sub.Draw(Vector3(0, 0, -5), Vector3(0, 0, -1), 1, Perspective60(), Matrix4::Identity()); },
         8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        glBindTexture(GL_TEXTURE_2D, 0);
        c.draw();
        GLint width = 0, format = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        EXPECT_EQ(width, c.width);
        EXPECT_TRUE(format == GL_RGB || format == GL_RGB8) << std::hex << format;
    }
}

GLuint GLAPIENTRY RefuseProgram()
{
    return 0;
}

// With no program to be had, the objects keep an index count of 0, the
// programs report false with a zero handle, and nothing draws.
TEST_F(ProgramTest, FailedProgramLeavesNothingToDraw)
{
    const auto real = CGLES20ExtensionHandler::glCreateProgram;
    CGLES20ExtensionHandler::glCreateProgram = RefuseProgram;
    CSkyDome sky(Vector3(1, 1, 1), Vector3(1, 1, 1), 350, 1500);
    CBuoy buoy;
    CSubModel sub;
    CTerrain terrain;
    CFlatColorProgram flat;
    CRoundPointProgram points;
    CTexturedProgram textured;
    CWaterAbove above;
    CWaterBelow below;
    const bool built = flat.Create() || points.Create() || textured.Create() || above.Create() || below.Create();
    CGLES20ExtensionHandler::glCreateProgram = real;

    EXPECT_FALSE(built);
    EXPECT_EQ(sky.IndexCount(), 0u);
    EXPECT_EQ(buoy.IndexCount(), 0u);
    EXPECT_EQ(sub.IndexCount(), 0u);
    EXPECT_EQ(terrain.IndexCount(), 0u);
    EXPECT_EQ(flat.program, 0u);
    EXPECT_FALSE(flat.Use(Matrix4::Identity(), Vector4(1, 1, 1, 1)));
    EXPECT_FALSE(points.Use(Matrix4::Identity(), Vector4(1, 1, 1, 1), 3));
    EXPECT_FALSE(textured.Use(Matrix4::Identity()));
    EXPECT_FALSE(above.Use(Matrix4::Identity(), Matrix4::Identity(), 0));
    EXPECT_FALSE(below.Use(Matrix4::Identity(), Matrix4::Identity(), 0));

    glDisable(GL_CULL_FACE);
    const Matrix4 mvp = Perspective60();
    sky.DrawAbove(mvp, 0);
    sky.DrawBelow(mvp, 0);
    buoy.DrawBall(mvp, Matrix4::Identity(), Vector3(0, 0, -3), 1);
    buoy.DrawGlow(mvp, Vector3(0, 0, -3), 0);
    sub.Draw(Vector3(0, 0, -5), Vector3(0, 0, -1), 1, mvp, Matrix4::Identity());
    terrain.DrawAbove(mvp);
    terrain.DrawBelow(mvp, Matrix4::Identity());
    glEnable(GL_CULL_FACE);
    const RgbaImage f = ReadFrame();
    EXPECT_EQ(std::count(f.rgba.begin(), f.rgba.end(), 0), std::ptrdiff_t(f.rgba.size()));
}

}  // namespace
