// The embedded terrain model: four constant tables that `CTerrain` turns
// into its mesh at start-up.
//
// The tables are generated (tools/assets) together with the terrain's
// lightmap, so the two always match. Z is the up axis here; each triangle
// has separate position and texture-coordinate indices, and texture
// triangle k belongs to position triangle k.
#pragma once

#include <cstdint>

inline constexpr int kTerrainPositionCount = 1195;
inline constexpr int kTerrainTriangleCount = 2260;
inline constexpr int kTerrainTexCoordCount = 2515;

extern const float kTerrainPositions[kTerrainPositionCount][3];             // X, Y, Z (Z up)
extern const uint16_t kTerrainPositionTriangles[kTerrainTriangleCount][3];  // indices into positions
extern const float kTerrainTexCoords[kTerrainTexCoordCount][2];             // s, t in [0.02, 0.98]
extern const uint16_t kTerrainTexTriangles[kTerrainTriangleCount][3];       // indices into texture coordinates
