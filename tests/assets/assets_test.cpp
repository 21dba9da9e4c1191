// The committed terrain tables keep the shape the scene relies on, and the
// asset generator reproduces every committed asset exactly.
#include "scene/terrain_tables.h"

#include "image/png_file.h"
#include "run_tool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace {

double Cross2(const float* a, const float* b, const float* c)
{
    return (double(b[0]) - a[0]) * (double(c[1]) - a[1]) - (double(b[1]) - a[1]) * (double(c[0]) - a[0]);
}

TEST(TerrainTables, BoundsWindingAndTopology)
{
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    int beach = 0;
    for (const auto& p : kTerrainPositions) {
        for (int k = 0; k < 3; ++k)
            lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
        beach += p[2] >= 0 && p[2] <= 3;
    }
    // The extremes meet the bounds the scene's layout is measured against.
    EXPECT_EQ(lo[0], -118.584f);
    EXPECT_EQ(hi[0], 100.0f);
    EXPECT_EQ(lo[1], -113.907f);
    EXPECT_EQ(hi[1], 100.0f);
    EXPECT_EQ(lo[2], -19.701f);
    EXPECT_EQ(hi[2], 87.465f);
    EXPECT_GT(beach, 40) << "a beach: a band of ground just above the water line";

    for (const auto& uv : kTerrainTexCoords)
        for (float v : uv) {
            EXPECT_GE(v, 0.02f);
            EXPECT_LE(v, 0.98f);
        }

    EXPECT_EQ(kTerrainPositionTriangles[0][0], 6);
    EXPECT_EQ(kTerrainPositionTriangles[0][1], 61);
    EXPECT_EQ(kTerrainPositionTriangles[0][2], 36);

    // Counter-clockwise seen from +Z: the scene swaps Y and Z and reverses
    // the corners, which keeps the top facing up in its y-up world. Every
    // directed edge appears once (a consistently wound surface), all entries
    // are used, and the seams duplicate texture coordinates but no triangle
    // shares one across a seam it does not share in positions.
    std::set<std::pair<int, int>> edges;
    std::set<int> used_pos, used_uv;
    std::map<int, int> position_of_uv;
    for (int t = 0; t < kTerrainTriangleCount; ++t) {
        const auto& a = kTerrainPositionTriangles[t];
        const auto& b = kTerrainTexTriangles[t];
        ASSERT_GT(Cross2(kTerrainPositions[a[0]], kTerrainPositions[a[1]], kTerrainPositions[a[2]]), 0) << t;
        ASSERT_GT(Cross2(kTerrainTexCoords[b[0]], kTerrainTexCoords[b[1]], kTerrainTexCoords[b[2]]), 0) << t;
        for (int k = 0; k < 3; ++k) {
            ASSERT_LT(a[k], kTerrainPositionCount);
            ASSERT_LT(b[k], kTerrainTexCoordCount);
            EXPECT_TRUE(edges.insert({a[k], a[(k + 1) % 3]}).second) << "edge repeated in triangle " << t;
            used_pos.insert(a[k]);
            used_uv.insert(b[k]);
            const auto [it, fresh] = position_of_uv.insert({b[k], a[k]});
            EXPECT_EQ(it->second, a[k]) << "texture coordinate " << b[k] << " on two positions";
        }
    }
    EXPECT_EQ(used_pos.size(), size_t(kTerrainPositionCount));
    EXPECT_EQ(used_uv.size(), size_t(kTerrainTexCoordCount));
    int boundary = 0;
    for (const auto& [a, b] : edges)
        boundary += !edges.count({b, a});
    EXPECT_EQ(boundary, 128) << "one patch without holes: V - E + F = 1";
}

// The generator run into a scratch directory writes the committed tables
// byte for byte and the committed textures pixel for pixel (to rounding); the sea floor's
// lightmap texel is sand.
TEST(AssetGenerator, ReproducesCommittedAssets)
{
    namespace fs = std::filesystem;
    const fs::path source(NERELLE_SOURCE_DIR);
    const fs::path scratch = fs::path(NERELLE_BINARY_DIR) / "tests" / "assets" / "scratch";
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const std::string tool = std::string(NERELLE_BINARY_DIR) + "/tools/assets/nerelle-assets";
    const testsupport::ToolRun run = testsupport::RunTool(
        tool, "--textures '" + scratch.string() + "' --tables '" + (scratch / "tables.cpp").string() + "'", scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testsupport::ReadFileText(scratch / "tables.cpp"),
              testsupport::ReadFileText(source / "src/scene/terrain_tables.cpp"));

    const struct {
        const char* name;
        int alpha;
    } files[] = {{"lightmap.png", 0}, {"clouds.png", 0}, {"sub.png", 0}, {"gui_bk_alpha.png", 1}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        BitmapPtr made(ReadPNG((scratch / f.name).string().c_str()));
        BitmapPtr committed(ReadPNG((source / "data/textures" / f.name).string().c_str()));
        ASSERT_TRUE(made && committed);
        ASSERT_EQ(made->width, committed->width);
        ASSERT_EQ(made->height, committed->height);
        EXPECT_EQ(made->has_alpha, f.alpha);
        // Within 2 per channel: a different maths library may round a few
        // values the other way; a stale committed file differs far more.
        size_t off = 0;
        for (size_t i = 0; i < size_t(made->width) * made->height; ++i)
            for (int shift = 0; shift < 32; shift += 8)
                off += std::abs(int(made->pixels[i] >> shift & 255) - int(committed->pixels[i] >> shift & 255)) > 2;
        EXPECT_EQ(off, 0u);
        if (f.alpha)  // the panel: soft border, translucent middle
        {
            EXPECT_EQ(made->Row(0)[0] >> 24, 0u);
            const uint32_t mid = made->Row(made->height / 2)[made->width / 2] >> 24;
            EXPECT_GT(mid, 100u);
            EXPECT_LT(mid, 240u);
            EXPECT_NEAR(double(made->width) / made->height, 3.0, 0.2);
        }
    }
    BitmapPtr lightmap(ReadPNG((scratch / "lightmap.png").string().c_str()));
    ASSERT_TRUE(lightmap);
    const uint32_t sand = lightmap->Row(int(0.82 * lightmap->height))[int(0.82 * lightmap->width)];
    const int r = sand & 255, g = sand >> 8 & 255, b = sand >> 16 & 255;
    EXPECT_TRUE(r > g && g > b && r > 140 && r < 240 && b < r - 30) << r << " " << g << " " << b;

    EXPECT_EQ(testsupport::RunTool(tool, "--bogus", scratch).status, 2);
    fs::remove_all(scratch);
}

}  // namespace
