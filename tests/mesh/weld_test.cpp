#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "mesh/mesh_checks.h"
#include "mesh/primitives.h"
#include "mesh/processing.h"
#include "mesh/vertex_grid.h"

namespace {

using meshtest::BuildMesh;
using meshtest::Corners;

// Seed grouping by comparing every pair: group index of each vertex.
std::vector<int64_t> BruteForceGroups(const CPolyMesh& m, bool normals, bool texcoords, float eps)
{
    const size_t n = m.VertexCount();
    std::vector<int64_t> group(n, -1);
    int64_t groups = 0;
    auto d2 = [](const float* a, const float* b, int k) {
        float sum = 0;
        for (int i = 0; i < k; ++i)
            sum += (a[i] - b[i]) * (a[i] - b[i]);
        return sum;
    };
    for (size_t i = 0; i < n; ++i) {
        if (group[i] >= 0)
            continue;
        group[i] = groups;
        const auto& seed = m.Vertex(i);
        for (size_t k = i + 1; k < n; ++k) {
            const auto& c = m.Vertex(k);
            if (group[k] >= 0 || d2(c.position, seed.position, 3) > eps * eps)
                continue;
            if (normals && d2(c.normal, seed.normal, 3) > eps * eps)
                continue;
            if (texcoords && d2(c.texcoord[0], seed.texcoord[0], 4) > eps * eps)
                continue;
            group[k] = groups;
        }
        ++groups;
    }
    return group;
}

TEST(Weld, TwiceSubdividedIcosahedronMerges312Into162)
{
    static const float kVertices[12][3] = {
        {0, 0, 1},       {0.894f, 0, 0.447f},       {0.276f, 0.851f, 0.447f},   {-0.724f, 0.526f, 0.447f},
        {-0.724f, -0.526f, 0.447f}, {0.276f, -0.851f, 0.447f}, {0.724f, 0.526f, -0.447f}, {-0.276f, 0.851f, -0.447f},
        {-0.894f, 0, -0.447f}, {-0.276f, -0.851f, -0.447f}, {0.724f, -0.526f, -0.447f}, {0, 0, -1}};
    std::vector<Vector3> positions;
    for (const auto& v : kVertices)
        positions.emplace_back(v[0], v[1], v[2]);
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, positions,
                          {{0, 1, 2},  {0, 2, 3},  {0, 3, 4},  {0, 4, 5},  {0, 5, 1},  {6, 11, 7}, {7, 11, 8},
                           {8, 11, 9}, {9, 11, 10}, {10, 11, 6}, {2, 1, 6},  {3, 2, 7},  {4, 3, 8},  {5, 4, 9},
                           {1, 5, 10}, {6, 7, 2},  {7, 8, 3},  {8, 9, 4},  {9, 10, 5}, {10, 6, 1}}));
    ASSERT_TRUE(mesh::Subdivide(m));
    ASSERT_TRUE(mesh::Subdivide(m));
    ASSERT_TRUE(mesh::ProjectToSphere(m, Vector3(0, 0, 0), 1));
    ASSERT_EQ(m.VertexCount(), 312u);
    ASSERT_TRUE(mesh::Weld(m, false, false, 0.001f));
    EXPECT_EQ(m.VertexCount(), 162u);
    EXPECT_EQ(m.PolygonCount(), 320u);
    EXPECT_EQ(meshtest::WatertightFault(m), "");
    // Shared by index now, not only by position: every vertex has 5 or 6 triangles.
    std::vector<int> uses(162, 0);
    for (size_t p = 0; p < m.PolygonCount(); ++p)
        for (int64_t i : Corners(m, p))
            ++uses[size_t(i)];
    for (int u : uses)
        EXPECT_TRUE(u == 5 || u == 6);
}

TEST(Weld, ComparisonIsAgainstTheSeedNotTransitive)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {0.0008f, 0, 0}, {0.0016f, 0, 0}, {0.0009f, 0, 0}}, {{0, 1, 2, 3}}));
    ASSERT_TRUE(mesh::Weld(m, false, false, 0.001f));
    ASSERT_EQ(m.VertexCount(), 2u);
    EXPECT_EQ(Corners(m, 0), (std::vector<int64_t>{0, 0, 1, 0}));
    EXPECT_EQ(m.Vertex(1).position[0], 0.0016f);
}

TEST(Weld, NormalsAndTexCoordsKeepSeamsApart)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeUVSphere(m));
    ASSERT_TRUE(mesh::Weld(m, true, true, 0.001f));
    EXPECT_EQ(m.VertexCount(), 277u);  // seam copies differ in s
    ASSERT_TRUE(mesh::Weld(m, false, false, 0.001f));
    EXPECT_EQ(m.VertexCount(), 266u);  // positions alone close the 11 seam pairs
    EXPECT_EQ(meshtest::WatertightFault(m), "");

    CPolyMesh box;
    ASSERT_TRUE(mesh::MakeBox(box));
    ASSERT_TRUE(mesh::Weld(box, true, false, 0.001f));
    EXPECT_EQ(box.VertexCount(), 24u);  // face normals differ at every corner
}

TEST(Weld, FindsNearDuplicatesAcrossACellFace)
{
    // 200 vertices spread along x in [0, 10]: two cells' worth, so the cell
    // edge is cbrt(10 / 2) and there are 6 cells along x.
    std::vector<Vector3> positions;
    for (int i = 0; i < 198; ++i)
        positions.emplace_back(float(i % 11), float(i % 2), float(i % 3 == 0));
    CPolyMesh probe;
    ASSERT_TRUE(BuildMesh(probe, positions, {}));
    mesh::CVertexGrid grid;
    ASSERT_TRUE(grid.Build(probe, 0.001f));
    const float h = grid.CellEdge();
    ASSERT_GT(grid.CellsPerAxis(0), 2);
    // A seed just below the face between cells 1 and 2 and its twin just above.
    const float face = 2 * h;
    positions.emplace_back(face - 0.0003f, 0.5f, 0.5f);
    positions.emplace_back(face + 0.0003f, 0.5f, 0.5f);
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, positions, {{198, 199, 0}}));
    ASSERT_TRUE(grid.Build(m, 0.001f));
    ASSERT_EQ(grid.CellEdge(), h);
    ASSERT_NE(grid.Coordinate(face - 0.0003f, 0), grid.Coordinate(face + 0.0003f, 0));
    ASSERT_TRUE(mesh::Weld(m, false, false, 0.001f));
    const auto corners = Corners(m, 0);
    EXPECT_EQ(corners[0], corners[1]);
}

TEST(Weld, GridCellCoordinatesWrapAndMirrorBelowZero)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {1, 1, 1}}, {}));
    mesh::CVertexGrid grid;
    ASSERT_TRUE(grid.Build(m, 0.001f));
    // One cell: h = cbrt(1 / 1) = 1, one cell per axis.
    EXPECT_FLOAT_EQ(grid.CellEdge(), 1);
    EXPECT_EQ(grid.CellsPerAxis(0), 1);
    EXPECT_EQ(grid.Coordinate(-0.3f, 0), 0);
    CPolyMesh wide;
    ASSERT_TRUE(BuildMesh(wide, {{0, 0, 0}, {0.05f, 0, 0}}, {}));
    ASSERT_TRUE(grid.Build(wide, 0.001f));
    EXPECT_FLOAT_EQ(grid.CellEdge(), 0.01f);  // the minimum edge
    ASSERT_EQ(grid.CellsPerAxis(0), 5);
    EXPECT_EQ(grid.Coordinate(0.034f, 0), 3);
    EXPECT_EQ(grid.Coordinate(0.064f, 0), 1);   // wraps every 5 cells
    EXPECT_EQ(grid.Coordinate(-0.003f, 0), 4);  // just below zero: the last cell
    EXPECT_EQ(grid.Coordinate(-0.013f, 0), 3);
}

TEST(Weld, MatchesPairwiseSeedGroupingOnClusteredVertices)
{
    // Clusters of near-coincident copies with jittered attributes; the grid
    // must give exactly the groups of an all-pairs comparison.
    uint32_t state = 99;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1 << 24);
    };
    std::vector<Vector3> positions;
    std::vector<std::vector<size_t>> polygons;
    for (int c = 0; c < 1500; ++c) {
        const Vector3 centre(next() * 3, next() * 2, next());
        for (int k = 0; k < 4; ++k)
            positions.push_back(centre + Vector3(next(), next(), next()) * 0.0012f);
        const size_t base = positions.size() - 4;
        polygons.push_back({base, base + 1, base + 2, base + 3});
    }
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, positions, polygons));
    for (size_t i = 0; i < m.VertexCount(); ++i) {
        m.Vertex(i).SetNormal({next() * 0.002f, 1, 0});
        m.Vertex(i).SetTexCoord(next() * 0.002f, 0);
    }
    for (int mode = 0; mode < 3; ++mode) {
        const bool normals = mode >= 1, texcoords = mode == 2;
        CPolyMesh w;
        ASSERT_TRUE(w.Append(m));
        const std::vector<int64_t> expected = BruteForceGroups(w, normals, texcoords, 0.001f);
        ASSERT_TRUE(mesh::Weld(w, normals, texcoords, 0.001f));
        const int64_t groups = *std::max_element(expected.begin(), expected.end()) + 1;
        EXPECT_EQ(int64_t(w.VertexCount()), groups) << "mode " << mode;
        EXPECT_LT(groups, int64_t(m.VertexCount()));
        for (size_t p = 0; p < w.PolygonCount(); ++p) {
            const auto corners = Corners(w, p);
            for (size_t k = 0; k < 4; ++k)
                ASSERT_EQ(corners[k], expected[4 * p + k]) << "mode " << mode << " polygon " << p;
        }
    }
}

TEST(Weld, ForeignReferenceFailsAndLeavesTheMesh)
{
    CPolyMesh m, other;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 2}}));
    ASSERT_TRUE(BuildMesh(other, {{0, 0, 0}}, {}));
    m.Polygon(0).vertices[2].vertex = &other.Vertex(0);
    EXPECT_FALSE(mesh::Weld(m, false, false, 0.001f));
    EXPECT_EQ(m.VertexCount(), 3u);
    EXPECT_EQ(m.Polygon(0).vertices[0].vertex, &m.Vertex(0));
    CPolyMesh empty;
    EXPECT_TRUE(mesh::Weld(empty, true, true, 0.001f));
}

}  // namespace
