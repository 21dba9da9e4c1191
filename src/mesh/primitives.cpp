#include "mesh/primitives.h"

#include <cmath>
#include <new>

#include "mesh/processing.h"

namespace mesh {

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kStep15 = 0.2617994f;  // 15 degrees
constexpr float kStep30 = 0.5235988f;  // 30 degrees

// Fills polygon `index` with the given corners; false when an index lies
// outside the sized pools or the list cannot grow.
bool SetPolygon(CPolyMesh& mesh, size_t index, std::initializer_list<size_t> corners)
{
    if (index >= mesh.PolygonCount())
        return false;
    for (size_t c : corners)
        if (c >= mesh.VertexCount())
            return false;
    _TyPolygon& polygon = mesh.Polygon(index);
    try {
        polygon.vertices.clear();
        polygon.vertices.reserve(corners.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t c : corners)
        polygon.vertices.push_back(mesh.Ref(c));
    polygon.attribute[0] = polygon.attribute[1] = 0;
    return true;
}

// A generator vertex: position, normal and texture set 0 (s, t, 0, 1).
_TyVertex GenVertex(float x, float y, float z, float nx, float ny, float nz, float s, float t)
{
    _TyVertex v = MakeVertex(x, y, z);
    v.SetNormal({nx, ny, nz});
    v.SetTexCoord(s, t);
    return v;
}

}  // namespace

bool AddGridQuads(CPolyMesh& mesh, size_t polygon, size_t f0, size_t columns, size_t rows, bool flip)
{
    for (size_t i = 0; i < rows; ++i)
        for (size_t j = 0; j < columns; ++j) {
            const size_t f = f0 + j + i * (columns + 1);
            const bool ok = flip ? SetPolygon(mesh, polygon, {f + 1, f + columns + 2, f + columns + 1, f})
                                 : SetPolygon(mesh, polygon, {f, f + columns + 1, f + columns + 2, f + 1});
            if (!ok)
                return false;
            ++polygon;
        }
    return true;
}

bool AddFan(CPolyMesh& mesh, size_t polygon, size_t p, size_t c, size_t n, bool close, bool flip)
{
    for (size_t g = 1; g < n; ++g) {
        const bool ok = flip ? SetPolygon(mesh, polygon, {p, c + g - 1, c + g})
                             : SetPolygon(mesh, polygon, {p, c + g, c + g - 1});
        if (!ok)
            return false;
        ++polygon;
    }
    if (close && n > 0) {
        const bool ok = flip ? SetPolygon(mesh, polygon, {p, c + n - 1, c})
                             : SetPolygon(mesh, polygon, {p, c, c + n - 1});
        if (!ok)
            return false;
    }
    return true;
}

bool AddRingStrip(CPolyMesh& mesh, size_t polygon, size_t a, size_t b, size_t n, bool flip)
{
    if (n == 0)
        return true;
    for (size_t g = 1; g < n; ++g) {
        const bool ok = flip ? SetPolygon(mesh, polygon, {a + g - 1, a + g, b + g, b + g - 1})
                             : SetPolygon(mesh, polygon, {a + g, a + g - 1, b + g - 1, b + g});
        if (!ok)
            return false;
        ++polygon;
    }
    return flip ? SetPolygon(mesh, polygon, {a + n - 1, a, b, b + n - 1})
                : SetPolygon(mesh, polygon, {a, a + n - 1, b + n - 1, b});
}

bool MakeGrid(CPolyMesh& mesh)
{
    if (!mesh.Resize(10201, 10000))
        return false;
    size_t index = 0;
    float z = -1;
    for (int r = 0; r <= 100; ++r, z += 0.02f) {
        float x = -1;
        for (int c = 0; c <= 100; ++c, x += 0.02f)
            mesh.Vertex(index++) = GenVertex(x, 0, z, 0, 1, 0, (x + 1) / 2, (z + 1) / 2);
    }
    return AddGridQuads(mesh, 0, 0, 100, 100, false);
}

bool MakeUVSphere(CPolyMesh& mesh)
{
    if (!mesh.Resize(277, 288))
        return false;
    for (int ring = 0; ring < 11; ++ring) {
        const float theta = float(ring + 1) * kStep15;
        for (int k = 0; k < 25; ++k) {
            const float phi = float(k) * kStep15;
            const float x = std::sin(theta) * std::sin(phi), y = std::cos(theta), z = std::sin(theta) * std::cos(phi);
            mesh.Vertex(size_t(25 * ring + k)) = GenVertex(x, y, z, x, y, z, 3 * phi / kTwoPi, theta / 3.1415927f);
        }
    }
    mesh.Vertex(275) = GenVertex(0, 1, 0, 0, 1, 0, 0, 0);
    mesh.Vertex(276) = GenVertex(0, -1, 0, 0, -1, 0, 0, 1);
    return AddGridQuads(mesh, 0, 0, 24, 10, false) && AddFan(mesh, 240, 275, 0, 25, false, true) &&
           AddFan(mesh, 264, 276, 250, 25, false, false);
}

bool MakeIcosphere(CPolyMesh& mesh, float radius)
{
    static const float kVertices[12][3] = {
        {0, 0, 1},           {0.894f, 0, 0.447f},       {0.276f, 0.851f, 0.447f},   {-0.724f, 0.526f, 0.447f},
        {-0.724f, -0.526f, 0.447f}, {0.276f, -0.851f, 0.447f}, {0.724f, 0.526f, -0.447f}, {-0.276f, 0.851f, -0.447f},
        {-0.894f, 0, -0.447f}, {-0.276f, -0.851f, -0.447f}, {0.724f, -0.526f, -0.447f}, {0, 0, -1},
    };
    static const size_t kFaces[20][3] = {
        {0, 1, 2},  {0, 2, 3},  {0, 3, 4},  {0, 4, 5},  {0, 5, 1},  {6, 11, 7}, {7, 11, 8},
        {8, 11, 9}, {9, 11, 10}, {10, 11, 6}, {2, 1, 6},  {3, 2, 7},  {4, 3, 8},  {5, 4, 9},
        {1, 5, 10}, {6, 7, 2},  {7, 8, 3},  {8, 9, 4},  {9, 10, 5}, {10, 6, 1},
    };
    CPolyMesh scratch;
    if (!scratch.Resize(12, 20))
        return false;
    for (size_t i = 0; i < 12; ++i)
        scratch.Vertex(i) = MakeVertex(kVertices[i][0], kVertices[i][1], kVertices[i][2]);
    for (size_t f = 0; f < 20; ++f)
        if (!SetPolygon(scratch, f, {kFaces[f][0], kFaces[f][1], kFaces[f][2]}))
            return false;
    if (!Subdivide(scratch) || !Subdivide(scratch))
        return false;
    ProjectToSphere(scratch, Vector3(0, 0, 0), radius);
    if (!Weld(scratch, false, false, 0.001f))
        return false;
    // A zero radius leaves degenerate faces; their planes are zero, which is all
    // ComputePolygonPlanes can report, so its result does not stop the build.
    ComputePolygonPlanes(scratch);
    ComputeVertexNormals(scratch);
    mesh.Swap(scratch);
    return true;
}

bool MakeBox(CPolyMesh& mesh)
{
    if (!mesh.Resize(24, 6))
        return false;
    // Per pair: fixed axis, column axis, row axis.
    static const int kAxes[3][3] = {{2, 0, 1}, {0, 1, 2}, {1, 2, 0}};
    size_t vertex = 0, polygon = 0;
    for (int pair = 0; pair < 3; ++pair) {
        const int fixed = kAxes[pair][0], column = kAxes[pair][1], row = kAxes[pair][2];
        for (float d : {-1.0f, 1.0f}) {
            const size_t first = vertex;
            for (float r : {-1.0f, 1.0f})
                for (float c : {-1.0f, 1.0f}) {
                    float p[3], n[3] = {0, 0, 0};
                    p[fixed] = d;
                    p[column] = c;
                    p[row] = r;
                    n[fixed] = d;
                    const float x = p[0], y = p[1], z = p[2];
                    float s = 0, t = 0;
                    if (pair == 0)
                        s = d * (x + 1) / 2, t = -(y + 1) / 2;
                    else if (pair == 1)
                        s = -d * (z + 1) / 2, t = -(y + 1) / 2;
                    else
                        s = -d * (x + 1) / 2, t = -(z + 1) / 2;
                    mesh.Vertex(vertex++) = GenVertex(x, y, z, n[0], n[1], n[2], s, t);
                }
            if (!AddGridQuads(mesh, polygon++, first, 1, 1, d > 0))
                return false;
        }
    }
    return true;
}

bool MakeCylinder(CPolyMesh& mesh, unsigned segments)
{
    // Fewer than three sides encloses nothing (and zero would divide by zero).
    if (segments < 3)
        return false;
    const size_t n = segments;
    if (!mesh.Resize(4 * n + 4, 3 * n))
        return false;
    const float step = kTwoPi / float(n);
    size_t vertex = 0;
    for (float y : {-1.0f, 1.0f})
        for (size_t k = 0; k <= n; ++k) {
            const float a = float(k) * step, x = std::sin(a), z = std::cos(a);
            mesh.Vertex(vertex++) = GenVertex(x, y, z, x, 0, z, 3 * a / kTwoPi, (1 - y) / 2);
        }
    if (!AddGridQuads(mesh, 0, 0, n, 1, true))
        return false;
    for (float y : {-1.0f, 1.0f}) {
        for (size_t k = 0; k < n; ++k) {
            const float a = float(k) * step, x = std::sin(a), z = std::cos(a);
            mesh.Vertex(vertex++) = GenVertex(x, y, z, 0, y, 0, (x + 1) / 2, y * (z + 1) / 2);
        }
        mesh.Vertex(vertex++) = GenVertex(0, y, 0, 0, y, 0, 0.5f, 0.5f * y);
    }
    return AddFan(mesh, n, 3 * n + 2, 2 * n + 2, n, true, false) &&
           AddFan(mesh, 2 * n, 4 * n + 3, 3 * n + 3, n, true, true);
}

bool MakeTube(CPolyMesh& mesh, float innerRadius)
{
    if (!mesh.Resize(100, 48))
        return false;
    size_t vertex = 0;
    for (int wall = 0; wall < 2; ++wall) {
        const float radius = wall == 0 ? 1.0f : innerRadius, sign = wall == 0 ? 1.0f : -1.0f;
        for (float y : {-1.0f, 1.0f})
            for (int k = 0; k <= 12; ++k) {
                const float a = float(k) * kStep30, sa = std::sin(a), ca = std::cos(a);
                mesh.Vertex(vertex++) =
                    GenVertex(radius * sa, y, radius * ca, sign * sa, 0, sign * ca, sign * 3 * a / kTwoPi, (1 - y) / 2);
            }
    }
    for (float radius : {1.0f, innerRadius})
        for (float y : {-1.0f, 1.0f})
            for (int k = 0; k < 12; ++k) {
                const float a = float(k) * kStep30, x = radius * std::sin(a), z = radius * std::cos(a);
                mesh.Vertex(vertex++) = GenVertex(x, y, z, 0, y, 0, (x + 1) / 2, y * (z + 1) / 2);
            }
    return AddGridQuads(mesh, 0, 0, 12, 1, true) && AddGridQuads(mesh, 12, 26, 12, 1, false) &&
           AddRingStrip(mesh, 24, 52, 76, 12, false) && AddRingStrip(mesh, 36, 64, 88, 12, true);
}

}  // namespace mesh
