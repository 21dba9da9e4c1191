// Hash grid over vertex positions, used by Weld to find the vertices near a
// seed without comparing every pair. Cells wrap every n cells per axis, so
// distant vertices may share a list; equivalence is always checked exactly.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "math/vector.h"
#include "mesh/poly_mesh.h"

namespace mesh {

class CVertexGrid {
public:
    // Sizes the grid for about 100 vertices per cell and a cell edge of at
    // least max(2 eps, 0.01), and registers every vertex of the mesh. False on
    // allocation failure or when the cell edge is too small for eps.
    bool Build(const CPolyMesh& mesh, float eps);

    float CellEdge() const { return h; }
    int64_t CellsPerAxis(int axis) const { return n[axis]; }

    // Wrapped cell coordinate of a value on an axis.
    int64_t Coordinate(float p, int axis) const;
    // (cz * ny + cy) * nx + cx of a point's cell.
    uint64_t Key(const Vector3& p) const;

    // Vertex indices listed in the cell, in registration order; null when empty.
    const std::vector<uint32_t>* Cell(uint64_t key) const;

    // Appends the keys of the cells to search for vertices within eps of p,
    // each once.
    void QueryKeys(const Vector3& p, float eps, std::vector<uint64_t>& keys) const;

private:
    uint64_t KeyOf(int64_t cx, int64_t cy, int64_t cz) const;

    float h = 1;
    int64_t n[3] = {1, 1, 1};
    std::map<uint64_t, std::vector<uint32_t>> cells;
};

}  // namespace mesh
