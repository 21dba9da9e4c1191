// Uniform grid over a mesh's polygons (about 10 per cell), used by interior
// polygon removal to find the polygons near a given one. A polygon is listed
// in every cell of its bounding box that one of its fan triangles overlaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "math/matrix4.h"
#include "math/vector.h"
#include "mesh/poly_mesh.h"

namespace mesh {

// Separating-axis test of triangle (a, b, c) against the axis-aligned box
// centre +- half: the box axes, the triangle normal and the nine cross
// products of box axes and triangle edges. Touching counts as overlapping.
bool TriangleOverlapsBox(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& centre,
                         const Vector3& half);

class CPolygonGrid {
public:
    // Sizes the grid over the mesh bounds widened by 0.001 and lists every
    // polygon; false on allocation failure or a non-finite extent.
    bool Build(const CPolyMesh& mesh);

    // Cells the grid spans (0 before a successful Build).
    uint64_t CellCount() const { return built ? uint64_t(n[0]) * uint64_t(n[1]) * uint64_t(n[2]) : 0; }
    int64_t CellsPerAxis(int axis) const { return n[axis]; }
    const Matrix4& WorldToGrid() const { return toGrid; }

    // Indices of the polygons listed in the cells that the polygon's grid
    // space box touches, each once, ascending.
    void Query(const _TyPolygon& polygon, std::vector<uint32_t>& out) const;

    // Polygons listed in cell (x, y, z); null when none.
    const std::vector<uint32_t>* Cell(int64_t x, int64_t y, int64_t z) const;

private:
    Vector3 ToGrid(const Vector3& p) const;
    // Cell range [lo, hi] per axis of a grid-space box, clamped to the grid.
    void CellRange(const Vector3& lo, const Vector3& hi, int64_t first[3], int64_t last[3]) const;
    uint64_t Key(int64_t x, int64_t y, int64_t z) const;

    bool built = false;
    Matrix4 toGrid = Matrix4::Identity();
    int64_t n[3] = {1, 1, 1};
    std::map<uint64_t, std::vector<uint32_t>> cells;
};

}  // namespace mesh
