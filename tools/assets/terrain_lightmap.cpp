// Terrain lightmap baker and the top views. Sections: rasters of the mesh
// (heights, occlusion); surface colour and lighting; the atlas; the views.
//
// Light: the scene's lit shaders light with (-82.657, 62.696, 225.598)
// (scene/lighting.h); the lightmap takes it as a world direction (y up),
// which is (X, Y, Z) = (-82.657, 225.598, 62.696) in the Z-up tables: a low
// sun, 14.6 degrees above the horizon, from the north-north-west (+Y,
// slightly -X).
#include "terrain_model.h"

#include "noise.h"

#include "scene/lighting.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace assets {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r = 0, g = 0, b = 0;
};
Rgb operator*(Rgb a, Rgb b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
Rgb operator*(Rgb a, double s)
{
    return {a.r * s, a.g * s, a.b * s};
}
Rgb operator+(Rgb a, Rgb b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Rgb MixRgb(Rgb a, Rgb b, double t)
{
    return a * (1 - t) + b * t;
}

uint8_t ToByte(double v)
{
    // Linear up to 0.8, then a soft shoulder, so sunlit sand does not clip flat.
    if (v > 0.8)
        v = 0.8 + 0.2 * (1 - std::exp(-(v - 0.8) / 0.2));
    return static_cast<uint8_t>(std::lround(Clamp01(v) * 255));
}
uint32_t Pack(Rgb c)
{
    return PackRGBA(ToByte(c.r), ToByte(c.g), ToByte(c.b), 255);
}

Vec3 LightDirection()
{
    const double x = scene::kLightX, y = scene::kLightZ, z = scene::kLightY;
    const double l = std::sqrt(x * x + y * y + z * z);
    return {x / l, y / l, z / l};
}

const Rgb kSun{1.4, 1.3, 1.15};
const Rgb kSky{0.55, 0.62, 0.72};
const Rgb kSeaSand{0.80, 0.72, 0.52};

// A square raster of values over the table's XY extent; bilinear lookups.
struct Raster {
    int n = 0;
    std::vector<double> v;

    double X(int i) const { return kTerrainXMin + (kTerrainXMax - kTerrainXMin) * i / (n - 1); }
    double Y(int j) const { return kTerrainYMin + (kTerrainYMax - kTerrainYMin) * j / (n - 1); }
    double At(int i, int j) const { return v[static_cast<size_t>(j) * n + i]; }
    bool Inside(double x, double y) const
    {
        return x >= kTerrainXMin && x <= kTerrainXMax && y >= kTerrainYMin && y <= kTerrainYMax;
    }
    double Sample(double x, double y) const
    {
        double fx = (x - kTerrainXMin) / (kTerrainXMax - kTerrainXMin) * (n - 1);
        double fy = (y - kTerrainYMin) / (kTerrainYMax - kTerrainYMin) * (n - 1);
        fx = std::clamp(fx, 0.0, n - 1.0001);
        fy = std::clamp(fy, 0.0, n - 1.0001);
        const int i = static_cast<int>(fx), j = static_cast<int>(fy);
        const double tx = fx - i, ty = fy - j;
        return (At(i, j) * (1 - tx) + At(i + 1, j) * tx) * (1 - ty) +
               (At(i, j + 1) * (1 - tx) + At(i + 1, j + 1) * tx) * ty;
    }
};

// Barycentric coordinates of p in triangle (a, b, c), 2-D.
bool Barycentric(Vec2 p, Vec2 a, Vec2 b, Vec2 c, double w[3])
{
    const double d = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (std::fabs(d) < 1e-12)
        return false;
    w[1] = ((p.x - a.x) * (c.y - a.y) - (p.y - a.y) * (c.x - a.x)) / d;
    w[2] = ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / d;
    w[0] = 1 - w[1] - w[2];
    return true;
}

// The mesh's own heights (what the scene draws), for shadows and occlusion.
Raster MeshHeights(const TerrainModel& m, int n)
{
    Raster r{n, std::vector<double>(static_cast<size_t>(n) * n, kTerrainZMin)};
    for (const auto& t : m.triangles) {
        const Vec3 &a = m.positions[t[0]], &b = m.positions[t[1]], &c = m.positions[t[2]];
        auto col = [&](double x) { return (x - kTerrainXMin) / (kTerrainXMax - kTerrainXMin) * (n - 1); };
        auto row = [&](double y) { return (y - kTerrainYMin) / (kTerrainYMax - kTerrainYMin) * (n - 1); };
        const int i0 = std::max(0, static_cast<int>(std::floor(std::min({col(a.x), col(b.x), col(c.x)}))));
        const int i1 = std::min(n - 1, static_cast<int>(std::ceil(std::max({col(a.x), col(b.x), col(c.x)}))));
        const int j0 = std::max(0, static_cast<int>(std::floor(std::min({row(a.y), row(b.y), row(c.y)}))));
        const int j1 = std::min(n - 1, static_cast<int>(std::ceil(std::max({row(a.y), row(b.y), row(c.y)}))));
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                double w[3];
                if (Barycentric({r.X(i), r.Y(j)}, {a.x, a.y}, {b.x, b.y}, {c.x, c.y}, w) && w[0] >= -1e-9 &&
                    w[1] >= -1e-9 && w[2] >= -1e-9)
                    r.v[static_cast<size_t>(j) * n + i] = w[0] * a.z + w[1] * b.z + w[2] * c.z;
            }
    }
    return r;
}

// Sky visibility from horizon angles in 16 directions (1 = open sky).
Raster SkyVisibility(const Raster& h, int n)
{
    Raster r{n, std::vector<double>(static_cast<size_t>(n) * n, 1)};
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = r.X(i), y = r.Y(j), z0 = h.Sample(x, y);
            double occluded = 0;
            for (int k = 0; k < 16; ++k) {
                const double a = 2 * kPi * (k + 0.5) / 16, dx = std::cos(a), dy = std::sin(a);
                double best = 0;
                for (double d = 1.5; d < 90; d *= 1.2) {
                    const double px = x + dx * d, py = y + dy * d;
                    if (!h.Inside(px, py))
                        break;
                    const double rise = h.Sample(px, py) - z0;
                    if (rise > 0)
                        best = std::max(best, rise / std::sqrt(rise * rise + d * d));
                }
                occluded += best * best;  // cosine-weighted share of the sky below the horizon
            }
            r.v[static_cast<size_t>(j) * n + i] = 1 - occluded / 16;
        }
    return r;
}

// Soft shadow: march towards the light over the mesh heights; the closest
// relative miss gives the penumbra.
double Sunlight(const Raster& h, double hmax, Vec3 p, Vec3 l)
{
    double lit = 1;
    double t = 1.0;
    while (t < 600) {
        const double x = p.x + l.x * t, y = p.y + l.y * t, z = p.z + 0.15 + l.z * t;
        if (!h.Inside(x, y) || z > hmax)
            break;
        const double gap = z - h.Sample(x, y);
        lit = std::min(lit, 10 * gap / t);
        if (lit <= 0)
            return 0;
        t += std::clamp(0.5 * gap, 0.3, 3.0);
    }
    return Clamp01(lit);
}

Vec3 SurfaceNormal(const TerrainModel& m, double x, double y)
{
    const double e = 0.75;
    const double gx = (TerrainSurfaceHeight(m, x + e, y) - TerrainSurfaceHeight(m, x - e, y)) / (2 * e);
    const double gy = (TerrainSurfaceHeight(m, x, y + e) - TerrainSurfaceHeight(m, x, y - e)) / (2 * e);
    const double l = std::sqrt(gx * gx + gy * gy + 1);
    return {-gx / l, -gy / l, 1 / l};
}

// Ground colour: sea-floor sand, wet sand at the water line, a dry beach,
// grass turning to darker scrub higher up, rock on steep slopes and the top.
Rgb Albedo(double x, double y, double z, Vec3 n)
{
    const double fine = Fbm(x / 7, y / 7, 3, 0, 77), broad = Fbm(x / 23, y / 23, 3, 0, 78);
    const Rgb wet{0.64, 0.56, 0.40}, sand{0.88, 0.80, 0.59}, grass{0.38, 0.50, 0.24}, scrub{0.22, 0.35, 0.14},
        rock{0.50, 0.45, 0.38};
    Rgb c = MixRgb(kSeaSand, wet, SmoothStep(-5, -0.3, z));
    c = MixRgb(c, sand, SmoothStep(0.3, 1.6, z));
    const Rgb green = MixRgb(grass, scrub, SmoothStep(18, 42, z + 10 * broad));
    c = MixRgb(c, green, SmoothStep(3.5 + 2 * broad, 7 + 2 * broad, z));
    const double steep = SmoothStep(0.62, 0.45, n.z) * SmoothStep(1, 4, z);
    const double high = SmoothStep(68, 80, z + 6 * fine);
    c = MixRgb(c, rock, std::max(steep, high));
    return c * (1 + 0.08 * fine + 0.05 * broad);
}

struct Baker {
    const TerrainModel& m;
    Raster heights, sky;
    double hmax = 0;
    Vec3 light = LightDirection();

    explicit Baker(const TerrainModel& model)
        : m(model), heights(MeshHeights(model, 768)), sky(SkyVisibility(heights, 256))
    {
        hmax = *std::max_element(heights.v.begin(), heights.v.end());
    }

    Rgb Shade(Vec3 p) const
    {
        const Vec3 n = SurfaceNormal(m, p.x, p.y);
        const double ndl = std::max(0.0, n.x * light.x + n.y * light.y + n.z * light.z);
        const double sun = ndl > 0 ? ndl * Sunlight(heights, hmax, p, light) : 0;
        const double open = sky.Sample(p.x, p.y) * (0.55 + 0.45 * n.z);
        return Albedo(p.x, p.y, p.z, n) * (kSun * sun + kSky * open);
    }
};

// The terrain point a texel centre shows when it lies in one of the chart's
// triangles.
bool ChartPoint(const TerrainModel& m, const std::vector<int>& tris, Vec2 px, Vec3& out)
{
    const double n = m.atlas_size;
    for (int t : tris) {
        Vec2 c[3];
        for (int k = 0; k < 3; ++k) {
            const Vec2 uv = m.texcoords[m.tex_triangles[t][k]];
            c[k] = {uv.x * n, (1 - uv.y) * n};
        }
        double w[3];
        if (!Barycentric(px, c[0], c[1], c[2], w) || std::min({w[0], w[1], w[2]}) < -1e-9)
            continue;
        const Vec3 &a = m.positions[m.triangles[t][0]], &b = m.positions[m.triangles[t][1]],
                   &d = m.positions[m.triangles[t][2]];
        out = {w[0] * a.x + w[1] * b.x + w[2] * d.x, w[0] * a.y + w[1] * b.y + w[2] * d.y,
               w[0] * a.z + w[1] * b.z + w[2] * d.z};
        return true;
    }
    return false;
}

// The chart each atlas texel belongs to: the one whose rectangle is
// nearest, -1 in the sea floor's sand swatch. Coarse mip levels blend a
// chart's border with texels past its gutter, so no texel may keep a
// background colour there.
std::vector<int> ChartRegions(const TerrainModel& m)
{
    const int n = m.atlas_size;
    std::vector<int> region(static_cast<size_t>(n) * n, -1);
    auto distance = [](const std::array<int, 4>& r, int x, int y) {
        const int dx = std::max({r[0] - x, 0, x - (r[0] + r[2] - 1)});
        const int dy = std::max({r[1] - y, 0, y - (r[1] + r[3] - 1)});
        return dx * dx + dy * dy;
    };
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            if (distance(m.sand_rect, x, y) == 0)
                continue;
            int best = std::numeric_limits<int>::max();
            for (size_t c = 0; c < m.chart_rects.size() && best > 0; ++c) {
                const int d = distance(m.chart_rects[c], x, y);
                if (d < best) {
                    best = d;
                    region[static_cast<size_t>(y) * n + x] = static_cast<int>(c);
                }
            }
        }
    return region;
}

// Grows each chart's colours outwards through its region a ring at a time:
// a texel beside coloured texels of its own chart takes their mean. Unlike
// shading the ground past the border, this adds no colour the chart lacks.
void Dilate(TBitmap& bmp, const std::vector<int>& region, std::vector<char>& coloured)
{
    const int n = bmp.width;
    // Calls f(index) for each of the eight neighbours of texel i in its chart.
    auto neighbours = [&](size_t i, auto f) {
        const int x = static_cast<int>(i % n), y = static_cast<int>(i / n);
        for (int k = 0; k < 9; ++k) {
            const int nx = x + k % 3 - 1, ny = y + k / 3 - 1;
            const size_t j = static_cast<size_t>(ny) * n + nx;
            if (k != 4 && nx >= 0 && ny >= 0 && nx < n && ny < n && region[j] == region[i])
                f(j);
        }
    };
    std::vector<size_t> ring;
    for (size_t i = 0; i < region.size(); ++i)
        if (!coloured[i] && region[i] >= 0) {
            bool beside = false;
            neighbours(i, [&](size_t j) { beside |= coloured[j] != 0; });
            if (beside)
                ring.push_back(i);
        }
    while (!ring.empty()) {
        std::vector<uint32_t> colour;
        for (size_t i : ring) {
            uint32_t sum[3] = {0, 0, 0}, count = 0;
            neighbours(i, [&](size_t j) {
                if (!coloured[j])
                    return;
                for (int ch = 0; ch < 3; ++ch)
                    sum[ch] += bmp.pixels[j] >> (8 * ch) & 255;
                ++count;
            });
            auto mean = [&](int ch) { return static_cast<uint8_t>((sum[ch] + count / 2) / count); };
            colour.push_back(PackRGBA(mean(0), mean(1), mean(2), 255));
        }
        for (size_t r = 0; r < ring.size(); ++r) {
            bmp.pixels[ring[r]] = colour[r];
            coloured[ring[r]] = 1;
        }
        std::vector<size_t> next;
        for (size_t i : ring)
            neighbours(i, [&](size_t j) {
                if (!coloured[j]) {
                    coloured[j] = 2;  // queued for the next ring, not yet a source
                    next.push_back(j);
                }
            });
        for (size_t j : next)
            coloured[j] = 0;
        ring.swap(next);
    }
}

}  // namespace

BitmapPtr RenderLightmap(const TerrainModel& m)
{
    const int n = m.atlas_size;
    BitmapPtr bmp(TBitmap::Create(n, n, false, false, 8));
    if (!bmp)
        return nullptr;
    Baker baker(m);
    // Open flat sea floor, lit by the sun and the whole sky: the swatch the
    // scene's sea floor samples.
    const Rgb floor = kSeaSand * (kSun * baker.light.z + kSky);
    std::fill(bmp->pixels, bmp->pixels + static_cast<size_t>(n) * n, Pack(floor));
    std::vector<std::vector<int>> tris(m.chart_rects.size());
    for (size_t t = 0; t < m.triangles.size(); ++t)
        tris[m.chart_of[t]].push_back(static_cast<int>(t));
    const std::vector<int> region = ChartRegions(m);
    std::vector<char> coloured(region.size(), 0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const size_t i = static_cast<size_t>(y) * n + x;
            Vec3 p;
            if (region[i] >= 0 && ChartPoint(m, tris[region[i]], {x + 0.5, y + 0.5}, p)) {
                bmp->pixels[i] = Pack(baker.Shade(p));
                coloured[i] = 1;
            }
        }
    Dilate(*bmp, region, coloured);
    return bmp;
}

BitmapPtr RenderHeightView(const TerrainModel& m, int size)
{
    BitmapPtr bmp(TBitmap::Create(size, size, false, false, 8));
    if (!bmp)
        return nullptr;
    const Raster h = MeshHeights(m, size);
    const double cell = (kTerrainXMax - kTerrainXMin) / (size - 1);
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            const int j = size - 1 - py;  // north up
            const double z = h.At(px, j);
            Rgb c;
            if (z < 0)
                c = MixRgb(Rgb{0.35, 0.65, 0.85}, Rgb{0.05, 0.18, 0.45}, Clamp01(-z / 20));
            else if (z < 3)
                c = {0.90, 0.82, 0.58};
            else if (z < 45)
                c = MixRgb(Rgb{0.30, 0.60, 0.25}, Rgb{0.45, 0.40, 0.25}, (z - 3) / 42);
            else
                c = MixRgb(Rgb{0.45, 0.40, 0.25}, Rgb{0.95, 0.95, 0.95}, Clamp01((z - 45) / 42));
            // Hill shading from the north-west, contours every 10 units, the water line in black.
            const int i0 = std::max(px - 1, 0), i1 = std::min(px + 1, size - 1);
            const int j0 = std::max(j - 1, 0), j1 = std::min(j + 1, size - 1);
            const double gx = (h.At(i1, j) - h.At(i0, j)) / ((i1 - i0) * cell);
            const double gy = (h.At(px, j1) - h.At(px, j0)) / ((j1 - j0) * cell);
            const double shade =
                std::clamp(0.75 + 0.5 * (gx * 0.7 - gy * 0.7) / std::sqrt(1 + gx * gx + gy * gy), 0.3, 1.2);
            c = c * shade;
            auto crosses = [&](double level) {
                return (h.At(i0, j) - level) * (h.At(i1, j) - level) < 0 ||
                       (h.At(px, j0) - level) * (h.At(px, j1) - level) < 0;
            };
            if (crosses(0))
                c = {0, 0, 0};
            else
                for (double level = -10; level < 90; level += 10)
                    if (level != 0 && crosses(level))
                        c = c * 0.6;
            bmp->Row(py)[px] = Pack(c);
        }
    return bmp;
}

BitmapPtr RenderLitView(const TerrainModel& m, const TBitmap& lightmap, int size)
{
    BitmapPtr bmp(TBitmap::Create(size, size, false, false, 8));
    if (!bmp)
        return nullptr;
    std::fill(bmp->pixels, bmp->pixels + static_cast<size_t>(size) * size, PackRGBA(255, 0, 255, 255));
    auto texel = [&](double sx, double sy, int ch) {
        sx = std::clamp(sx, 0.0, lightmap.width - 1.0001);
        sy = std::clamp(sy, 0.0, lightmap.height - 1.0001);
        const int i = static_cast<int>(sx), j = static_cast<int>(sy);
        const double tx = sx - i, ty = sy - j;
        auto at = [&](int a, int b) { return double((lightmap.Row(b)[a] >> (8 * ch)) & 255); };
        return (at(i, j) * (1 - tx) + at(i + 1, j) * tx) * (1 - ty) +
               (at(i, j + 1) * (1 - tx) + at(i + 1, j + 1) * tx) * ty;
    };
    for (size_t t = 0; t < m.triangles.size(); ++t) {
        Vec2 p[3], uv[3];
        for (int k = 0; k < 3; ++k) {
            const Vec3& q = m.positions[m.triangles[t][k]];
            p[k] = {(q.x - kTerrainXMin) / (kTerrainXMax - kTerrainXMin) * size,
                    (kTerrainYMax - q.y) / (kTerrainYMax - kTerrainYMin) * size};
            uv[k] = m.texcoords[m.tex_triangles[t][k]];
        }
        const int x0 = std::max(0, static_cast<int>(std::min({p[0].x, p[1].x, p[2].x})));
        const int x1 = std::min(size - 1, static_cast<int>(std::max({p[0].x, p[1].x, p[2].x})) + 1);
        const int y0 = std::max(0, static_cast<int>(std::min({p[0].y, p[1].y, p[2].y})));
        const int y1 = std::min(size - 1, static_cast<int>(std::max({p[0].y, p[1].y, p[2].y})) + 1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                double w[3];
                if (!Barycentric({x + 0.5, y + 0.5}, p[0], p[1], p[2], w) || std::min({w[0], w[1], w[2]}) < -1e-9)
                    continue;
                const double s = w[0] * uv[0].x + w[1] * uv[1].x + w[2] * uv[2].x;
                const double tt = w[0] * uv[0].y + w[1] * uv[1].y + w[2] * uv[2].y;
                const double sx = s * lightmap.width - 0.5, sy = (1 - tt) * lightmap.height - 0.5;
                bmp->Row(y)[x] = PackRGBA(static_cast<uint8_t>(std::lround(texel(sx, sy, 0))),
                                          static_cast<uint8_t>(std::lround(texel(sx, sy, 1))),
                                          static_cast<uint8_t>(std::lround(texel(sx, sy, 2))), 255);
            }
    }
    return bmp;
}

}  // namespace assets
