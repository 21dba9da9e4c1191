// The terrain and sea floor: the mesh made from the tables, and the two
// fog rules on the headless context.
#include "scene/terrain.h"

#include "scene/terrain_tables.h"
#include "scene_test_util.h"

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
    ASSERT_EQ(ground.PolygonCount(), size_t(kTerrainTriangleCount) + 2 * 100 * 100);
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
        return frame.At(128, 128);
    }
    Frame frame;
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

}  // namespace
