// Processing operations in the order of the header; Weld lives in vertex_grid.cpp.
#include "mesh/processing.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace mesh {

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

_TyVertex Midpoint(const _TyVertex& a, const _TyVertex& b)
{
    return Scale(Add(a, b), 0.5f);
}

// Scratch index of each corner of `polygon`, looked up in `mesh`; false on a
// corner that does not belong to the mesh.
bool CornerIndices(const CPolyMesh& mesh, const _TyPolygon& polygon, std::vector<size_t>& out)
{
    out.resize(polygon.vertices.size());
    for (size_t k = 0; k < out.size(); ++k) {
        const int64_t index = mesh.IndexOf(polygon.vertices[k].vertex);
        if (index < 0)
            return false;
        out[k] = size_t(index);
    }
    return true;
}

// Angle of the direction (e, g) from +e towards +g, in [0, 2 pi).
float DirectionAngle(float e, float g)
{
    const float length = std::sqrt(e * e + g * g);
    if (length == 0)
        return 0;
    e /= length;
    g /= length;
    if (e == 0)  // also -0, whose quotient would flip the sign of the infinity
        return g > 0 ? kPi / 2 : 3 * kPi / 2;
    float angle = std::atan(g / e);
    if (e < 0)
        angle += kPi;
    else if (g < 0)
        angle += kTwoPi;
    return angle;
}

}  // namespace

_TyVertex Centroid(const _TyPolygon& polygon)
{
    if (polygon.vertices.empty())
        return MakeVertex(0, 0, 0);
    _TyVertex sum = *polygon.vertices[0].vertex;
    for (size_t k = 1; k < polygon.vertices.size(); ++k)
        Accumulate(sum, *polygon.vertices[k].vertex);
    return Scale(sum, 1.0f / float(polygon.vertices.size()));
}

bool Subdivide(CPolyMesh& mesh)
{
    const size_t oldV = mesh.VertexCount(), polygonCount = mesh.PolygonCount();
    // Polygons without corners produce nothing; counting them would leave
    // undefined vertices in the pool.
    size_t newV = oldV, newP = 0;
    for (size_t i = 0; i < polygonCount; ++i) {
        const size_t n = mesh.Polygon(i).vertices.size();
        if (n == 0)
            continue;
        newV += n == 3 ? 3 : n + 1;
        newP += n == 3 ? 4 : n;
    }
    try {
        CPolyMesh scratch;
        if (!scratch.Resize(newV, newP))
            return false;
        for (size_t i = 0; i < oldV; ++i)
            scratch.Vertex(i) = mesh.Vertex(i);
        std::vector<size_t> p;
        size_t t = oldV, out = 0;
        auto emit = [&](const _TyPolygon& source, std::initializer_list<size_t> corners) {
            _TyPolygon& polygon = scratch.Polygon(out++);
            polygon.vertices.reserve(corners.size());
            for (size_t c : corners)
                polygon.vertices.push_back(scratch.Ref(c));
            CopyPolygonAttributes(polygon, source);
        };
        for (size_t i = 0; i < polygonCount; ++i) {
            const _TyPolygon& source = mesh.Polygon(i);
            const size_t n = source.vertices.size();
            if (n == 0)
                continue;
            if (!CornerIndices(mesh, source, p))
                return false;
            if (n == 3) {
                scratch.Vertex(t) = Midpoint(mesh.Vertex(p[0]), mesh.Vertex(p[1]));
                scratch.Vertex(t + 1) = Midpoint(mesh.Vertex(p[1]), mesh.Vertex(p[2]));
                scratch.Vertex(t + 2) = Midpoint(mesh.Vertex(p[2]), mesh.Vertex(p[0]));
                const size_t m01 = t, m12 = t + 1, m20 = t + 2;
                emit(source, {p[0], m01, m20});
                emit(source, {p[1], m12, m01});
                emit(source, {p[2], m20, m12});
                emit(source, {m01, m12, m20});
                t += 3;
                continue;
            }
            // Vertex t + j: midpoint of the edge ending at corner j; t + n: centroid.
            for (size_t j = 0; j < n; ++j)
                scratch.Vertex(t + j) = Midpoint(mesh.Vertex(p[(j + n - 1) % n]), mesh.Vertex(p[j]));
            scratch.Vertex(t + n) = Centroid(source);
            for (size_t j = 0; j < n; ++j)
                emit(source, {p[j], t + (j + 1) % n, t + n, t + j});
            t += n + 1;
        }
        mesh.Swap(scratch);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool ProjectToSphere(CPolyMesh& mesh, const Vector3& centre, float radius)
{
    const size_t n = mesh.VertexCount();
    for (size_t i = 0; i < n; ++i) {
        _TyVertex& v = mesh.Vertex(i);
        Vector3 d = v.Position() - centre;
        const float length = d.Length();
        if (length != 0)
            d = d * (radius / length);
        v.SetPosition(centre + d);
    }
    return true;
}

bool ComputePolygonPlanes(CPolyMesh& mesh)
{
    bool allValid = true;
    const size_t count = mesh.PolygonCount();
    for (size_t i = 0; i < count; ++i) {
        _TyPolygon& polygon = mesh.Polygon(i);
        const size_t n = polygon.vertices.size();
        polygon.plane = Vector4(0, 0, 0, 0);
        if (n < 3) {
            allValid = false;
            continue;
        }
        Vector3 sum(0, 0, 0);
        Vector3 previous = polygon.vertices[n - 1].vertex->Position();
        for (size_t k = 0; k < n; ++k) {
            const Vector3 current = polygon.vertices[k].vertex->Position();
            sum += math::Cross(previous, current);
            previous = current;
        }
        const float length = sum.Length();
        if (length < 0.001f) {
            allValid = false;
            continue;
        }
        const Vector3 normal = sum / length;
        polygon.plane = Vector4(normal, -math::Dot(normal, polygon.vertices[0].vertex->Position()));
    }
    return allValid;
}

bool ComputeVertexNormals(CPolyMesh& mesh)
{
    const size_t vertexCount = mesh.VertexCount(), polygonCount = mesh.PolygonCount();
    for (size_t i = 0; i < vertexCount; ++i)
        mesh.Vertex(i).SetNormal({0, 0, 0});
    for (size_t i = 0; i < polygonCount; ++i) {
        const _TyPolygon& polygon = mesh.Polygon(i);
        for (const _TyVertexRef& r : polygon.vertices) {
            r.vertex->normal[0] += polygon.plane.x;
            r.vertex->normal[1] += polygon.plane.y;
            r.vertex->normal[2] += polygon.plane.z;
        }
    }
    for (size_t i = 0; i < vertexCount; ++i)
        mesh.Vertex(i).SetNormal(math::Normalise(mesh.Vertex(i).Normal()));
    return true;
}

bool SplitVertices(CPolyMesh& mesh)
{
    const size_t polygonCount = mesh.PolygonCount();
    size_t corners = 0;
    for (size_t i = 0; i < polygonCount; ++i)
        corners += mesh.Polygon(i).vertices.size();
    try {
        CPolyMesh scratch;
        if (!scratch.Resize(corners, polygonCount))
            return false;
        size_t next = 0;
        for (size_t i = 0; i < polygonCount; ++i) {
            const _TyPolygon& source = mesh.Polygon(i);
            _TyPolygon& polygon = scratch.Polygon(i);
            polygon.vertices.reserve(source.vertices.size());
            for (const _TyVertexRef& r : source.vertices) {
                scratch.Vertex(next) = *r.vertex;
                polygon.vertices.push_back(scratch.Ref(next++));
            }
            CopyPolygonAttributes(polygon, source);
        }
        mesh.Swap(scratch);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool GenerateTexCoords(CPolyMesh& mesh, int type, const Matrix4& m)
{
    if (type != kTexCoordSpherical && type != kTexCoordCylindrical)
        return mesh.VertexCount() == 0;
    // Scratch space first, so that nothing can fail once the mesh is split.
    std::vector<Vector3> q;
    std::vector<float> phi;
    size_t polygonCount = mesh.PolygonCount(), largest = 0;
    for (size_t i = 0; i < polygonCount; ++i)
        largest = std::max(largest, mesh.Polygon(i).vertices.size());
    try {
        q.reserve(largest);
        phi.reserve(largest);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!SplitVertices(mesh))
        return false;
    {
        for (size_t i = 0; i < polygonCount; ++i) {
            const _TyPolygon& polygon = mesh.Polygon(i);
            const size_t n = polygon.vertices.size();
            q.resize(n);
            phi.resize(n);
            bool frontPositive = false, frontNegative = false;  // corners with q.x >= 0 on either side of z = 0
            for (size_t k = 0; k < n; ++k) {
                const Vector3 p = polygon.vertices[k].vertex->Position();
                const Vector4 mp = m * Vector4(p, 1);
                q[k] = Vector3(2 * mp.x - 1, 2 * mp.y - 1, 2 * mp.z - 1);
                phi[k] = DirectionAngle(q[k].x, q[k].z);
                if (q[k].x >= 0) {
                    if (q[k].z >= 0)
                        frontPositive = true;
                    else
                        frontNegative = true;
                }
            }
            // A polygon across the +x seam: lift the corners just past angle 0
            // to just below 2 pi so the coordinates stay continuous.
            if (frontPositive && frontNegative)
                for (size_t k = 0; k < n; ++k)
                    if (q[k].x >= 0 && q[k].z >= 0)
                        phi[k] += kTwoPi;
            for (size_t k = 0; k < n; ++k) {
                float s, t;
                if (type == kTexCoordCylindrical) {
                    s = -phi[k] / kTwoPi;
                    t = -(0.5f * q[k].y + 0.5f);
                } else {
                    const float latitude = DirectionAngle(q[k].y, std::sqrt(q[k].x * q[k].x + q[k].z * q[k].z));
                    s = phi[k] / kTwoPi;
                    t = latitude / kPi;
                }
                polygon.vertices[k].vertex->SetTexCoord(s, t);
            }
        }
    }
    return true;
}

bool Triangulate(CPolyMesh& mesh)
{
    const size_t vertexCount = mesh.VertexCount(), polygonCount = mesh.PolygonCount();
    size_t triangles = 0;
    for (size_t i = 0; i < polygonCount; ++i) {
        const size_t n = mesh.Polygon(i).vertices.size();
        if (n >= 3)
            triangles += n - 2;
    }
    try {
        CPolyMesh scratch;
        if (!scratch.Resize(vertexCount, triangles))
            return false;
        for (size_t i = 0; i < vertexCount; ++i)
            scratch.Vertex(i) = mesh.Vertex(i);
        std::vector<size_t> p;
        size_t out = 0;
        for (size_t i = 0; i < polygonCount; ++i) {
            const _TyPolygon& source = mesh.Polygon(i);
            const size_t n = source.vertices.size();
            if (n < 3)
                continue;
            if (!CornerIndices(mesh, source, p))
                return false;
            // Zig-zag: the first triangle advances the front, then back and
            // front alternate, which avoids the long slivers of a plain fan.
            size_t f = 0, b = n - 1;
            for (size_t k = 0; k < n - 2; ++k) {
                size_t c0, c1, c2;
                if (k % 2 == 0) {
                    c0 = p[f], c1 = p[f + 1], c2 = p[b];
                    ++f;
                } else {
                    c0 = p[f], c1 = p[b - 1], c2 = p[b];
                    --b;
                }
                _TyPolygon& triangle = scratch.Polygon(out++);
                triangle.vertices = {scratch.Ref(c0), scratch.Ref(c1), scratch.Ref(c2)};
                CopyPolygonAttributes(triangle, source);
            }
        }
        mesh.Swap(scratch);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool ExportArrays(const CPolyMesh& mesh, bool withNormals, bool withColour, std::vector<float>& floats,
                  std::vector<uint32_t>& indices)
{
    const size_t vertexCount = mesh.VertexCount(), polygonCount = mesh.PolygonCount();
    const size_t stride = 3 + (withNormals ? 3 : 0) + (withColour ? 4 : 0) + 2;
    // 32-bit indices cannot address more vertices.
    if (vertexCount > size_t(UINT32_MAX))
        return false;
    try {
        floats.resize(stride * vertexCount);
        indices.resize(3 * polygonCount);
    } catch (const std::bad_alloc&) {
        return false;
    }
    float* out = floats.data();
    for (size_t i = 0; i < vertexCount; ++i) {
        const _TyVertex& v = mesh.Vertex(i);
        for (float x : v.position)
            *out++ = x;
        if (withNormals)
            for (float x : v.normal)
                *out++ = x;
        if (withColour)
            for (float x : v.color)
                *out++ = x;
        *out++ = v.texcoord[0][0];
        *out++ = v.texcoord[0][1];
    }
    for (size_t i = 0; i < polygonCount; ++i) {
        const _TyPolygon& polygon = mesh.Polygon(i);
        if (polygon.vertices.size() != 3)
            return false;
        for (size_t k = 0; k < 3; ++k) {
            const int64_t index = mesh.IndexOf(polygon.vertices[k].vertex);
            if (index < 0)
                return false;
            indices[3 * i + k] = uint32_t(index);
        }
    }
    return true;
}

}  // namespace mesh
