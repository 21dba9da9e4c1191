// The terrain and sea floor: the mesh made from the tables, and the two
// fog rules on the headless context.
#include "scene/terrain.h"

#include "image/bitmap.h"
#include "scene/scene_test_util.h"
#include "scene/terrain_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace scenetest;

namespace {

// Scene position of a table position: y up, scaled, moved into place.
Vector3 ScenePosition(int index)
{
    const float* p = kTerrainPositions[index];
    return {p[0] * 0.1f + 10, p[2] * 0.1f, p[1] * 0.1f + 20};
}

Vector3 HighestPoint()
{
    int best = 0;
    for (int i = 1; i < kTerrainPositionCount; ++i)
        if (kTerrainPositions[i][2] > kTerrainPositions[best][2])
            best = i;
    return ScenePosition(best);
}

TEST(TerrainMeshTest, TrianglesReversedYUpOverFloorWithPit)
{
    CPolyMesh ground;
    ASSERT_TRUE(CTerrain::BuildMesh(ground));
    const size_t terrain_vertices = 3 * size_t(kTerrainTriangleCount);
    ASSERT_GT(ground.PolygonCount(), size_t(kTerrainTriangleCount));
    // The floor covers its whole 1000 x 1000 square once, every triangle
    // facing up, with the grid's fine cells only round the pit.
    double area = 0;
    size_t facing_down = 0;
    for (size_t p = size_t(kTerrainTriangleCount); p < ground.PolygonCount(); ++p) {
        const auto& corners = ground.Polygon(p).vertices;
        ASSERT_EQ(corners.size(), 3u);
        const Vector3 a = corners[0].vertex->Position(), b = corners[1].vertex->Position(),
                      c = corners[2].vertex->Position();
        const double cross = double(b.x - a.x) * (c.z - a.z) - double(b.z - a.z) * (c.x - a.x);
        area += std::fabs(cross) / 2;
        facing_down += cross > 0;
    }
    EXPECT_NEAR(area, 1000.0 * 1000.0, 1.0);
    EXPECT_EQ(facing_down, 0u);
    EXPECT_LT(ground.PolygonCount() - size_t(kTerrainTriangleCount), 200u);
    // Triangle 0, corners in reverse order.
    for (int corner = 0; corner < 3; ++corner) {
        const auto& v = ground.Vertex(size_t(corner));
        const int a = kTerrainPositionTriangles[0][2 - corner], b = kTerrainTexTriangles[0][2 - corner];
        EXPECT_EQ(v.Position(), ScenePosition(a));
        EXPECT_EQ(v.texcoord[0][0], kTerrainTexCoords[b][0]);
        EXPECT_EQ(v.texcoord[0][1], 1 - kTerrainTexCoords[b][1]);
        EXPECT_EQ(ground.Polygon(0).vertices[size_t(corner)].vertex, &ground.Vertex(size_t(corner)));
    }
    // Floor: flat at -1.11 beyond 15 units of (0, 0, -10), sunk within;
    // every floor vertex samples the one sand texel.
    float deepest = 0;
    for (size_t i = terrain_vertices; i < ground.VertexCount(); ++i) {
        const auto& v = ground.Vertex(i);
        ASSERT_EQ(v.texcoord[0][0], 0.82f);
        ASSERT_EQ(v.texcoord[0][1], 0.82f);
        const float d = std::hypot(v.position[0], v.position[2] + 10);
        if (d > 15.5f) {
            ASSERT_EQ(v.position[1], -1.11f) << i;
        }
        deepest = std::min(deepest, v.position[1]);
    }
    EXPECT_NEAR(deepest, -1.11f - 69.45f, 0.01f);
}

class TerrainTest : public SceneTest {
protected:
    // Centre pixel looking straight down on `point` from `height` above it.
    const uint8_t* Look(const CTerrain& terrain, const Vector3& point, float height, bool below)
    {
        const Vector3 eye = point + Vector3(0, height, 0);
        const Matrix4 view = View(eye, point, {0, 0, -1});
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (below)
            terrain.DrawBelow(Perspective60() * view, view);
        else
            terrain.DrawAbove(Perspective60() * view);
        frame = ReadFrame();
        return frame.AtGL(128, 128);
    }
    RgbaImage frame;
};

const float kLightmap[3] = {kLightmapRGB[0] / 255.0f, kLightmapRGB[1] / 255.0f, kLightmapRGB[2] / 255.0f};

// Above water: fog by depth below the surface only.
TEST_F(TerrainTest, AboveShowsLandUnfoggedAndDeepFloorFogged)
{
    CTerrain terrain;
    ASSERT_GT(terrain.IndexCount(), 0u);
    const Vector3 top = HighestPoint();
    ASSERT_GT(top.y, 5);
    EXPECT_TRUE(ColourNear(Look(terrain, top, 20, false), kLightmap, 1));
    EXPECT_TRUE(ColourNear(Look(terrain, Vector3(0, -70, -10), 90, false), kFog, 1));  // pit bottom
}

// Under water: fog by eye distance, and only below height 0.01.
TEST_F(TerrainTest, BelowFogsUnderwaterByEyeDistanceOnly)
{
    CTerrain terrain;
    const Vector3 floor(100, -1.11f, 100);
    struct Case {
        Vector3 point;
        float height;
        float fog;
    } cases[] = {
        {HighestPoint(), 50, 0},  // far, but above water
        {floor, 2, 0.0116f},      // smoothstep(0.1, 30, 2)
        {floor, 10, 0.2563f},     // smoothstep(0.1, 30, 10)
        {floor, 31, 1},          {Vector3(0, -70, -10), 30, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.point.x << ", " << c.point.y << ", " << c.point.z << " from " << c.height);
        float expected[3];
        for (int ch = 0; ch < 3; ++ch)
            expected[ch] = kLightmap[ch] + (kFog[ch] - kLightmap[ch]) * c.fog;
        EXPECT_TRUE(ColourNear(Look(terrain, c.point, c.height, true), expected, 1));
    }
}

// A lightmap in four colours, one per quadrant of the image: seen from
// straight above, each piece of land shows the quadrant its table texture
// coordinates point into, as the generator lays the atlas out (image column
// c holds s = (c + 0.5) / size, image row r from the top holds the tables'
// t = 1 - (r + 0.5) / size). A flipped or transposed lightmap puts land in
// the wrong quadrant.
TEST_F(TerrainTest, LightmapLandsWhereTheTablesTextureCoordinatesSay)
{
    constexpr int kSize = 64;
    // Image quadrants: top left, top right, bottom left, bottom right.
    const float colours[4][3] = {
        {0.85f, 0.15f, 0.15f}, {0.15f, 0.8f, 0.15f}, {0.15f, 0.25f, 0.85f}, {0.9f, 0.85f, 0.2f}};
    auto quadrant = [](double column, double row) { return (row >= kSize / 2) * 2 + (column >= kSize / 2); };
    const ScopedTextureFile file("lightmap.png", kSize, kSize, [&](int x, int y) {
        const float* c = colours[quadrant(x, y)];
        return PackRGBA(uint8_t(std::lround(c[0] * 255)), uint8_t(std::lround(c[1] * 255)),
                        uint8_t(std::lround(c[2] * 255)), 255);
    });
    ASSERT_TRUE(file.Written());
    CTerrain terrain;
    ASSERT_GT(terrain.IndexCount(), 0u);

    // Orthographic, straight down on the land, x to the right, -z up.
    const Vector3 centre(9, 0, 19.2f);
    const Matrix4 mvp = Ortho(-11, 11, -11, 11, 1, 100) * View(centre + Vector3(0, 50, 0), centre, {0, 0, -1});
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    terrain.DrawAbove(mvp);
    const RgbaImage f = ReadFrame();

    int checked[4] = {0, 0, 0, 0};
    for (int k = 0; k < kTerrainTriangleCount; ++k) {
        double px[3], py[3], s[3], t[3];
        bool dry = true;
        for (int corner = 0; corner < 3; ++corner) {
            const Vector3 p = ScenePosition(kTerrainPositionTriangles[k][corner]);
            const Vector4 clip = mvp * Vector4(p, 1);
            px[corner] = (clip.x * 0.5 + 0.5) * f.width;
            py[corner] = (clip.y * 0.5 + 0.5) * f.height;
            s[corner] = kTerrainTexCoords[kTerrainTexTriangles[k][corner]][0];
            t[corner] = kTerrainTexCoords[kTerrainTexTriangles[k][corner]][1];
            dry &= p.y >= 0;  // above water: no fog
        }
        if (!dry)
            continue;
        // The pixel nearest the middle, if it lies well inside the triangle
        // on the screen and well inside one quadrant of the lightmap.
        const int x = int((px[0] + px[1] + px[2]) / 3), y = int((py[0] + py[1] + py[2]) / 3);
        const double area = (px[1] - px[0]) * (py[2] - py[0]) - (py[1] - py[0]) * (px[2] - px[0]);
        double w[3];
        bool inside = true;
        for (int e = 0; e < 3; ++e) {
            const int a = (e + 1) % 3, b = (e + 2) % 3;
            w[e] = ((px[b] - px[a]) * (y + 0.5 - py[a]) - (py[b] - py[a]) * (x + 0.5 - px[a])) / area;
            inside &= w[e] * std::fabs(area) / std::hypot(px[b] - px[a], py[b] - py[a]) >= 1.5;
        }
        const double column = (w[0] * s[0] + w[1] * s[1] + w[2] * s[2]) * kSize;
        const double row = (1 - (w[0] * t[0] + w[1] * t[1] + w[2] * t[2])) * kSize;
        if (!inside || std::fabs(column - kSize / 2) < 2 || std::fabs(row - kSize / 2) < 2)
            continue;
        const int q = quadrant(column, row);
        ++checked[q];
        EXPECT_TRUE(ColourNear(f.AtGL(x, y), colours[q], 2))
            << "triangle " << k << " at pixel " << x << ", " << y << ", lightmap texel " << column << ", " << row;
    }
    for (int q = 0; q < 4; ++q)
        EXPECT_GE(checked[q], 20) << "quadrant " << q;
}

}  // namespace
