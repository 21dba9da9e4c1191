#include <gtest/gtest.h>

#include <cmath>

#include "mesh/mesh_checks.h"
#include "mesh/primitives.h"
#include "mesh/processing.h"

namespace {

using meshtest::BuildMesh;
using meshtest::Corners;
using Indices = std::vector<int64_t>;

TEST(Subdivide, TriangleBecomesFourWithInterpolatedRecords)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {{0, 1, 2}}));
    m.Vertex(1).texcoord[2][1] = 4;
    m.Vertex(1).color[0] = 1;
    m.Polygon(0).attribute[1] = 9;
    ASSERT_TRUE(mesh::Subdivide(m));
    ASSERT_EQ(m.VertexCount(), 6u);
    ASSERT_EQ(m.PolygonCount(), 4u);
    EXPECT_EQ(m.Vertex(3).Position(), Vector3(1, 0, 0));  // m01
    EXPECT_EQ(m.Vertex(4).Position(), Vector3(1, 1, 0));  // m12
    EXPECT_EQ(m.Vertex(5).Position(), Vector3(0, 1, 0));  // m20
    EXPECT_EQ(m.Vertex(3).texcoord[2][1], 2.0f);
    EXPECT_EQ(m.Vertex(3).color[0], 0.5f);
    EXPECT_EQ(Corners(m, 0), (Indices{0, 3, 5}));
    EXPECT_EQ(Corners(m, 1), (Indices{1, 4, 3}));
    EXPECT_EQ(Corners(m, 2), (Indices{2, 5, 4}));
    EXPECT_EQ(Corners(m, 3), (Indices{3, 4, 5}));
    for (size_t p = 0; p < 4; ++p)
        EXPECT_EQ(m.Polygon(p).attribute[1], 9u);
}

TEST(Subdivide, QuadBecomesFourQuadsAroundItsCentroid)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, {{0, 1, 2, 3}}));
    ASSERT_TRUE(mesh::Subdivide(m));
    ASSERT_EQ(m.VertexCount(), 9u);
    ASSERT_EQ(m.PolygonCount(), 4u);
    // Vertex 4 + j is the midpoint of the edge ending at corner j.
    EXPECT_EQ(m.Vertex(4).Position(), Vector3(0, 1, 0));
    EXPECT_EQ(m.Vertex(5).Position(), Vector3(1, 0, 0));
    EXPECT_EQ(m.Vertex(8).Position(), Vector3(1, 1, 0));
    EXPECT_EQ(Corners(m, 0), (Indices{0, 5, 8, 4}));
    EXPECT_EQ(Corners(m, 3), (Indices{3, 4, 8, 7}));
    EXPECT_TRUE(mesh::ComputePolygonPlanes(m));
    for (size_t p = 0; p < 4; ++p)
        EXPECT_FLOAT_EQ(m.Polygon(p).plane.z, 1);
}

TEST(Subdivide, EmptyPolygonsAddNoVertices)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {{}, {0, 1, 2}, {}}));
    ASSERT_TRUE(mesh::Subdivide(m));
    EXPECT_EQ(m.VertexCount(), 6u);
    EXPECT_EQ(m.PolygonCount(), 4u);
}

TEST(Subdivide, SubdividedBoxStaysClosed)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeBox(m));
    ASSERT_TRUE(mesh::Subdivide(m));
    EXPECT_EQ(m.PolygonCount(), 24u);
    EXPECT_EQ(meshtest::WatertightFault(m), "");
    EXPECT_NEAR(meshtest::SignedVolume(m), 8.0, 1e-5);
}

TEST(ProjectToSphere, MovesPositionsOnlyAndLeavesTheCentre)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{1, 1, 1}, {3, 1, 1}, {1, 1, 1}}, {}));
    m.Vertex(1).SetNormal({0, 0, 1});
    ASSERT_TRUE(mesh::ProjectToSphere(m, Vector3(1, 1, 1), 0.5f));
    EXPECT_EQ(m.Vertex(0).Position(), Vector3(1, 1, 1));
    EXPECT_EQ(m.Vertex(1).Position(), Vector3(1.5f, 1, 1));
    EXPECT_EQ(m.Vertex(1).Normal(), Vector3(0, 0, 1));
}

TEST(ComputePolygonPlanes, SmallTriangleIsDegenerate)
{
    CPolyMesh m;
    // Area 0.0004: |S| = 0.0008 is under the 0.001 limit.
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {0.02f, 0, 0}, {0, 0.04f, 0}, {5, 5, 5}, {6, 5, 5}, {5, 6, 5}},
                          {{0, 1, 2}, {3, 4, 5}, {0, 1}}));
    EXPECT_FALSE(mesh::ComputePolygonPlanes(m));
    EXPECT_EQ(m.Polygon(0).plane, Vector4(0, 0, 0, 0));
    EXPECT_EQ(m.Polygon(2).plane, Vector4(0, 0, 0, 0));
    // The valid polygon is still filled: n = +z, d = -n.P0 = -5.
    EXPECT_EQ(m.Polygon(1).plane, Vector4(0, 0, 1, -5));
}

TEST(ComputeVertexNormals, BoxCornersAverageTheirThreeFaces)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeBox(m));
    ASSERT_TRUE(mesh::Weld(m, false, false, 0.001f));
    ASSERT_EQ(m.VertexCount(), 8u);
    ASSERT_TRUE(mesh::ComputePolygonPlanes(m));
    ASSERT_TRUE(mesh::ComputeVertexNormals(m));
    const float k = 1 / std::sqrt(3.0f);
    for (size_t i = 0; i < 8; ++i) {
        const Vector3 p = m.Vertex(i).Position(), n = m.Vertex(i).Normal();
        EXPECT_NEAR(n.x, p.x * k, 1e-6);
        EXPECT_NEAR(n.y, p.y * k, 1e-6);
        EXPECT_NEAR(n.z, p.z * k, 1e-6);
    }
}

TEST(SplitVertices, EveryCornerGetsItsOwnVertexInCornerOrder)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}}));
    m.Polygon(1).attribute[0] = 5;
    ASSERT_TRUE(mesh::SplitVertices(m));
    ASSERT_EQ(m.VertexCount(), 6u);
    EXPECT_EQ(Corners(m, 0), (Indices{0, 1, 2}));
    EXPECT_EQ(Corners(m, 1), (Indices{3, 4, 5}));
    EXPECT_EQ(m.Vertex(4).Position(), Vector3(1, 1, 0));
    EXPECT_EQ(m.Polygon(1).attribute[0], 5u);
}

TEST(Triangulate, ZigZagOrder)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}, {5, 5, 5}},
                          {{0, 1, 2}, {0, 1, 2, 3}, {0, 5}, {0, 1, 2, 3, 4}, {}}));
    m.Polygon(3).attribute[0] = 3;
    ASSERT_TRUE(mesh::Triangulate(m));
    EXPECT_EQ(m.VertexCount(), 6u);
    ASSERT_EQ(m.PolygonCount(), 6u);
    EXPECT_EQ(Corners(m, 0), (Indices{0, 1, 2}));
    EXPECT_EQ(Corners(m, 1), (Indices{0, 1, 3}));
    EXPECT_EQ(Corners(m, 2), (Indices{1, 2, 3}));
    EXPECT_EQ(Corners(m, 3), (Indices{0, 1, 4}));
    EXPECT_EQ(Corners(m, 4), (Indices{1, 3, 4}));
    EXPECT_EQ(Corners(m, 5), (Indices{1, 2, 3}));
    EXPECT_EQ(m.Polygon(5).attribute[0], 3u);
}

TEST(Triangulate, ForeignReferenceFailsAndLeavesTheMesh)
{
    CPolyMesh m, other;
    ASSERT_TRUE(BuildMesh(m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 3, 2}, {0, 1, 2}}));
    ASSERT_TRUE(BuildMesh(other, {{0, 0, 0}}, {}));
    m.Polygon(1).vertices[2].vertex = &other.Vertex(0);
    EXPECT_FALSE(mesh::Triangulate(m));
    EXPECT_EQ(m.PolygonCount(), 2u);
    EXPECT_EQ(m.Polygon(0).vertices.size(), 4u);
    std::vector<float> f;
    std::vector<uint32_t> i;
    EXPECT_FALSE(mesh::ExportArrays(m, true, false, f, i));
}

TEST(GenerateTexCoords, UnknownTypeAndEmptyMesh)
{
    CPolyMesh m;
    EXPECT_TRUE(mesh::GenerateTexCoords(m, mesh::kTexCoordSpherical, Matrix4::Identity()));
    EXPECT_TRUE(mesh::GenerateTexCoords(m, 1, Matrix4::Identity()));
    ASSERT_TRUE(mesh::MakeBox(m));
    EXPECT_FALSE(mesh::GenerateTexCoords(m, 1, Matrix4::Identity()));
    EXPECT_EQ(m.VertexCount(), 24u);  // not split
    EXPECT_FLOAT_EQ(m.Vertex(1).texcoord[0][0], -1.0f);  // the box's own s, untouched
}

TEST(GenerateTexCoords, CylindricalAngleAndSeamRepair)
{
    // With the identity, q = 2p - 1; p = (1, 0.5, 0.5) gives q = (1, 0, 0).
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{1, 0.5f, 0.5f}, {1, 1, 0.55f}, {1, 0, 0.45f}}, {{0, 1, 2}}));
    m.Vertex(0).texcoord[0][2] = 7;
    ASSERT_TRUE(mesh::GenerateTexCoords(m, mesh::kTexCoordCylindrical, Matrix4::Identity()));
    ASSERT_EQ(m.VertexCount(), 3u);
    // Corner q = (1, 0, 0): phi = 0 lifted to 2 pi because the polygon
    // straddles +x; corner q.z = +0.1 likewise, corner q.z = -0.1 just under 2 pi.
    const float s0 = m.Vertex(0).texcoord[0][0], s1 = m.Vertex(1).texcoord[0][0], s2 = m.Vertex(2).texcoord[0][0];
    EXPECT_NEAR(s0, -1.0f, 1e-6);
    EXPECT_NEAR(s1, -(2 * M_PI + std::atan(0.1)) / (2 * M_PI), 1e-6);
    EXPECT_NEAR(s2, -(2 * M_PI - std::atan(0.1)) / (2 * M_PI), 1e-6);
    EXPECT_LT(std::fabs(s1 - s2), 0.05f);
    EXPECT_FLOAT_EQ(m.Vertex(0).texcoord[0][1], -0.5f);
    EXPECT_FLOAT_EQ(m.Vertex(1).texcoord[0][1], -1.0f);
    EXPECT_EQ(m.Vertex(0).texcoord[0][2], 7.0f);  // r and q stay

    // Alone (no straddle), q = (1, 0, 0) gives s = 0, t = -0.5.
    CPolyMesh single;
    ASSERT_TRUE(BuildMesh(single, {{1, 0.5f, 0.5f}, {1, 0.5f, 0.6f}, {0.9f, 0.5f, 0.6f}}, {{0, 1, 2}}));
    ASSERT_TRUE(mesh::GenerateTexCoords(single, mesh::kTexCoordCylindrical, Matrix4::Identity()));
    EXPECT_EQ(single.Vertex(0).texcoord[0][0], 0.0f);
    EXPECT_FLOAT_EQ(single.Vertex(0).texcoord[0][1], -0.5f);
}

TEST(GenerateTexCoords, SphericalLongitudeAndLatitude)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::MakeIcosphere(m, 1));
    // This matrix makes q equal to the model position.
    const Matrix4 toUnitCube = mesh::ScaleMatrix(0.5f, 0.5f, 0.5f) * Matrix4::Translation(1, 1, 1);
    ASSERT_TRUE(mesh::GenerateTexCoords(m, mesh::kTexCoordSpherical, toUnitCube));
    EXPECT_EQ(m.VertexCount(), 960u);
    for (size_t i = 0; i < m.VertexCount(); ++i) {
        const mesh::_TyVertex& v = m.Vertex(i);
        const float s = v.texcoord[0][0], t = v.texcoord[0][1];
        EXPECT_NEAR(std::cos(t * float(M_PI)), v.position[1], 1e-5) << i;  // angle from +y
        const float r = std::hypot(v.position[0], v.position[2]);
        if (r > 0.1f) {  // longitude from +x towards +z
            EXPECT_NEAR(r * std::cos(2 * float(M_PI) * s), v.position[0], 1e-5) << i;
            EXPECT_NEAR(r * std::sin(2 * float(M_PI) * s), v.position[2], 1e-5) << i;
        }
        EXPECT_GE(s, 0.0f);
        EXPECT_LT(s, 1.1f);
    }
}

TEST(ExportArrays, LayoutsAndTriangleCheck)
{
    CPolyMesh m;
    ASSERT_TRUE(BuildMesh(m, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{0, 1, 2}}));
    m.Vertex(1).SetNormal({0, 0, 1});
    m.Vertex(1).color[3] = 0.5f;
    m.Vertex(1).SetTexCoord(0.25f, 0.75f);
    std::vector<float> f;
    std::vector<uint32_t> i;
    ASSERT_TRUE(mesh::ExportArrays(m, true, false, f, i));
    ASSERT_EQ(f.size(), 24u);
    EXPECT_EQ(i, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ((std::vector<float>(f.begin() + 8, f.begin() + 16)),
              (std::vector<float>{4, 5, 6, 0, 0, 1, 0.25f, 0.75f}));
    ASSERT_TRUE(mesh::ExportArrays(m, false, true, f, i));
    ASSERT_EQ(f.size(), 27u);
    EXPECT_EQ(f[9 + 6], 0.5f);
    ASSERT_TRUE(mesh::ExportArrays(m, false, false, f, i));
    EXPECT_EQ(f.size(), 15u);
    EXPECT_EQ(f[5 + 3], 0.25f);

    CPolyMesh box;
    ASSERT_TRUE(mesh::MakeBox(box));
    EXPECT_FALSE(mesh::ExportArrays(box, true, false, f, i));
    ASSERT_TRUE(mesh::Triangulate(box));
    ASSERT_TRUE(mesh::ExportArrays(box, true, false, f, i));
    EXPECT_EQ(i.size(), 36u);
}

}  // namespace
