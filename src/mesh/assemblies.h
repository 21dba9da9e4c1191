// The solid assemblies of the scene objects that are built from this library
// alone: the positioning buoy (ball on a stalk) and the submersible (capsule
// hull, ducted stern with fins, sail with mast, bow planes). The scene
// objects call these and then export the result; tests and benchmarks use
// them to exercise whole pipelines.
#pragma once

#include "mesh/poly_mesh.h"

namespace mesh {

// Icosphere ball with a box stalk below it, spherical texture coordinates,
// triangulated and welded (normals and texture coordinates compared):
// ready for ExportArrays(with normals, without colour).
bool BuildBuoyMesh(CPolyMesh& mesh);

// The submersible assembled from its primitives, with cylindrical texture
// coordinates from the box of hull and duct, then turned so that the hull
// axis is z and the sail points to -y. Planes are not computed yet.
bool AssembleSubmersible(CPolyMesh& mesh);

// AssembleSubmersible, then planes, interior polygon removal (jitter 0.1),
// Triangulate and Weld: ready for ExportArrays(with normals, without colour).
bool BuildSubmersibleMesh(CPolyMesh& mesh);

}  // namespace mesh
