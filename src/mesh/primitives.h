// Primitive generators: each replaces a mesh's contents with one solid
// centred on the origin in unit size (heights -1..1, radius 1, flat extents
// -1..1), wound counter-clockwise seen from outside. Scene objects scale,
// move and merge them with CPolyMesh::AppendTransformed. Generators size the
// mesh once with the exact counts, so vertex and polygon numbering is fixed.
#pragma once

#include <cstddef>

#include "mesh/poly_mesh.h"

namespace mesh {

// Polygon builders. Each fills polygons that Resize created empty, starting
// at `polygon` (advanced by one per polygon), with attribute words 0; vertex
// indices must lie inside the sized pool.

// Row-major grid of (columns + 1) x (rows + 1) vertices from f0: per cell the
// quad (f, f+C+1, f+C+2, f+1), reversed with flip.
bool AddGridQuads(CPolyMesh& mesh, size_t polygon, size_t f0, size_t columns, size_t rows, bool flip);
// Triangles from centre p to consecutive ring vertices c .. c+n-1; close adds (p, c, c+n-1).
bool AddFan(CPolyMesh& mesh, size_t polygon, size_t p, size_t c, size_t n, bool close, bool flip);
// Quads between rings a and b of n vertices each, always closed.
bool AddRingStrip(CPolyMesh& mesh, size_t polygon, size_t a, size_t b, size_t n, bool flip);

bool MakeGrid(CPolyMesh& mesh);                       // y = 0 square, 101 x 101 vertices, faces +y
bool MakeUVSphere(CPolyMesh& mesh);                   // 15 degree rings and meridians, poles on y
bool MakeIcosphere(CPolyMesh& mesh, float radius);    // twice subdivided icosahedron, welded
bool MakeBox(CPolyMesh& mesh);                        // the cube [-1, 1]^3, one quad per face
bool MakeCylinder(CPolyMesh& mesh, unsigned segments);  // closed, radius 1, y in [-1, 1]
bool MakeTube(CPolyMesh& mesh, float innerRadius);    // 12-segment thick pipe, outer radius 1

}  // namespace mesh
