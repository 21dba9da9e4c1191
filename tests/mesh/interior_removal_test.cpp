#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "mesh/interior_removal.h"
#include "mesh/mesh_checks.h"
#include "mesh/polygon_grid.h"
#include "mesh/primitives.h"
#include "mesh/processing.h"

namespace {

using meshtest::BuildMesh;

// Centres of the polygons, in order.
std::vector<Vector3> Centres(const CPolyMesh& m)
{
    std::vector<Vector3> out;
    for (size_t p = 0; p < m.PolygonCount(); ++p)
        out.push_back(mesh::PolygonCentre(m.Polygon(p)));
    return out;
}

bool AppendBox(CPolyMesh& m, const Matrix4& transform)
{
    CPolyMesh box;
    return mesh::MakeBox(box) && m.AppendTransformed(box, transform);
}

TEST(InteriorRemoval, OverlappingCubesLoseExactlyTheirInnerFaces)
{
    CPolyMesh m;
    ASSERT_TRUE(AppendBox(m, Matrix4::Scale(0.5f)));
    ASSERT_TRUE(AppendBox(m, Matrix4::Translation(0.5f, 0, 0) * Matrix4::Scale(0.5f)));
    ASSERT_TRUE(mesh::ComputePolygonPlanes(m));
    ASSERT_TRUE(mesh::RemoveInteriorPolygons(m, 0.1f));
    ASSERT_EQ(m.PolygonCount(), 10u);
    for (const Vector3& c : Centres(m)) {
        // Gone: the first cube's +x face (x = 0.5) and the second's -x face (x = 0).
        EXPECT_FALSE(c.x == 0.5f && c.y == 0 && c.z == 0);
        EXPECT_FALSE(c.x == 0.0f && c.y == 0 && c.z == 0);
    }
}

TEST(InteriorRemoval, ClosedConvexPrimitivesKeepEveryPolygon)
{
    for (int which = 0; which < 3; ++which) {
        CPolyMesh m;
        ASSERT_TRUE(which == 0 ? mesh::MakeBox(m) : which == 1 ? mesh::MakeUVSphere(m) : mesh::MakeCylinder(m, 12));
        const size_t before = m.PolygonCount();
        ASSERT_TRUE(mesh::ComputePolygonPlanes(m));
        ASSERT_TRUE(mesh::RemoveInteriorPolygons(m, 0.1f));
        EXPECT_EQ(m.PolygonCount(), before) << which;
    }
}

TEST(InteriorRemoval, BoxInsideABoxIsRemovedWhole)
{
    CPolyMesh m;
    ASSERT_TRUE(AppendBox(m, Matrix4::Identity()));
    ASSERT_TRUE(AppendBox(m, Matrix4::Scale(0.3f)));
    ASSERT_TRUE(mesh::ComputePolygonPlanes(m));
    ASSERT_TRUE(mesh::RemoveInteriorPolygons(m, 0.1f));
    ASSERT_EQ(m.PolygonCount(), 6u);
    for (const Vector3& c : Centres(m))
        EXPECT_FLOAT_EQ(c.Length(), 1);
}

TEST(InteriorRemoval, ShortAndDegeneratePolygonsAndMisses)
{
    CPolyMesh m;
    // An open quad (its ray escapes in every attempt), a line, and a
    // zero-area triangle inside a box, which has no outward direction.
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {0.1f, 0, 0}, {0.1f, 0.1f, 0}, {0, 0.1f, 0}, {0.2f, 0, 0}},
                          {{0, 1, 2, 3}, {0, 1}, {0, 1, 4}}));
    ASSERT_TRUE(AppendBox(m, Matrix4::Translation(5, 0, 0)));
    EXPECT_FALSE(mesh::ComputePolygonPlanes(m));
    ASSERT_TRUE(mesh::RemoveInteriorPolygons(m, 0.1f));
    ASSERT_EQ(m.PolygonCount(), 8u);  // only the two-corner polygon goes
    EXPECT_EQ(m.Polygon(0).vertices.size(), 4u);
    EXPECT_EQ(m.Polygon(1).vertices.size(), 3u);

    CPolyMesh empty;
    EXPECT_TRUE(mesh::RemoveInteriorPolygons(empty, 0.1f));
}

TEST(InteriorRemoval, ZeroPlaneInsideAPartStaysWithoutHanging)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {0.1f, 0, 0}, {0.2f, 0, 0}}, {{0, 1, 2}}));
    ASSERT_TRUE(AppendBox(m, Matrix4::Identity()));
    mesh::ComputePolygonPlanes(m);
    ASSERT_TRUE(mesh::RemoveInteriorPolygons(m, 0.1f));
    EXPECT_EQ(m.PolygonCount(), 7u);
}

TEST(JitterRandom, SequenceIsTheFixedLinearCongruence)
{
    mesh::CJitterRandom r;
    EXPECT_EQ(r.State(), 12345u);
    const uint32_t s1 = 12345u * 1664525u + 1013904223u;
    const uint32_t s2 = s1 * 1664525u + 1013904223u;
    const Vector3 d = r.Perturbation(0.1f);
    EXPECT_NEAR(d.x, -0.1f, 1e-5);  // s0 = 12345 is almost 0
    EXPECT_FLOAT_EQ(d.y, 0.1f * float(2.0 * s1 / 4294967296.0 - 1.0));
    EXPECT_FLOAT_EQ(d.z, 0.1f * float(2.0 * s2 / 4294967296.0 - 1.0));
    EXPECT_EQ(r.State(), s2 * 1664525u + 1013904223u);
}

TEST(RayHitPolygon, FanTrianglesEdgesAndParallelRays)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}, {0, 1}}));
    const mesh::_TyPolygon& quad = m.Polygon(0);
    float t = 0;
    ASSERT_TRUE(mesh::RayHitPolygon({0, 0, -1}, quad, {0.25f, 0.75f, 2}, t));
    EXPECT_FLOAT_EQ(t, 2);
    ASSERT_TRUE(mesh::RayHitPolygon({0, 0, 2}, quad, {0.9f, 0.1f, 2}, t));
    EXPECT_FLOAT_EQ(t, -1);  // behind the origin: the caller decides
    EXPECT_TRUE(mesh::RayHitPolygon({0, 0, -1}, quad, {1, 0.5f, 1}, t));  // on an edge
    EXPECT_TRUE(mesh::RayHitPolygon({0, 0, -1}, quad, {0, 0, 1}, t));     // on a corner
    EXPECT_FALSE(mesh::RayHitPolygon({0, 0, -1}, quad, {1.01f, 0.5f, 1}, t));
    EXPECT_FALSE(mesh::RayHitPolygon({1, 0, 0}, quad, {-1, 0.5f, 0}, t));  // in the plane
    EXPECT_FALSE(mesh::RayHitPolygon({0, 0, -1}, m.Polygon(1), {0, 0, 1}, t));
}

TEST(PolygonsOverlap, NeedsMoreThanTheMarginInEveryDirection)
{
    CPolyMesh m;
    auto square = [](float x0, float y0, float z, float size) {
        return std::vector<Vector3>{{x0, y0, z}, {x0 + size, y0, z}, {x0 + size, y0 + size, z}, {x0, y0 + size, z}};
    };
    std::vector<Vector3> p;
    for (const auto& s : {square(0, 0, 0, 1), square(1, 0, 0, 1), square(0.9995f, 0, 0, 1), square(0.99f, 0, 0, 1),
                          square(0, 0, 0.5f, 1), square(0.2f, 0.2f, 0, 0.5f)})
        p.insert(p.end(), s.begin(), s.end());
    // A square standing across the first one.
    p.insert(p.end(), {{0.5f, -0.5f, -0.5f}, {0.5f, 1.5f, -0.5f}, {0.5f, 1.5f, 0.5f}, {0.5f, -0.5f, 0.5f}});
    std::vector<std::vector<size_t>> polygons;
    for (size_t k = 0; k < p.size(); k += 4)
        polygons.push_back({k, k + 1, k + 2, k + 3});
    ASSERT_TRUE(BuildMesh(m, p, polygons));
    ASSERT_TRUE(mesh::ComputePolygonPlanes(m));
    const auto& base = m.Polygon(0);
    EXPECT_FALSE(mesh::PolygonsOverlap(m.Polygon(1), base, -0.001f));  // shares an edge
    EXPECT_FALSE(mesh::PolygonsOverlap(m.Polygon(2), base, -0.001f));  // overlaps by 0.0005
    EXPECT_TRUE(mesh::PolygonsOverlap(m.Polygon(3), base, -0.001f));   // overlaps by 0.01
    EXPECT_TRUE(mesh::PolygonsOverlap(base, m.Polygon(3), -0.001f));
    EXPECT_FALSE(mesh::PolygonsOverlap(m.Polygon(4), base, -0.001f));  // same outline, 0.5 above
    EXPECT_TRUE(mesh::PolygonsOverlap(m.Polygon(5), base, -0.001f));   // contained
    EXPECT_TRUE(mesh::PolygonsOverlap(m.Polygon(6), base, -0.001f));   // crossing it
    EXPECT_FALSE(mesh::PolygonsOverlap(m.Polygon(6), m.Polygon(4), -0.001f));  // only touches it
}

TEST(PolygonGrid, TriangleBoxSeparatingAxes)
{
    const Vector3 c(0.5f, 0.5f, 0.5f), h(0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(mesh::TriangleOverlapsBox({0.2f, 0.2f, 0.5f}, {0.8f, 0.2f, 0.5f}, {0.5f, 0.8f, 0.5f}, c, h));
    EXPECT_TRUE(mesh::TriangleOverlapsBox({-5, -5, 0.5f}, {5, -5, 0.5f}, {0, 5, 0.5f}, c, h));  // box inside
    EXPECT_FALSE(mesh::TriangleOverlapsBox({2, 0, 0}, {3, 0, 0}, {2, 1, 0}, c, h));           // box axis
    // Inside the box's bounds, but the triangle's plane x + y + z = 3.1 passes
    // beyond the corner (1, 1, 1); at 2.9 it cuts the corner off.
    EXPECT_FALSE(mesh::TriangleOverlapsBox({3.1f, 0, 0}, {0, 3.1f, 0}, {0, 0, 3.1f}, c, h));
    EXPECT_TRUE(mesh::TriangleOverlapsBox({2.9f, 0, 0}, {0, 2.9f, 0}, {0, 0, 2.9f}, c, h));
    // In the plane z = 0.5 with an edge on x + y = 2.2, past the corner: only
    // an edge axis separates. On x + y = 2 it touches the corner.
    EXPECT_FALSE(mesh::TriangleOverlapsBox({2.7f, -0.5f, 0.5f}, {-0.5f, 2.7f, 0.5f}, {3, 3, 0.5f}, c, h));
    EXPECT_TRUE(mesh::TriangleOverlapsBox({2.5f, -0.5f, 0.5f}, {-0.5f, 2.5f, 0.5f}, {3, 3, 0.5f}, c, h));
}

TEST(PolygonGrid, ListsPolygonsOnlyInTheCellsTheyCross)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeGrid(m));
    mesh::CPolygonGrid grid;
    ASSERT_TRUE(grid.Build(m));
    // About 1000 cells wanted; the flat axis rounds to one cell, so x and z get 100 each.
    EXPECT_EQ(grid.CellsPerAxis(1), 1);
    EXPECT_GT(grid.CellCount(), 1000u);
    std::vector<uint32_t> near;
    grid.Query(m.Polygon(5050), near);
    ASSERT_FALSE(near.empty());
    EXPECT_TRUE(std::binary_search(near.begin(), near.end(), 5050u));
    EXPECT_TRUE(std::binary_search(near.begin(), near.end(), 5051u));
    EXPECT_FALSE(std::binary_search(near.begin(), near.end(), 0u));
    EXPECT_LT(near.size(), 30u);
}

TEST(InteriorRemoval, CulledRaysRemoveTheSamePolygonsAsBruteForce)
{
    // Randomly placed overlapping boxes and spheres.
    uint32_t state = 7;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1 << 24);
    };
    for (int round = 0; round < 3; ++round) {
        CPolyMesh a, part;
        for (int k = 0; k < 6; ++k) {
            const Matrix4 place = Matrix4::Translation(next() * 2, next() * 2, next() * 2) *
                                  Matrix4::RotationY(next() * 3) *
                                  mesh::ScaleMatrix(0.3f + next(), 0.3f + next(), 0.3f + next());
            ASSERT_TRUE(k % 2 ? mesh::MakeUVSphere(part) : mesh::MakeBox(part));
            ASSERT_TRUE(a.AppendTransformed(part, place));
        }
        ASSERT_TRUE(mesh::ComputePolygonPlanes(a));
        for (size_t p = 0; p < a.PolygonCount(); ++p)
            a.Polygon(p).attribute[0] = uint32_t(p);
        const size_t before = a.PolygonCount();
        CPolyMesh b;
        ASSERT_TRUE(b.Append(a));
        ASSERT_TRUE(mesh::RemoveInteriorPolygons(a, 0.1f));
        ASSERT_TRUE(mesh::RemoveInteriorPolygonsReference(b, 0.1f));
        ASSERT_EQ(a.PolygonCount(), b.PolygonCount()) << round;
        EXPECT_LT(a.PolygonCount(), before) << "the shapes should overlap";
        for (size_t p = 0; p < a.PolygonCount(); ++p)
            ASSERT_EQ(a.Polygon(p).attribute[0], b.Polygon(p).attribute[0]);
    }
}

TEST(MeshRobustness, NonFiniteAndExtremeInputFailsCleanly)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (const Vector3 bad : {Vector3(inf, 0, 0), Vector3(0, nan, 0), Vector3(1e30f, 0, 0)}) {
        CPolyMesh m;
        ASSERT_TRUE(mesh::MakeBox(m));
        m.Vertex(3).SetPosition(bad);
        mesh::ComputePolygonPlanes(m);
        if (std::isinf(bad.x)) {
            // No grid can span an infinite box: both refuse and change nothing.
            EXPECT_FALSE(mesh::Weld(m, false, false, 0.001f));
            EXPECT_EQ(m.VertexCount(), 24u);
            EXPECT_FALSE(mesh::RemoveInteriorPolygons(m, 0.1f));
            EXPECT_EQ(m.PolygonCount(), 6u);
        } else {
            // The odd vertex stays on its own (NaN is close to nothing); the
            // other 23 weld to the 8 corners.
            EXPECT_TRUE(mesh::Weld(m, false, false, 0.001f));
            EXPECT_EQ(m.VertexCount(), 9u);
            EXPECT_TRUE(mesh::RemoveInteriorPolygons(m, 0.1f));
            EXPECT_GE(m.PolygonCount(), 3u);
        }
        // The rest runs through without trouble.
        EXPECT_TRUE(mesh::Subdivide(m));
        EXPECT_TRUE(mesh::GenerateTexCoords(m, mesh::kTexCoordSpherical, mesh::UnitCubeMatrix(m)));
        EXPECT_TRUE(mesh::Triangulate(m));
        std::vector<float> f;
        std::vector<uint32_t> i;
        EXPECT_TRUE(mesh::ExportArrays(m, true, true, f, i));
    }
    CPolyMesh box;
    ASSERT_TRUE(mesh::MakeBox(box));
    EXPECT_FALSE(mesh::Weld(box, false, false, -1.0f));
    EXPECT_FALSE(mesh::Weld(box, false, false, nan));
    EXPECT_EQ(box.VertexCount(), 24u);
}

TEST(MeshRobustness, NeedleShapedMeshBuildsABoundedGrid)
{
    // A 1e5 long, 0.001 thin strip of 10 quads: the 0.01 minimum edge would
    // ask for ten million cells along it.
    CPolyMesh m;
    std::vector<Vector3> p;
    std::vector<std::vector<size_t>> polygons;
    for (int k = 0; k <= 10; ++k)
        p.insert(p.end(), {{float(k) * 1e4f, 0, 0}, {float(k) * 1e4f, 0.001f, 0}});
    for (size_t k = 0; k < 10; ++k)
        polygons.push_back({2 * k, 2 * k + 2, 2 * k + 3, 2 * k + 1});
    ASSERT_TRUE(BuildMesh(m, p, polygons));
    mesh::CPolygonGrid grid;
    ASSERT_TRUE(grid.Build(m));
    EXPECT_LE(grid.CellCount(), 65536u);
    mesh::ComputePolygonPlanes(m);
    EXPECT_TRUE(mesh::RemoveInteriorPolygons(m, 0.1f));
    EXPECT_EQ(m.PolygonCount(), 10u);
    EXPECT_TRUE(mesh::Weld(m, false, false, 0.001f));
}

}  // namespace
