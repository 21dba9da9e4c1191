// Polygon mesh library: the in-memory editing mesh from which every solid
// scene object (sky dome, terrain, buoy, submersible) is built at start-up.
//
// Scene constructors generate primitives (mesh/primitives.h), merge them with
// AppendTransformed, reshape them (mesh/processing.h), drop hidden faces
// (mesh/interior_removal.h) and flatten the result with ExportArrays into
// GL-ready arrays; the mesh itself is never drawn and dies with the
// constructor. CPolyMesh owns its vertex and polygon pools; polygons address
// vertex records directly, so the pools are paged and records never move
// while the mesh exists. Plain C++, no GL. Fallible operations return false
// and print nothing; allocation failure never escapes as an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/matrix4.h"
#include "math/vector.h"
#include "mesh/paged_array.h"

namespace mesh {

// One vertex: 26 floats. Arithmetic on vertices treats all 26 as one vector,
// so interpolated vertices carry normals, colours and every texture set.
struct _TyVertex {
    float position[3];     // x, y, z
    float normal[3];       // x, y, z
    float color[4];        // r, g, b, a
    float texcoord[4][4];  // sets 0..3 of s, t, r, q; only set 0 is exported

    Vector3 Position() const { return {position[0], position[1], position[2]}; }
    Vector3 Normal() const { return {normal[0], normal[1], normal[2]}; }
    void SetPosition(const Vector3& p) { position[0] = p.x, position[1] = p.y, position[2] = p.z; }
    void SetNormal(const Vector3& n) { normal[0] = n.x, normal[1] = n.y, normal[2] = n.z; }
    void SetTexCoord(float s, float t) { texcoord[0][0] = s, texcoord[0][1] = t; }
};
static_assert(sizeof(_TyVertex) == 26 * sizeof(float), "vertex records are 26 packed floats");

using CVertexPool = CPagedArray<_TyVertex>;

// A polygon corner: the vertex record and the pool that owns it.
struct _TyVertexRef {
    _TyVertex* vertex = nullptr;
    const CVertexPool* pool = nullptr;
};

// One polygon, counter-clockwise seen from its front.
struct _TyPolygon {
    std::vector<_TyVertexRef> vertices;  // corners in order
    Vector4 plane;                       // unit normal and offset: n.p + d = 0 (ComputePolygonPlanes)
    uint32_t attribute[2] = {0, 0};      // carried along with plane; never read here
};

// The vertex at (x, y, z) with zero normal and colour and every texture set (0, 0, 0, 1).
_TyVertex MakeVertex(float x, float y, float z);

// Whole-record vertex arithmetic over all 26 floats.
_TyVertex Add(const _TyVertex& a, const _TyVertex& b);  // a + b
_TyVertex Scale(const _TyVertex& a, float k);           // a * k
void Accumulate(_TyVertex& sum, const _TyVertex& v);    // sum += v

// Copies plane and attribute words; the target's vertex list stays.
void CopyPolygonAttributes(_TyPolygon& target, const _TyPolygon& source);

class CPolyMesh {
public:
    CPolyMesh() = default;
    ~CPolyMesh() = default;
    CPolyMesh(const CPolyMesh&) = delete;
    CPolyMesh& operator=(const CPolyMesh&) = delete;

    size_t VertexCount() const { return vertices.Count(); }    // element counts of the pools
    size_t PolygonCount() const { return polygons.Count(); }
    _TyVertex& Vertex(size_t i) { return vertices[i]; }        // record i; stays put while the mesh lives
    const _TyVertex& Vertex(size_t i) const { return vertices[i]; }
    _TyPolygon& Polygon(size_t i) { return polygons[i]; }      // polygon i
    const _TyPolygon& Polygon(size_t i) const { return polygons[i]; }
    const CVertexPool& VertexPool() const { return vertices; }  // the pool references point at
    const CPagedArray<_TyPolygon>& PolygonPool() const { return polygons; }

    // A reference to vertex i of this mesh, for building polygons.
    _TyVertexRef Ref(size_t i) { return {&vertices[i], &vertices}; }

    // Empties both pools, then holds V vertices (undefined until written) and
    // P polygons with empty vertex lists. On failure both pools are empty.
    bool Resize(size_t vertexCount, size_t polygonCount);

    // Exchanges the complete contents of two meshes and re-points every
    // reference at its new owner's pool.
    void Swap(CPolyMesh& other);

    // Removes polygons first .. end - 1 (end -1: the polygon count), moving
    // later ones down; (-1, 0) removes all.
    void ErasePolygons(int64_t end = -1, int64_t first = 0);

    // Index of the vertex record at `address` in this mesh, or -1.
    int64_t IndexOf(const _TyVertex* address) const;

    // Appends copies of other's polygons and vertices (other may be this
    // mesh). On failure the mesh is left as it was.
    bool Append(const CPolyMesh& other);

    // Append, then transforms the appended vertices by m (normals by the
    // inverse transpose of its upper-left 3 x 3, then renormalised).
    bool AppendTransformed(const CPolyMesh& other, const Matrix4& m);

    // Transforms vertices firstVertex .. end as AppendTransformed does:
    // positions by m, normals by the inverse transpose of its 3 x 3, renormalised.
    void Transform(const Matrix4& m, size_t firstVertex = 0);

    // Component-wise bounds of all positions; false and zero corners when empty.
    bool GetBounds(Vector3& min, Vector3& max) const;

private:
    CPagedArray<_TyPolygon> polygons;
    CVertexPool vertices;
};

// Maps the mesh's bounding box onto [0, 1]^3: p' = (p - min) * s, with
// s = 1 / (max - min) per axis, or 1 on a flat axis.
Matrix4 UnitCubeMatrix(const CPolyMesh& mesh);

// Scale(x, y, z): the non-uniform scale the assemblies need.
Matrix4 ScaleMatrix(float x, float y, float z);

}  // namespace mesh

using CPolyMesh = mesh::CPolyMesh;
