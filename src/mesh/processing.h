// Mesh processing: refinement, surface data, topology fixes and the final
// flattening into GL arrays. Scene constructors run short fixed pipelines of
// these, e.g. generate -> append transformed parts -> GenerateTexCoords ->
// Triangulate -> Weld -> ExportArrays.
//
// Operations that change topology build a complete replacement in a scratch
// mesh, sized once with the exact counts, and swap it in at the end; when
// they return false the input mesh is unchanged.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix4.h"
#include "math/vector.h"
#include "mesh/poly_mesh.h"

namespace mesh {

// Texture projections of GenerateTexCoords.
enum TexCoordProjection : int {
    kTexCoordSpherical = 2,
    kTexCoordCylindrical = 3,
};

// Average of all 26 floats of the polygon's corners; MakeVertex(0, 0, 0) without corners.
_TyVertex Centroid(const _TyPolygon& polygon);

// One refinement step: triangles into 4 triangles, other n-gons into n quads
// around their centroid. Edge midpoints are per polygon (Weld shares them).
bool Subdivide(CPolyMesh& mesh);

// Moves every position onto the sphere; normals are left alone.
bool ProjectToSphere(CPolyMesh& mesh, const Vector3& centre, float radius);

// Fills every plane from the corner cross-product sum; polygons with fewer
// than 3 corners or |sum| < 0.001 get a zero plane, and make the result false.
bool ComputePolygonPlanes(CPolyMesh& mesh);

// Vertex normal = normalised sum of the plane normals of its polygon corners.
bool ComputeVertexNormals(CPolyMesh& mesh);

// Every polygon corner gets its own vertex copy, numbered in corner order.
bool SplitVertices(CPolyMesh& mesh);

// Merges vertices equivalent to a seed vertex: positions (and optionally
// normals and texture set 0) within eps. Not transitive: a vertex joins the
// group of the first untaken seed it is close to.
bool Weld(CPolyMesh& mesh, bool compareNormals, bool compareTexCoords, float eps);

// Writes s, t of texture set 0 by a spherical (2) or cylindrical (3)
// projection of m * position mapped to [-1, 1]^3; splits vertices first so
// seams can differ per polygon. Other types: false unless the mesh is empty.
bool GenerateTexCoords(CPolyMesh& mesh, int type, const Matrix4& m);

// n-gons into n - 2 triangles in zig-zag order; polygons under 3 corners go.
bool Triangulate(CPolyMesh& mesh);

// Interleaved floats per vertex (position, [normal], [colour], s, t) and three
// indices per triangle. False on a polygon that is not a triangle (the arrays
// then stay partly filled) or on allocation failure.
bool ExportArrays(const CPolyMesh& mesh, bool withNormals, bool withColour, std::vector<float>& floats,
                  std::vector<uint32_t>& indices);

}  // namespace mesh
