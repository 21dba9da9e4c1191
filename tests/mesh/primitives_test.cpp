#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <string>

#include "mesh/interior_removal.h"
#include "mesh/mesh_checks.h"
#include "mesh/primitives.h"
#include "mesh/processing.h"

namespace {

using meshtest::Corners;

struct Primitive {
    std::string name;
    std::function<bool(CPolyMesh&)> make;
    size_t vertices, quads, triangles;
    bool convex;  // every face plane points away from the origin
};

// Keeps test names and failure messages readable instead of a byte dump.
void PrintTo(const Primitive& p, std::ostream* os)
{
    *os << p.name;
}

class ClosedPrimitive : public ::testing::TestWithParam<Primitive> {};

TEST_P(ClosedPrimitive, HasItsCountsAndIsWatertightAndWoundOutward)
{
    const Primitive& p = GetParam();
    CPolyMesh m;
    ASSERT_TRUE(p.make(m));
    EXPECT_EQ(m.VertexCount(), p.vertices);
    size_t quads = 0, triangles = 0;
    for (size_t i = 0; i < m.PolygonCount(); ++i)
        (m.Polygon(i).vertices.size() == 4 ? quads : triangles) += 1;
    EXPECT_EQ(quads, p.quads);
    EXPECT_EQ(triangles, p.triangles);
    for (size_t i = 0; i < m.PolygonCount(); ++i)
        for (size_t k = 0; k < m.Polygon(i).vertices.size(); ++k)
            EXPECT_EQ(m.Polygon(i).vertices[k].pool, &m.VertexPool());

    EXPECT_EQ(meshtest::WatertightFault(m), "");
    EXPECT_GT(meshtest::SignedVolume(m), 0.0);
    EXPECT_TRUE(mesh::ComputePolygonPlanes(m));
    for (size_t i = 0; i < m.PolygonCount(); ++i) {
        const mesh::_TyPolygon& polygon = m.Polygon(i);
        const Vector3 n(polygon.plane.x, polygon.plane.y, polygon.plane.z);
        if (p.convex) {
            EXPECT_GT(math::Dot(n, mesh::PolygonCentre(polygon)), 0.0f) << p.name << " polygon " << i;
        }
        // The generated vertex normals lean the same way as the face.
        for (const auto& r : polygon.vertices)
            EXPECT_GT(math::Dot(n, r.vertex->Normal()), 0.0f) << p.name << " polygon " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generators, ClosedPrimitive,
    ::testing::Values(Primitive{"box", [](CPolyMesh& m) { return mesh::MakeBox(m); }, 24, 6, 0, true},
                      Primitive{"uvsphere", [](CPolyMesh& m) { return mesh::MakeUVSphere(m); }, 277, 240, 48, true},
                      Primitive{"icosphere", [](CPolyMesh& m) { return mesh::MakeIcosphere(m, 2.5f); }, 162, 0, 320,
                                true},
                      Primitive{"cylinder3", [](CPolyMesh& m) { return mesh::MakeCylinder(m, 3); }, 16, 3, 6, true},
                      Primitive{"cylinder24", [](CPolyMesh& m) { return mesh::MakeCylinder(m, 24); }, 100, 24, 48,
                                true},
                      Primitive{"tube", [](CPolyMesh& m) { return mesh::MakeTube(m, 0.8f); }, 100, 48, 0, false}),
    [](const ::testing::TestParamInfo<Primitive>& param) { return param.param.name; });

TEST(Primitives, TubeInnerWallFacesTheAxis)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeTube(m, 0.5f));
    ASSERT_TRUE(mesh::ComputePolygonPlanes(m));
    for (size_t i = 0; i < 24; ++i) {
        const Vector3 c = mesh::PolygonCentre(m.Polygon(i));
        const Vector3 n(m.Polygon(i).plane.x, 0, m.Polygon(i).plane.z);
        const Vector3 radial(c.x, 0, c.z);
        if (i < 12)
            EXPECT_GT(math::Dot(n, radial), 0.0f) << "outer wall " << i;
        else
            EXPECT_LT(math::Dot(n, radial), 0.0f) << "inner wall " << i;
    }
    // Caps face away from the middle.
    for (size_t i = 24; i < 48; ++i)
        EXPECT_GT(m.Polygon(i).plane.y * mesh::PolygonCentre(m.Polygon(i)).y, 0.0f);
}

TEST(Primitives, UVSphereSeamAndPoles)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeUVSphere(m));
    const auto& v0 = m.Vertex(0);
    EXPECT_NEAR(v0.position[0], 0, 1e-6);
    EXPECT_NEAR(v0.position[1], std::cos(0.2617994), 1e-6);
    EXPECT_NEAR(v0.position[2], std::sin(0.2617994), 1e-6);
    EXPECT_FLOAT_EQ(v0.texcoord[0][0], 0);
    EXPECT_FLOAT_EQ(v0.texcoord[0][1], 1.0f / 12);
    const auto& v24 = m.Vertex(24);
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(v24.position[a], v0.position[a], 1e-6);
    EXPECT_FLOAT_EQ(v24.texcoord[0][0], 3);
    EXPECT_EQ(m.Vertex(275).Position(), Vector3(0, 1, 0));
    EXPECT_EQ(m.Vertex(276).Position(), Vector3(0, -1, 0));
    EXPECT_FLOAT_EQ(m.Vertex(276).texcoord[0][1], 1);
    EXPECT_EQ(Corners(m, 240), (std::vector<int64_t>{275, 0, 1}));
    EXPECT_EQ(Corners(m, 264), (std::vector<int64_t>{276, 251, 250}));
    EXPECT_EQ(m.Vertex(3).color[3], 0.0f);
}

TEST(Primitives, GridCornersAndNumbering)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeGrid(m));
    EXPECT_EQ(m.VertexCount(), 10201u);
    EXPECT_EQ(m.PolygonCount(), 10000u);
    EXPECT_EQ(m.Vertex(0).Position(), Vector3(-1, 0, -1));
    EXPECT_EQ(m.Vertex(0).texcoord[0][0], 0.0f);
    EXPECT_EQ(m.Vertex(0).texcoord[0][1], 0.0f);
    const auto& last = m.Vertex(10200);
    EXPECT_NEAR(last.position[0], 1, 1e-4);
    EXPECT_NEAR(last.position[2], 1, 1e-4);
    EXPECT_NEAR(last.texcoord[0][0], 1, 1e-4);
    EXPECT_NEAR(last.texcoord[0][1], 1, 1e-4);
    EXPECT_EQ(Corners(m, 0), (std::vector<int64_t>{0, 101, 102, 1}));
    EXPECT_EQ(Corners(m, 9999), (std::vector<int64_t>{10098, 10199, 10200, 10099}));
    // Its 0.02 cells (|S| = 0.0008) are under the plane tolerance until scaled up.
    EXPECT_FALSE(mesh::ComputePolygonPlanes(m));
    CPolyMesh terrain;
    ASSERT_TRUE(terrain.AppendTransformed(m, Matrix4::Scale(10)));
    ASSERT_TRUE(mesh::ComputePolygonPlanes(terrain));
    for (size_t i = 0; i < terrain.PolygonCount(); i += 997)
        EXPECT_NEAR(terrain.Polygon(i).plane.y, 1, 1e-5);
}

TEST(Primitives, IcosphereVerticesLieOnTheSphere)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeIcosphere(m, 1));
    ASSERT_EQ(m.VertexCount(), 162u);
    for (size_t i = 0; i < m.VertexCount(); ++i) {
        EXPECT_NEAR(m.Vertex(i).Position().Length(), 1, 1e-5);
        // Smooth normals of a sphere point along the radius.
        EXPECT_GT(math::Dot(m.Vertex(i).Normal(), m.Vertex(i).Position()), 0.99f);
    }
}

TEST(Primitives, CylinderCapsCloseWithAThirdTriangle)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeCylinder(m, 3));
    ASSERT_EQ(m.PolygonCount(), 9u);
    EXPECT_EQ(Corners(m, 0), (std::vector<int64_t>{1, 5, 4, 0}));
    // Bottom fan: centre 11, ring 8..10; top fan flipped: centre 15, ring 12..14.
    EXPECT_EQ(Corners(m, 3), (std::vector<int64_t>{11, 9, 8}));
    EXPECT_EQ(Corners(m, 5), (std::vector<int64_t>{11, 8, 10}));
    EXPECT_EQ(Corners(m, 6), (std::vector<int64_t>{15, 12, 13}));
    EXPECT_EQ(Corners(m, 8), (std::vector<int64_t>{15, 14, 12}));
    EXPECT_FALSE(mesh::MakeCylinder(m, 0));
}

TEST(Primitives, BuildersNumberTheirPolygons)
{
    CPolyMesh m;
    ASSERT_TRUE(m.Resize(8, 8));
    for (size_t i = 0; i < 8; ++i)
        m.Vertex(i) = mesh::MakeVertex(float(i), 0, 0);
    ASSERT_TRUE(mesh::AddRingStrip(m, 0, 0, 4, 4, false));
    EXPECT_EQ(Corners(m, 0), (std::vector<int64_t>{1, 0, 4, 5}));
    EXPECT_EQ(Corners(m, 3), (std::vector<int64_t>{0, 3, 7, 4}));
    ASSERT_TRUE(mesh::AddRingStrip(m, 4, 0, 4, 4, true));
    EXPECT_EQ(Corners(m, 4), (std::vector<int64_t>{0, 1, 5, 4}));
    EXPECT_EQ(Corners(m, 7), (std::vector<int64_t>{3, 0, 4, 7}));
    ASSERT_TRUE(mesh::AddFan(m, 0, 7, 0, 3, true, true));
    EXPECT_EQ(Corners(m, 0), (std::vector<int64_t>{7, 0, 1}));
    EXPECT_EQ(Corners(m, 2), (std::vector<int64_t>{7, 2, 0}));
    ASSERT_TRUE(mesh::AddGridQuads(m, 5, 0, 3, 1, true));
    EXPECT_EQ(Corners(m, 5), (std::vector<int64_t>{1, 5, 4, 0}));
    EXPECT_EQ(m.Polygon(5).attribute[0], 0u);
    // Indices beyond the sized pools are refused rather than written.
    EXPECT_FALSE(mesh::AddGridQuads(m, 0, 0, 4, 1, false));
    EXPECT_FALSE(mesh::AddFan(m, 8, 0, 1, 3, false, false));
}

}  // namespace
