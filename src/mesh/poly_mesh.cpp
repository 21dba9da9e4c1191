#include "mesh/poly_mesh.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace mesh {

namespace {

// Applies f to every float pair of two records, field by field.
template <class F>
void ForEachFloat(_TyVertex& a, const _TyVertex& b, F f)
{
    for (int i = 0; i < 3; ++i)
        f(a.position[i], b.position[i]);
    for (int i = 0; i < 3; ++i)
        f(a.normal[i], b.normal[i]);
    for (int i = 0; i < 4; ++i)
        f(a.color[i], b.color[i]);
    for (int s = 0; s < 4; ++s)
        for (int i = 0; i < 4; ++i)
            f(a.texcoord[s][i], b.texcoord[s][i]);
}

}  // namespace

_TyVertex MakeVertex(float x, float y, float z)
{
    _TyVertex v = {};
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    for (auto& set : v.texcoord)
        set[3] = 1;
    return v;
}

_TyVertex Add(const _TyVertex& a, const _TyVertex& b)
{
    _TyVertex r = a;
    ForEachFloat(r, b, [](float& x, float y) { x += y; });
    return r;
}

_TyVertex Scale(const _TyVertex& a, float k)
{
    _TyVertex r = a;
    ForEachFloat(r, a, [k](float& x, float) { x *= k; });
    return r;
}

void Accumulate(_TyVertex& sum, const _TyVertex& v)
{
    ForEachFloat(sum, v, [](float& x, float y) { x += y; });
}

void CopyPolygonAttributes(_TyPolygon& target, const _TyPolygon& source)
{
    target.plane = source.plane;
    target.attribute[0] = source.attribute[0];
    target.attribute[1] = source.attribute[1];
}

bool CPolyMesh::Resize(size_t vertexCount, size_t polygonCount)
{
    polygons.Clear();
    vertices.Clear();
    if (!vertices.Grow(vertexCount) || !polygons.Grow(polygonCount)) {
        polygons.Clear();
        vertices.Clear();
        return false;
    }
    return true;
}

void CPolyMesh::Swap(CPolyMesh& other)
{
    if (&other == this)
        return;
    polygons.Swap(other.polygons);
    vertices.Swap(other.vertices);
    // The pools' addresses stay with the meshes, so every reference needs its new owner.
    for (CPolyMesh* m : {this, &other}) {
        const size_t n = m->polygons.Count();
        for (size_t i = 0; i < n; ++i)
            for (_TyVertexRef& r : m->polygons[i].vertices)
                r.pool = &m->vertices;
    }
}

void CPolyMesh::ErasePolygons(int64_t end, int64_t first)
{
    const int64_t count = int64_t(polygons.Count());
    if (end < 0 || end > count)
        end = count;
    first = std::clamp<int64_t>(first, 0, end);
    if (first == end)
        return;
    const int64_t removed = end - first;
    for (int64_t i = end; i < count; ++i)
        polygons[size_t(i - removed)] = std::move(polygons[size_t(i)]);
    polygons.Shrink(size_t(count - removed));
}

int64_t CPolyMesh::IndexOf(const _TyVertex* address) const
{
    const int64_t i = vertices.IndexOf(address);
    return i < int64_t(vertices.Count()) ? i : -1;
}

bool CPolyMesh::Append(const CPolyMesh& other)
{
    // Counts first: other may be this mesh, whose pools grow below.
    const size_t oldV = vertices.Count(), oldP = polygons.Count();
    const size_t addV = other.vertices.Count(), addP = other.polygons.Count();
    try {
        if (!vertices.Grow(oldV + addV) || !polygons.Grow(oldP + addP))
            throw std::bad_alloc();
        for (size_t i = 0; i < addV; ++i)
            vertices[oldV + i] = other.vertices[i];
        for (size_t i = 0; i < addP; ++i) {
            const _TyPolygon& src = other.polygons[i];
            _TyPolygon& dst = polygons[oldP + i];
            dst.vertices.resize(src.vertices.size());
            CopyPolygonAttributes(dst, src);
            for (size_t k = 0; k < src.vertices.size(); ++k) {
                const int64_t index = other.IndexOf(src.vertices[k].vertex);
                if (index < 0)
                    throw std::bad_alloc();  // a foreign reference: abandon like a failed allocation
                dst.vertices[k] = Ref(oldV + size_t(index));
            }
        }
    } catch (const std::bad_alloc&) {
        polygons.Shrink(oldP);
        vertices.Shrink(oldV);
        return false;
    }
    return true;
}

bool CPolyMesh::AppendTransformed(const CPolyMesh& other, const Matrix4& m)
{
    const size_t oldV = vertices.Count();
    if (!Append(other))
        return false;
    Transform(m, oldV);
    return true;
}

void CPolyMesh::Transform(const Matrix4& m, size_t firstVertex)
{
    // Normal matrix: the cofactors of the upper-left 3 x 3 (the inverse
    // transpose times the determinant), so non-uniform scales keep normals
    // perpendicular. Only the determinant's sign matters before the
    // normalisation, and leaving out the division keeps flattening
    // transforms (determinant 0) from turning normals into NaN.
    auto a = [&m](int r, int c) { return m.At(r, c); };
    float cof[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r0 = (r + 1) % 3, r1 = (r + 2) % 3, c0 = (c + 1) % 3, c1 = (c + 2) % 3;
            cof[r][c] = a(r0, c0) * a(r1, c1) - a(r0, c1) * a(r1, c0);
        }
    const float det = a(0, 0) * cof[0][0] + a(0, 1) * cof[0][1] + a(0, 2) * cof[0][2];
    const float sign = det < 0 ? -1.0f : 1.0f;
    const size_t n = vertices.Count();
    for (size_t i = firstVertex; i < n; ++i) {
        _TyVertex& v = vertices[i];
        const float x = v.position[0], y = v.position[1], z = v.position[2];
        for (int r = 0; r < 3; ++r)
            v.position[r] = a(r, 0) * x + a(r, 1) * y + a(r, 2) * z + a(r, 3);
        const Vector3 nv = v.Normal();
        Vector3 t;
        t.x = sign * (cof[0][0] * nv.x + cof[0][1] * nv.y + cof[0][2] * nv.z);
        t.y = sign * (cof[1][0] * nv.x + cof[1][1] * nv.y + cof[1][2] * nv.z);
        t.z = sign * (cof[2][0] * nv.x + cof[2][1] * nv.y + cof[2][2] * nv.z);
        v.SetNormal(math::Normalise(t));
    }
}

bool CPolyMesh::GetBounds(Vector3& min, Vector3& max) const
{
    const size_t n = vertices.Count();
    if (n == 0) {
        min = max = Vector3(0, 0, 0);
        return false;
    }
    min = max = vertices[0].Position();
    for (size_t i = 1; i < n; ++i) {
        const _TyVertex& v = vertices[i];
        min = {std::min(min.x, v.position[0]), std::min(min.y, v.position[1]), std::min(min.z, v.position[2])};
        max = {std::max(max.x, v.position[0]), std::max(max.y, v.position[1]), std::max(max.z, v.position[2])};
    }
    return true;
}

Matrix4 ScaleMatrix(float x, float y, float z)
{
    Matrix4 m = Matrix4::Identity();
    m[0] = x;
    m[5] = y;
    m[10] = z;
    return m;
}

Matrix4 UnitCubeMatrix(const CPolyMesh& mesh)
{
    Vector3 min, max;
    mesh.GetBounds(min, max);
    auto scale = [](float lo, float hi) { return hi == lo ? 1.0f : 1.0f / (hi - lo); };
    return ScaleMatrix(scale(min.x, max.x), scale(min.y, max.y), scale(min.z, max.z)) *
           Matrix4::Translation(-min);
}

}  // namespace mesh
