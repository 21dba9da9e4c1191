// The terrain asset: the embedded terrain tables and their lightmap.
//
// The terrain is a heightfield island sampled on a 33 x 33 grid (each cell
// split along its better-fitting diagonal), refined along the shore by
// interior edge splits to exactly the counts the scene's tables hold. Its
// triangles are grouped into small charts, each projected along its mean
// normal and packed into a lightmap atlas with a gutter around it; chart
// seams duplicate texture coordinates. The lightmap bakes sun, cast shadows
// and sky light occluded by the terrain itself; every texel outside the
// charts' triangles holds the colours of the nearest chart grown outwards,
// so the mip levels the scene samples from afar show no background.
//
// Table conventions (those of the scene's tables): positions X, Y, Z with Z
// up; triangles counter-clockwise seen from +Z; texture t measured upwards
// (the scene uses 1 - t, so atlas image row r holds t = 1 - (r + 0.5) / size).
#pragma once

#include "image/bitmap.h"

#include <array>
#include <string>
#include <vector>

namespace assets {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};
struct Vec2 {
    double x = 0, y = 0;
};

inline constexpr int kTerrainPositions = 1195;
inline constexpr int kTerrainTriangles = 2260;
inline constexpr int kTerrainTexCoords = 2515;

// Bounds of the tables, in table units.
inline constexpr double kTerrainXMin = -118.584, kTerrainXMax = 100;
inline constexpr double kTerrainYMin = -113.907, kTerrainYMax = 100;
inline constexpr double kTerrainZMin = -19.701, kTerrainZMax = 87.465;

struct TerrainModel {
    int atlas_size = 0;                             // lightmap width and height in pixels
    std::vector<Vec3> positions;                    // X, Y, Z
    std::vector<std::array<int, 3>> triangles;      // position indices
    std::vector<Vec2> texcoords;                    // s, t
    std::vector<std::array<int, 3>> tex_triangles;  // texture-coordinate indices
    std::vector<int> chart_of;                      // chart of each triangle
    std::vector<std::array<int, 4>> chart_rects;    // x, y, width, height in atlas pixels (rows from the top)
    std::array<int, 4> sand_rect{};                 // the sea floor's plain sand texels, as a chart rect
    double pos_scale = 1, neg_scale = 1;            // height remap to the exact Z bounds
};

// Builds the tables for an atlas of `atlas_size` pixels. False with a reason
// when the counts cannot be met.
bool BuildTerrain(int atlas_size, TerrainModel& model, std::string& error);

// Height of the terrain's smooth surface at (x, y), in table units.
double TerrainSurfaceHeight(const TerrainModel& model, double x, double y);

// Writes the tables as a C++ source defining the arrays of
// scene/terrain_tables.h; false with errno saying why. The caller gives it
// its final name (WriteFileWhole), so a failed write never leaves half a
// source file that would break the build.
bool WriteTerrainTables(const TerrainModel& model, const char* path);

// Bakes the lightmap (RGB, atlas_size square).
BitmapPtr RenderLightmap(const TerrainModel& model);

// Top views for checking by eye, north (+Y) up: heights coloured with the
// shore line drawn, and the baked lightmap as the mesh maps it.
BitmapPtr RenderHeightView(const TerrainModel& model, int size);
BitmapPtr RenderLitView(const TerrainModel& model, const TBitmap& lightmap, int size);

}  // namespace assets
