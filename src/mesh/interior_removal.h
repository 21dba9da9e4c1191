// Interior polygon removal: models assembled from overlapping closed
// primitives (the submersible) hide many faces inside other parts. A polygon
// goes when the ray from its centre along its normal first meets the back of
// another polygon (it lies inside that part) and no nearby polygon overlaps
// it. No boolean solid is built. Polygon planes must be valid on entry
// (ComputePolygonPlanes).
#pragma once

#include <cstdint>

#include "math/vector.h"
#include "mesh/poly_mesh.h"

namespace mesh {

// Average of the polygon's corner positions.
Vector3 PolygonCentre(const _TyPolygon& polygon);

// Moller-Trumbore against the fan triangles (Q0, Qi-1, Qi) in order; the
// first triangle hit gives t (any sign). Triangles with |det| < tolerance
// are skipped; edges count as hits. Polygons under 3 corners are never hit.
bool RayHitPolygon(const Vector3& direction, const _TyPolygon& q, const Vector3& origin, float& t,
                   float tolerance = 0.001f);

// Whether the polygons overlap: no plane of either separates them, neither
// its own plane (all of the other more than |margin| off it) nor a plane
// through one of its edges perpendicular to it (all of the other at or beyond
// margin outside); a negative margin demands that much overlap, so polygons
// that merely touch do not count. Polygons under 3 corners never overlap.
bool PolygonsOverlap(const _TyPolygon& f, const _TyPolygon& p, float margin);

// The deterministic jitter source: state <- state * 1664525 + 1013904223.
class CJitterRandom {
public:
    explicit CJitterRandom(uint32_t seed = 12345) : state(seed) {}
    uint32_t State() const { return state; }
    uint32_t Next() { return state = state * 1664525u + 1013904223u; }
    // Offsets for x, y, z in [-jitter, jitter) from the current state and its
    // next two successors; the state then moves past all three.
    Vector3 Perturbation(float jitter);

private:
    uint32_t state;
};

// Removes polygons with fewer than 3 corners, then the interior polygons.
// False on allocation failure or when the grid cannot be built; polygons
// emptied by then stay in the mesh, empty.
bool RemoveInteriorPolygons(CPolyMesh& mesh, float jitter);

// Brute-force form that tests every ray against every polygon; same result
// as RemoveInteriorPolygons, kept as its reference.
bool RemoveInteriorPolygonsReference(CPolyMesh& mesh, float jitter);

}  // namespace mesh
