// The committed terrain tables keep the shape the scene relies on, the
// lightmap's coarse mip levels keep each chart to its own colours, and the
// asset generator reproduces every committed asset exactly.
#include "scene/terrain_tables.h"

#include "image/png_file.h"
#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

// A write that fails part way (a file-size limit standing in for a full
// disk) says what and why, and leaves neither a truncated file under the
// final name (a cut source file would break the build) nor a temporary one.
TEST(AssetGenerator, AFailedWriteLeavesNoPartialFileAndSaysWhy)
{
    namespace fs = std::filesystem;
    testsupport::ScratchDir scratch("assets");
    const std::string tool = std::string(NERELLE_BINARY_DIR) + "/tools/assets/nerelle-assets";
    const std::string limited = testsupport::UnderFileSizeLimit(tool, 32 * 1024);
    const fs::path tables = scratch / "tables.cpp", lightmap = scratch / "lightmap.png";
    const struct {
        std::string command, arguments;
        fs::path file;
        std::string cause;
    } cases[] = {
        {limited, "--tables '" + tables.string() + "'", tables, "File too large"},
        {limited, "--textures '" + scratch.Path().string() + "'", lightmap, "File too large"},
        {tool, "--tables '" + (scratch / "no/such/tables.cpp").string() + "'", scratch / "no/such/tables.cpp",
         "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const testsupport::ToolRun run = testsupport::RunTool(c.command, c.arguments, scratch.Path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "error: cannot write " + c.file.string() + ": " + c.cause + "\n");
        EXPECT_FALSE(fs::exists(c.file));
        EXPECT_FALSE(fs::exists(c.file.string() + ".part"));
    }
}

// The lightmap as the scene samples it from afar. The GPU builds each mip
// level by averaging 2 x 2 texels of the one below, and a sample blends the
// four level texels around it; near a chart's border these reach past its
// triangles into the gutter and beyond.
class LightmapMips {
public:
    using Colour = std::array<float, 3>;

    explicit LightmapMips(const TBitmap& image) : m_size(image.width)
    {
        std::vector<Colour> level(size_t(m_size) * size_t(m_size));
        for (int y = 0; y < m_size; ++y)
            for (int x = 0; x < m_size; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    level[size_t(y) * size_t(m_size) + size_t(x)][ch] = float(image.Row(y)[x] >> (8 * ch) & 255);
        m_levels.push_back(std::move(level));
        for (int n = m_size / 2; n >= 1; n /= 2) {
            const std::vector<Colour>& fine = m_levels.back();
            std::vector<Colour> coarse(size_t(n) * size_t(n));
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    for (int ch = 0; ch < 3; ++ch) {
                        float sum = 0;
                        for (int k = 0; k < 4; ++k)
                            sum += fine[size_t(2 * y + k / 2) * size_t(2 * n) + size_t(2 * x + k % 2)][ch];
                        coarse[size_t(y) * size_t(n) + size_t(x)][ch] = sum / 4;
                    }
            m_levels.push_back(std::move(coarse));
        }
    }

    // A bilinear sample of `level` at (x, y), in texels of level 0 with rows
    // from the top, and the range of the level-0 texels it is made of that
    // `owner` gives to `chart`.
    struct Sample {
        Colour seen{}, low{}, high{};
        bool has_own = false;
    };
    Sample At(int level, double x, double y, const std::vector<int>& owner, int chart) const
    {
        const int span = 1 << level, n = m_size >> level;
        const double fx = x / span - 0.5, fy = y / span - 0.5;
        const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
        Sample s;
        s.low.fill(1e9f);
        s.high.fill(-1e9f);
        for (int k = 0; k < 4; ++k) {
            const int tx = std::clamp(x0 + k % 2, 0, n - 1), ty = std::clamp(y0 + k / 2, 0, n - 1);
            const double w = (k % 2 ? fx - x0 : 1 - (fx - x0)) * (k / 2 ? fy - y0 : 1 - (fy - y0));
            for (int ch = 0; ch < 3; ++ch)
                s.seen[ch] += float(w) * m_levels[size_t(level)][size_t(ty) * size_t(n) + size_t(tx)][ch];
            if (w <= 0)
                continue;
            for (int by = ty * span; by < (ty + 1) * span; ++by)
                for (int bx = tx * span; bx < (tx + 1) * span; ++bx) {
                    const size_t i = size_t(by) * size_t(m_size) + size_t(bx);
                    if (owner[i] != chart)
                        continue;
                    s.has_own = true;
                    for (int ch = 0; ch < 3; ++ch) {
                        s.low[ch] = std::min(s.low[ch], m_levels[0][i][ch]);
                        s.high[ch] = std::max(s.high[ch], m_levels[0][i][ch]);
                    }
                }
        }
        return s;
    }

private:
    int m_size;
    std::vector<std::vector<Colour>> m_levels;
};

// Chart of each texture triangle: the tables give a chart its own texture
// coordinates, so charts are the groups of triangles sharing them.
std::vector<int> ChartOfTriangles()
{
    std::vector<int> parent(kTerrainTexCoordCount);
    for (int i = 0; i < kTerrainTexCoordCount; ++i)
        parent[size_t(i)] = i;
    auto root = [&](int i) {
        while (parent[size_t(i)] != i)
            i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
        return i;
    };
    for (const auto& t : kTerrainTexTriangles)
        for (int k = 1; k < 3; ++k)
            parent[size_t(root(t[k]))] = root(t[0]);
    std::vector<int> chart;
    for (const auto& t : kTerrainTexTriangles)
        chart.push_back(root(t[0]));
    return chart;
}

// Atlas position of a texture coordinate, in texels with rows from the top
// (the scene passes 1 - t, and image row 0 is uploaded at t = 0).
std::array<double, 2> AtlasPoint(int index, int size)
{
    return {double(kTerrainTexCoords[index][0]) * size, (1 - double(kTerrainTexCoords[index][1])) * size};
}

// The chart whose triangles hold each level-0 texel's centre, -1 for none.
std::vector<int> TexelOwners(const std::vector<int>& chart, int size)
{
    std::vector<int> owner(size_t(size) * size_t(size), -1);
    for (int t = 0; t < kTerrainTriangleCount; ++t) {
        std::array<double, 2> c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = AtlasPoint(kTerrainTexTriangles[t][k], size);
        const double area = (c[1][0] - c[0][0]) * (c[2][1] - c[0][1]) - (c[1][1] - c[0][1]) * (c[2][0] - c[0][0]);
        const int x0 = int(std::min({c[0][0], c[1][0], c[2][0]})), x1 = int(std::max({c[0][0], c[1][0], c[2][0]}));
        const int y0 = int(std::min({c[0][1], c[1][1], c[2][1]})), y1 = int(std::max({c[0][1], c[1][1], c[2][1]}));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                bool inside = true;
                for (int k = 0; k < 3; ++k) {
                    const auto &a = c[k], &b = c[(k + 1) % 3];
                    const double e = (b[0] - a[0]) * (y + 0.5 - a[1]) - (b[1] - a[1]) * (x + 0.5 - a[0]);
                    inside &= e * area >= 0;
                }
                if (inside)
                    owner[size_t(y) * size_t(size) + size_t(x)] = chart[size_t(t)];
            }
    }
    return owner;
}

// Down to mip level 3 (the island seen from high above) a sample inside a
// chart blends only that chart's colours: whatever its gutter holds, the
// result stays within the range of the chart's own texels it covers. Sand
// from the atlas's background or a chart packed alongside falls outside it
// and shows as a grid of lines along the chart borders.
TEST(Lightmap, CoarseMipSamplesInsideAChartBlendOnlyItsOwnColours)
{
    BitmapPtr image(ReadPNG((std::string(NERELLE_SOURCE_DIR) + "/data/textures/lightmap.png").c_str()));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, image->height);
    const int size = image->width;
    const LightmapMips mips(*image);
    const std::vector<int> chart = ChartOfTriangles();
    const std::vector<int> owner = TexelOwners(chart, size);

    for (int level : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "mip level " << level);
        int points = 0, off = 0;
        float worst = 0;
        std::array<double, 2> worst_at{};
        for (int t = 0; t < kTerrainTriangleCount; ++t) {
            std::array<double, 2> c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = AtlasPoint(kTerrainTexTriangles[t][k], size);
            const double cx = (c[0][0] + c[1][0] + c[2][0]) / 3, cy = (c[0][1] + c[1][1] + c[2][1]) / 3;
            // Near each corner and the middle of each edge, a little inside.
            for (int k = 0; k < 6; ++k) {
                const auto &a = c[k % 3], &b = c[k < 3 ? k : (k + 1) % 3];
                const double px = 0.9 * (a[0] + b[0]) / 2 + 0.1 * cx, py = 0.9 * (a[1] + b[1]) / 2 + 0.1 * cy;
                const LightmapMips::Sample s = mips.At(level, px, py, owner, chart[size_t(t)]);
                if (!s.has_own)
                    continue;
                ++points;
                float beyond = 0;
                for (int ch = 0; ch < 3; ++ch)
                    beyond = std::max({beyond, s.low[ch] - s.seen[ch], s.seen[ch] - s.high[ch]});
                off += beyond > 6;  // rounding of the mip levels and of the grown colours
                if (beyond > worst)
                    worst = beyond, worst_at = {px, py};
            }
        }
        EXPECT_GT(points, 6 * kTerrainTriangleCount * 9 / 10);
        EXPECT_EQ(off, 0) << "of " << points << " samples; worst " << worst << " beyond the chart's range at texel ("
                          << worst_at[0] << ", " << worst_at[1] << ")";
    }
}

}  // namespace
