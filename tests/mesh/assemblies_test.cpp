#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "mesh/assemblies.h"
#include "mesh/interior_removal.h"
#include "mesh/mesh_checks.h"
#include "mesh/primitives.h"
#include "mesh/processing.h"

namespace {

// Independent double-precision ray casting over the fan triangles of a mesh.
struct Triangle {
    double a[3], b[3], c[3], n[3];
    uint32_t part;
};

std::vector<Triangle> Triangles(const CPolyMesh& m)
{
    std::vector<Triangle> out;
    for (size_t p = 0; p < m.PolygonCount(); ++p) {
        const auto& polygon = m.Polygon(p);
        for (size_t k = 2; k < polygon.vertices.size(); ++k) {
            Triangle t;
            for (int i = 0; i < 3; ++i) {
                t.a[i] = polygon.vertices[0].vertex->position[i];
                t.b[i] = polygon.vertices[k - 1].vertex->position[i];
                t.c[i] = polygon.vertices[k].vertex->position[i];
            }
            t.n[0] = polygon.plane.x, t.n[1] = polygon.plane.y, t.n[2] = polygon.plane.z;
            t.part = polygon.attribute[0];
            out.push_back(t);
        }
    }
    return out;
}

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
void Cross(const double* a, const double* b, double* r)
{
    r[0] = a[1] * b[2] - a[2] * b[1], r[1] = a[2] * b[0] - a[0] * b[2], r[2] = a[0] * b[1] - a[1] * b[0];
}

// Ray parameter of the hit, or a negative value.
double Hit(const Triangle& t, const double* o, const double* d)
{
    double e1[3], e2[3], s[3], p[3], q[3];
    for (int i = 0; i < 3; ++i)
        e1[i] = t.b[i] - t.a[i], e2[i] = t.c[i] - t.a[i], s[i] = o[i] - t.a[i];
    Cross(d, e2, p);
    const double det = Dot(e1, p);
    if (std::fabs(det) < 1e-15)
        return -1;
    const double u = Dot(s, p) / det;
    if (u < 0 || u > 1)
        return -1;
    Cross(s, e1, q);
    const double w = Dot(d, q) / det;
    if (w < 0 || u + w > 1)
        return -1;
    return Dot(e2, q) / det;
}

// Nearest triangle hit at t > 1e-9, or -1.
int64_t Nearest(const std::vector<Triangle>& tris, const double* o, const double* d)
{
    int64_t best = -1;
    double bestT = 1e300;
    for (size_t i = 0; i < tris.size(); ++i) {
        const double t = Hit(tris[i], o, d);
        if (t > 1e-9 && t < bestT)
            bestT = t, best = int64_t(i);
    }
    return best;
}

// Whether p lies inside the closed part (odd crossing count).
bool Inside(const std::vector<Triangle>& tris, uint32_t part, const Vector3& p)
{
    const double o[3] = {p.x, p.y, p.z}, d[3] = {0.5773, 0.5812, 0.5735};
    int crossings = 0;
    for (const Triangle& t : tris)
        if (t.part == part && Hit(t, o, d) > 1e-9)
            ++crossings;
    return crossings % 2 == 1;
}

constexpr uint32_t kParts = 15;  // hull, two spheres, duct, sail, mast, planes, four fins

// The assembled submersible with planes, each polygon tagged with its part.
void AssembleTagged(CPolyMesh& m)
{
    ASSERT_TRUE(mesh::AssembleSubmersible(m));
    ASSERT_EQ(m.PolygonCount(), 771u);
    ASSERT_TRUE(mesh::ComputePolygonPlanes(m));
    // Polygon counts of the parts in assembly order.
    const size_t sizes[kParts - 4] = {72, 288, 288, 48, 36, 9, 6};
    size_t p = 0;
    uint32_t part = 0;
    for (size_t s : sizes) {
        for (size_t k = 0; k < s; ++k)
            m.Polygon(p++).attribute[0] = part;
        ++part;
    }
    for (; p < 771; ++p)
        m.Polygon(p).attribute[0] = part + uint32_t((p - 747) / 6);
}

// Polygons whose centre lies inside a part other than their own.
size_t CountInside(const CPolyMesh& m, const std::vector<Triangle>& parts)
{
    size_t count = 0;
    for (size_t p = 0; p < m.PolygonCount(); ++p) {
        const Vector3 c = mesh::PolygonCentre(m.Polygon(p));
        for (uint32_t k = 0; k < kParts; ++k)
            if (k != m.Polygon(p).attribute[0] && Inside(parts, k, c)) {
                ++count;
                break;
            }
    }
    return count;
}

TEST(Submersible, AssemblyIsTurnedAndTextured)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::AssembleSubmersible(m));
    Vector3 lo, hi;
    ASSERT_TRUE(m.GetBounds(lo, hi));
    EXPECT_NEAR(lo.z, -2.55f, 1e-5);  // duct at the stern
    EXPECT_NEAR(hi.z, 2, 1e-5);       // nose
    EXPECT_NEAR(lo.y, -2, 1e-5);      // mast tip: the sail points to -y
    EXPECT_NEAR(lo.x, -1.5f, 1e-5);   // bow planes
    EXPECT_NEAR(hi.x, 1.5f, 1e-5);
    // Hull texture: t = -(0.5 q.y + 0.5) spans [-1, 0] along the hull and duct.
    float tMin = 1, tMax = -2;
    for (size_t i = 0; i < m.VertexCount(); ++i) {
        tMin = std::min(tMin, m.Vertex(i).texcoord[0][1]);
        tMax = std::max(tMax, m.Vertex(i).texcoord[0][1]);
        EXPECT_NEAR(m.Vertex(i).Normal().Length(), 1, 1e-5);
    }
    EXPECT_NEAR(tMin, -1, 1e-5);
    EXPECT_NEAR(tMax, 0, 1e-5);
}

TEST(Submersible, InteriorRemovalKeepsTheOuterShell)
{
    CPolyMesh before;
    AssembleTagged(before);
    CPolyMesh after;
    ASSERT_TRUE(after.Append(before));
    ASSERT_TRUE(mesh::RemoveInteriorPolygons(after, 0.1f));
    const std::vector<Triangle> all = Triangles(before), kept = Triangles(after);

    // Rays from a sphere around the model towards points of its box.
    Vector3 lo, hi;
    before.GetBounds(lo, hi);
    uint32_t state = 2024;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1 << 24);
    };
    int hitting = 0, punctured = 0;
    for (int ray = 0; ray < 2000; ++ray) {
        const double zc = 2 * next() - 1, angle = 6.283185307 * next(), r = std::sqrt(1 - zc * zc);
        const double o[3] = {8 * r * std::cos(angle), 8 * r * std::sin(angle), 8 * zc};
        const double target[3] = {lo.x + (hi.x - lo.x) * next(), lo.y + (hi.y - lo.y) * next(),
                                  lo.z + (hi.z - lo.z) * next()};
        const double d[3] = {target[0] - o[0], target[1] - o[1], target[2] - o[2]};
        if (Nearest(all, o, d) < 0)
            continue;
        ++hitting;
        const int64_t first = Nearest(kept, o, d);
        if (first < 0 || Dot(d, kept[size_t(first)].n) >= 0)
            ++punctured;
    }
    EXPECT_GT(hitting, 500);
    EXPECT_EQ(punctured, 0) << "of " << hitting << " rays that hit the model";

    // Every removed polygon lay inside another part.
    size_t removedOutside = 0;
    std::vector<bool> keptTag(before.PolygonCount(), false);
    for (size_t p = 0, q = 0; p < before.PolygonCount(); ++p) {
        const auto& a = before.Polygon(p);
        if (q < after.PolygonCount() && after.Polygon(q).vertices.size() == a.vertices.size() &&
            after.Polygon(q).vertices[0].vertex->Position() == a.vertices[0].vertex->Position()) {
            ++q;
            continue;
        }
        const Vector3 c = mesh::PolygonCentre(a);
        bool inside = false;
        for (uint32_t k = 0; k < kParts && !inside; ++k)
            inside = k != a.attribute[0] && Inside(all, k, c);
        if (!inside)
            ++removedOutside;
    }
    EXPECT_EQ(removedOutside, 0u);

    const size_t insideBefore = CountInside(before, all), insideAfter = CountInside(after, all);
    EXPECT_LT(insideAfter, insideBefore);
    std::printf("submersible: %zu polygons, %zu removed; inside other parts: %zu before, %zu left\n",
                before.PolygonCount(), before.PolygonCount() - after.PolygonCount(), insideBefore, insideAfter);
    RecordProperty("polygons_inside_before", int(insideBefore));
    RecordProperty("polygons_inside_left", int(insideAfter));
}

TEST(Submersible, CulledRemovalMatchesBruteForceAndIsDeterministic)
{
    CPolyMesh a;
    AssembleTagged(a);
    for (size_t p = 0; p < a.PolygonCount(); ++p)
        a.Polygon(p).attribute[1] = uint32_t(p);
    CPolyMesh b, c;
    ASSERT_TRUE(b.Append(a));
    ASSERT_TRUE(c.Append(a));
    ASSERT_TRUE(mesh::RemoveInteriorPolygons(a, 0.1f));
    ASSERT_TRUE(mesh::RemoveInteriorPolygonsReference(b, 0.1f));
    ASSERT_TRUE(mesh::RemoveInteriorPolygons(c, 0.1f));
    ASSERT_EQ(a.PolygonCount(), b.PolygonCount());
    ASSERT_EQ(a.PolygonCount(), c.PolygonCount());
    for (size_t p = 0; p < a.PolygonCount(); ++p) {
        ASSERT_EQ(a.Polygon(p).attribute[1], b.Polygon(p).attribute[1]) << p;
        ASSERT_EQ(a.Polygon(p).attribute[1], c.Polygon(p).attribute[1]) << p;
    }
}

TEST(Submersible, FullPipelineExports)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::BuildSubmersibleMesh(m));
    std::vector<float> floats;
    std::vector<uint32_t> indices;
    ASSERT_TRUE(mesh::ExportArrays(m, true, false, floats, indices));
    EXPECT_EQ(floats.size(), 8 * m.VertexCount());
    EXPECT_EQ(indices.size(), 3 * m.PolygonCount());
    for (uint32_t i : indices)
        ASSERT_LT(i, m.VertexCount());
    std::printf("submersible export: %zu vertices, %zu triangles\n", m.VertexCount(), m.PolygonCount());
}

TEST(Buoy, BallOnAStalkWithSphericalCoordinates)
{
    CPolyMesh m;
    ASSERT_TRUE(mesh::BuildBuoyMesh(m));
    EXPECT_EQ(meshtest::WatertightFault(m), "");
    EXPECT_GT(meshtest::SignedVolume(m), 0.0);
    Vector3 lo, hi;
    ASSERT_TRUE(m.GetBounds(lo, hi));
    EXPECT_NEAR(lo.y, -1.5f, 1e-6);
    EXPECT_NEAR(hi.y, 1, 0.03);
    EXPECT_NEAR(hi.x, 1, 0.03);
    // The projection box is the ball's: every vertex, stalk included, gets
    // the angle from +y of its position in that box, mapped to [-1, 1]^3.
    CPolyMesh ball;
    ASSERT_TRUE(mesh::MakeIcosphere(ball, 1));
    const Matrix4 box = mesh::UnitCubeMatrix(ball);
    for (size_t i = 0; i < m.VertexCount(); ++i) {
        const auto& v = m.Vertex(i);
        const Vector4 u = box * Vector4(v.Position(), 1);
        const double qx = 2.0 * u.x - 1, qy = 2.0 * u.y - 1, qz = 2.0 * u.z - 1;
        EXPECT_NEAR(v.texcoord[0][1] * M_PI, std::atan2(std::hypot(qx, qz), qy), 1e-4) << i;
    }
    std::vector<float> floats;
    std::vector<uint32_t> indices;
    ASSERT_TRUE(mesh::ExportArrays(m, true, false, floats, indices));
    EXPECT_EQ(indices.size(), 3 * (320 + 12u));
    std::printf("buoy export: %zu vertices, %zu triangles\n", m.VertexCount(), m.PolygonCount());
}

}  // namespace
