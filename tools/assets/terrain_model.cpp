// Terrain asset. Sections, in order: the heightfield; the grid mesh and its
// shore refinement; vertex order; charts and the atlas; the table writer;
// the lightmap baker; the top views.
#include "terrain_model.h"

#include "noise.h"

#include "core/regular_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

namespace assets {
namespace {

constexpr int kGrid = 33;  // grid vertices per side
constexpr int kCells = kGrid - 1;
// Gutter of each chart in atlas pixels, and the grid its rectangle sits on.
// A texel of mip level 3 is the mean of an aligned 8 x 8 block: with
// rectangles on that grid and 8 texels of gutter, such a texel and its
// bilinear neighbours never reach past the chart's own rectangle, so the
// island seen from afar shows no foreign colour along the chart borders.
constexpr int kPad = 8;
constexpr double kPi = 3.14159265358979323846;

Vec3 operator+(Vec3 a, Vec3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, double s)
{
    return {a.x * s, a.y * s, a.z * s};
}
double Dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 Normalize(Vec3 a)
{
    const double l = std::sqrt(Dot(a, a));
    return l > 0 ? a * (1 / l) : Vec3{0, 0, 1};
}
double Quantize(double v, double step)
{
    return std::round(v / step) * step;
}

// ---------------------------------------------------------------- heightfield

// Island centre, summit and a lower north-western hill, table units. The
// island is wide and low with a steep volcanic summit in its south-east, so
// the summit's long shadow (the sun is low, from the north-north-west) falls
// mostly on the sea, and the lowlands and beaches north and west stay lit.
constexpr double kIslandX = -10, kIslandY = -5;
constexpr double kSummitX = 16, kSummitY = -24;
constexpr double kHillX = -42, kHillY = 22;

// Height before the remap to the exact bounds: a domain-warped island with a
// concave lowland profile (flat beach), the summit cone and a hill, rolling
// detail on land, a shelf dropping under the sea floor, a soft floor far
// out, and the border of the patch always well under the floor.
double ShapedHeight(double x, double y)
{
    const double wx = x + 16 * Fbm(x / 60, y / 60, 3, 0, 11);
    const double wy = y + 16 * Fbm(x / 60 + 5.2, y / 60 + 1.3, 3, 0, 12);
    const double dx = wx - kIslandX, dy = wy - kIslandY;
    const double r = std::sqrt(dx * dx + dy * dy), th = std::atan2(dy, dx);
    const double radius = 74 + 6 * std::sin(2 * th + 1.3) + 8 * std::sin(3 * th + 0.4) + 3 * std::sin(5 * th + 2.1);
    const double d = r / radius;
    double h = d < 1 ? 26 * std::pow(1 - d, 1.4) : -55 * (d - 1);
    const double land = SmoothStep(1.0, 0.75, d);
    const double sx = x - kSummitX, sy = y - kSummitY, hx = x - kHillX, hy = y - kHillY;
    h += 62 * std::exp(-(sx * sx + sy * sy) / (2 * 25 * 25)) * land;
    h += 22 * std::exp(-(hx * hx + hy * hy) / (2 * 14 * 14)) * land;
    h += 6 * Fbm(x / 40, y / 40, 3, 0, 21) * SmoothStep(-2, 12, h);
    h += 0.6 * Fbm(x / 16, y / 16, 2, 0, 31);
    // Beach: flatten the band around the water line.
    h *= 0.3 + 0.7 * SmoothStep(0, 7, std::fabs(h));
    // Soft floor far out; the patch border sinks whatever the shape.
    h = -20 + 4 * std::log1p(std::exp((h + 20) / 4));
    const double edge = std::min({x - kTerrainXMin, kTerrainXMax - x, y - kTerrainYMin, kTerrainYMax - y});
    const double cap = -21 + 0.9 * edge;
    return std::min(h, cap) - 4 * std::log1p(std::exp(-std::fabs(h - cap) / 4));  // smooth minimum
}

double RemapHeight(const TerrainModel& m, double h)
{
    return h > 0 ? h * m.pos_scale : h * m.neg_scale;
}

// ---------------------------------------------------------------- mesh

struct Mesh {
    std::vector<Vec3> pos;
    std::vector<std::array<int, 3>> tri;
    std::vector<int> cell;  // grid cell each triangle came from
};

void BuildGrid(Mesh& m)
{
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            const double x = kTerrainXMin + (kTerrainXMax - kTerrainXMin) * i / kCells;
            const double y = kTerrainYMin + (kTerrainYMax - kTerrainYMin) * j / kCells;
            m.pos.push_back({x, y, ShapedHeight(x, y)});
        }
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            const int v00 = j * kGrid + i, v10 = v00 + 1, v01 = v00 + kGrid, v11 = v01 + 1;
            const Vec3 c = (m.pos[v00] + m.pos[v11]) * 0.5;
            const double hc = ShapedHeight(c.x, c.y);
            const double err_a = std::fabs((m.pos[v00].z + m.pos[v11].z) * 0.5 - hc);
            const double err_b = std::fabs((m.pos[v10].z + m.pos[v01].z) * 0.5 - hc);
            if (err_a <= err_b) {
                m.tri.push_back({v00, v10, v11});
                m.tri.push_back({v00, v11, v01});
            } else {
                m.tri.push_back({v00, v10, v01});
                m.tri.push_back({v10, v11, v01});
            }
            m.cell.push_back(j * kCells + i);
            m.cell.push_back(j * kCells + i);
        }
}

// Rotates triangle t so that it starts with the directed edge a -> b.
bool RotateToEdge(std::array<int, 3>& t, int a, int b)
{
    for (int k = 0; k < 3; ++k)
        if (t[k] == a && t[(k + 1) % 3] == b) {
            std::rotate(t.begin(), t.begin() + k, t.end());
            return true;
        }
    return false;
}

// Splits `count` interior edges at their midpoints (each split adds one
// vertex and two triangles, the boundary stays), choosing the edges whose
// midpoint the surface misses most, weighted towards the water line. No
// two chosen edges share a triangle.
bool RefineShore(Mesh& m, int count)
{
    std::map<std::pair<int, int>, std::vector<int>> edges;
    for (int t = 0; t < static_cast<int>(m.tri.size()); ++t)
        for (int k = 0; k < 3; ++k) {
            const int a = m.tri[t][k], b = m.tri[t][(k + 1) % 3];
            edges[{std::min(a, b), std::max(a, b)}].push_back(t);
        }
    struct Candidate {
        double score;
        int a, b, t1, t2;
    };
    std::vector<Candidate> cands;
    for (const auto& [key, tris] : edges) {
        if (tris.size() != 2)
            continue;
        const Vec3 mid = (m.pos[key.first] + m.pos[key.second]) * 0.5;
        const double hm = ShapedHeight(mid.x, mid.y);
        const double score = std::fabs(hm - mid.z) * (1 + 4 * std::exp(-(hm / 5) * (hm / 5)));
        cands.push_back({score, key.first, key.second, tris[0], tris[1]});
    }
    std::stable_sort(cands.begin(), cands.end(),
                     [](const Candidate& p, const Candidate& q) { return p.score > q.score; });
    std::vector<char> used(m.tri.size(), 0);
    int done = 0;
    for (const Candidate& c : cands) {
        if (done == count)
            break;
        if (used[c.t1] || used[c.t2])
            continue;
        used[c.t1] = used[c.t2] = 1;
        int t1 = c.t1, t2 = c.t2, a = c.a, b = c.b;
        if (!RotateToEdge(m.tri[t1], a, b)) {  // t1 runs b -> a: name the ends after t1's direction
            std::swap(a, b);
            RotateToEdge(m.tri[t1], a, b);
        }
        RotateToEdge(m.tri[t2], b, a);
        const int cv = m.tri[t1][2], dv = m.tri[t2][2];
        const Vec3 mid = (m.pos[a] + m.pos[b]) * 0.5;
        const int mv = static_cast<int>(m.pos.size());
        m.pos.push_back({mid.x, mid.y, ShapedHeight(mid.x, mid.y)});
        m.tri[t1] = {a, mv, cv};
        m.tri[t2] = {b, mv, dv};
        m.tri.push_back({mv, b, cv});
        m.cell.push_back(m.cell[t1]);
        m.tri.push_back({mv, a, dv});
        m.cell.push_back(m.cell[t2]);
        ++done;
    }
    return done == count;
}

// Renumbers vertices and reorders triangles so that triangle 0 is
// (6, 61, 36), the first triangle of the scene's tables.
void PlaceFirstTriangle(Mesh& m)
{
    const int want[3] = {6, 61, 36};
    int t0 = 0;
    for (int t = 0; t < static_cast<int>(m.tri.size()); ++t)
        if (std::find(m.tri[t].begin(), m.tri[t].end(), want[0]) != m.tri[t].end()) {
            t0 = t;
            break;
        }
    std::array<int, 3> first = m.tri[t0];
    while (first[0] != want[0])
        std::rotate(first.begin(), first.begin() + 1, first.end());
    std::vector<int> order(m.pos.size());  // order[new] = old
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    for (int k = 1; k < 3; ++k) {
        const int at = static_cast<int>(std::find(order.begin(), order.end(), first[k]) - order.begin());
        std::swap(order[at], order[want[k]]);
    }
    std::vector<int> renumber(m.pos.size());
    std::vector<Vec3> pos(m.pos.size());
    for (size_t n = 0; n < order.size(); ++n) {
        renumber[order[n]] = static_cast<int>(n);
        pos[n] = m.pos[order[n]];
    }
    m.pos = pos;
    for (auto& t : m.tri)
        for (int& v : t)
            v = renumber[v];
    std::swap(m.tri[0], m.tri[t0]);
    std::swap(m.cell[0], m.cell[t0]);
    while (m.tri[0][0] != want[0])
        std::rotate(m.tri[0].begin(), m.tri[0].begin() + 1, m.tri[0].end());
}

// ---------------------------------------------------------------- charts

// Number of texture coordinates a chart assignment needs: one per
// (vertex, chart) pair.
struct Incidence {
    std::vector<std::vector<std::pair<int, int>>> of_vertex;  // (chart, triangle count) per vertex
    int total = 0;

    Incidence(const Mesh& m, const std::vector<int>& chart) : of_vertex(m.pos.size())
    {
        for (size_t t = 0; t < m.tri.size(); ++t)
            for (int v : m.tri[t])
                Add(v, chart[t], 1);
    }
    int Count(int v, int c) const
    {
        for (auto [cc, n] : of_vertex[v])
            if (cc == c)
                return n;
        return 0;
    }
    void Add(int v, int c, int d)
    {
        auto& list = of_vertex[v];
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].first == c) {
                list[i].second += d;
                if (list[i].second == 0) {
                    list.erase(list.begin() + static_cast<long>(i));
                    --total;
                }
                return;
            }
        list.push_back({c, d});
        ++total;
    }
};

std::vector<int> BlockCharts(const Mesh& m, int cuts_x, int cuts_y)
{
    auto block = [](int i, int cuts) {
        int b = 0;
        for (int k = 0; k < cuts; ++k)
            if (i >= static_cast<int>(std::lround((k + 1) * double(kCells) / (cuts + 1))))
                ++b;
        return b;
    };
    std::vector<int> chart(m.tri.size());
    for (size_t t = 0; t < m.tri.size(); ++t) {
        const int i = m.cell[t] % kCells, j = m.cell[t] / kCells;
        chart[t] = block(j, cuts_y) * (cuts_x + 1) + block(i, cuts_x);
    }
    return chart;
}

// True when the chart's `members` other than `skip` are edge-connected.
bool ConnectedWithout(const std::vector<int>& chart, const std::vector<std::array<int, 3>>& nbr,
                      const std::vector<int>& members, int skip)
{
    std::vector<int> seen, stack;
    for (int t : members)
        if (t != skip) {
            stack.push_back(t);
            seen.push_back(t);
            break;
        }
    if (stack.empty())
        return false;
    while (!stack.empty()) {
        const int t = stack.back();
        stack.pop_back();
        for (int u : nbr[t])
            if (u >= 0 && u != skip && chart[u] == chart[t] && std::find(seen.begin(), seen.end(), u) == seen.end()) {
                seen.push_back(u);
                stack.push_back(u);
            }
    }
    return seen.size() + 1 == members.size();
}

// Charts from a block partition of the grid cells, then single triangles
// moved across chart borders, each move adding one texture coordinate, until
// the count is exact.
bool AssignCharts(const Mesh& m, int target, std::vector<int>& chart, std::string& error)
{
    int best = -1, best_cx = 0, best_cy = 0;
    for (int cx = 4; cx < kCells; ++cx)
        for (int cy = cx; cy <= cx + 1 && cy < kCells; ++cy) {
            const int n = Incidence(m, BlockCharts(m, cx, cy)).total;
            if (n <= target && n > best)
                best = n, best_cx = cx, best_cy = cy;
        }
    if (best < 0) {
        error = "no chart partition fits the texture-coordinate count";
        return false;
    }
    chart = BlockCharts(m, best_cx, best_cy);
    const int tris = static_cast<int>(m.tri.size());
    std::map<std::pair<int, int>, int> edge_owner;
    std::vector<std::array<int, 3>> nbr(tris, {-1, -1, -1});
    for (int t = 0; t < tris; ++t)
        for (int k = 0; k < 3; ++k) {
            const int a = m.tri[t][k], b = m.tri[t][(k + 1) % 3];
            auto it = edge_owner.find({b, a});
            if (it != edge_owner.end()) {
                nbr[t][k] = it->second;
                const auto& o = m.tri[it->second];
                for (int q = 0; q < 3; ++q)
                    if (o[q] == b && o[(q + 1) % 3] == a)
                        nbr[it->second][q] = t;
            } else {
                edge_owner[{a, b}] = t;
            }
        }
    int charts = 0;
    for (int c : chart)
        charts = std::max(charts, c + 1);
    std::vector<std::vector<int>> members(charts);
    for (int t = 0; t < tris; ++t)
        members[chart[t]].push_back(t);
    Incidence inc(m, chart);
    int cursor = 0;
    while (inc.total < target) {
        bool moved = false;
        for (int step = 0; step < tris && !moved; ++step) {
            const int t = (cursor + step * 37) % tris;
            const int from = chart[t];
            if (members[from].size() < 4)
                continue;
            for (int k = 0; k < 3 && !moved; ++k) {
                const int u = nbr[t][k];
                if (u < 0 || chart[u] == from)
                    continue;
                const int to = chart[u];
                int delta = 0;
                for (int v : m.tri[t])
                    delta += (inc.Count(v, to) == 0) - (inc.Count(v, from) == 1);
                if (delta != 1 || !ConnectedWithout(chart, nbr, members[from], t))
                    continue;
                for (int v : m.tri[t]) {
                    inc.Add(v, from, -1);
                    inc.Add(v, to, 1);
                }
                chart[t] = to;
                members[from].erase(std::find(members[from].begin(), members[from].end(), t));
                members[to].push_back(t);
                cursor = (cursor + step * 37 + 101) % tris;
                moved = true;
            }
        }
        if (!moved) {
            error = "no chart border move reaches the texture-coordinate count";
            return false;
        }
    }
    return true;
}

struct ChartLayout {
    std::vector<int> verts;   // vertices of the chart, ascending
    std::vector<Vec2> plane;  // their chart-plane coordinates
    double umin = 0, umax = 0, vmin = 0, vmax = 0;
    int x = 0, y = 0, w = 0, h = 0;
};

// Projects each chart onto the plane of its mean normal (or onto XY when a
// triangle of it would fold over), so slopes keep their texel density.
std::vector<ChartLayout> ProjectCharts(const Mesh& m, const std::vector<int>& chart)
{
    int charts = 0;
    for (int c : chart)
        charts = std::max(charts, c + 1);
    std::vector<ChartLayout> out(charts);
    std::vector<Vec3> normal(charts);
    std::vector<std::vector<int>> tris(charts);
    for (size_t t = 0; t < m.tri.size(); ++t) {
        const auto& p = m.tri[t];
        normal[chart[t]] = normal[chart[t]] + Cross(m.pos[p[1]] - m.pos[p[0]], m.pos[p[2]] - m.pos[p[0]]);
        tris[chart[t]].push_back(static_cast<int>(t));
        for (int v : p)
            out[chart[t]].verts.push_back(v);
    }
    for (int c = 0; c < charts; ++c) {
        ChartLayout& l = out[c];
        std::sort(l.verts.begin(), l.verts.end());
        l.verts.erase(std::unique(l.verts.begin(), l.verts.end()), l.verts.end());
        Vec3 n = Normalize(normal[c]);
        for (int t : tris[c]) {
            const auto& p = m.tri[t];
            if (Dot(Normalize(Cross(m.pos[p[1]] - m.pos[p[0]], m.pos[p[2]] - m.pos[p[0]])), n) < 0.3)
                n = {0, 0, 1};
        }
        const Vec3 u = Normalize(Vec3{1, 0, 0} - n * n.x);
        const Vec3 v = Cross(n, u);
        l.umin = l.vmin = 1e30;
        l.umax = l.vmax = -1e30;
        for (int vi : l.verts) {
            const Vec2 q{Dot(m.pos[vi], u), Dot(m.pos[vi], v)};
            l.plane.push_back(q);
            l.umin = std::min(l.umin, q.x), l.umax = std::max(l.umax, q.x);
            l.vmin = std::min(l.vmin, q.y), l.vmax = std::max(l.vmax, q.y);
        }
    }
    return out;
}

struct Rect {
    int x0, y0, x1, y1;
};

// The atlas texel the sea floor samples, at texture coordinates
// (0.82, 0.82) as the floor passes them (image row 0.82 * size): kept free
// of charts and filled with plain sea-floor sand.
Rect SandSwatch(int size)
{
    const int c = static_cast<int>(0.82 * size);
    const int r = std::max(4, size / 64);
    return {c - r, c - r, c + r, c + r};
}

int AlignUp(int v)
{
    return (v + kPad - 1) / kPad * kPad;
}

// Shelf packing, tallest first, inside [0.02, 0.98] of the atlas, on the
// grid of kPad texels.
bool Pack(std::vector<ChartLayout>& charts, double density, int size)
{
    const int lo = AlignUp(static_cast<int>(std::ceil(0.02 * size))), hi = static_cast<int>(std::floor(0.98 * size));
    const Rect sand = SandSwatch(size);
    std::vector<int> order(charts.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<int>(i);
        ChartLayout& c = charts[i];
        c.w = AlignUp(static_cast<int>(std::ceil((c.umax - c.umin) * density)) + 2 * kPad);
        c.h = AlignUp(static_cast<int>(std::ceil((c.vmax - c.vmin) * density)) + 2 * kPad);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return charts[a].h > charts[b].h; });
    int x = lo, y = lo, shelf = 0;
    for (int i : order) {
        ChartLayout& c = charts[i];
        for (;;) {
            if (x + c.w > hi) {
                x = lo;
                y += shelf;
                shelf = 0;
            }
            if (y + c.h > hi || c.w > hi - lo)
                return false;
            if (x < sand.x1 && x + c.w > sand.x0 && y < sand.y1 && y + c.h > sand.y0) {
                x = AlignUp(sand.x1);
                continue;
            }
            break;
        }
        c.x = x;
        c.y = y;
        x += c.w;
        shelf = std::max(shelf, c.h);
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- build

bool BuildTerrain(int atlas_size, TerrainModel& model, std::string& error)
{
    Mesh m;
    BuildGrid(m);
    if (!RefineShore(m, kTerrainPositions - kGrid * kGrid)) {
        error = "not enough interior edges to refine";
        return false;
    }
    // Remap the heights so the extreme vertices meet the bounds exactly; the
    // water line (0) stays where it is.
    double zmin = 0, zmax = 0;
    for (const Vec3& p : m.pos)
        zmin = std::min(zmin, p.z), zmax = std::max(zmax, p.z);
    if (zmin >= 0 || zmax <= 0) {
        error = "the heightfield does not cross the water line";
        return false;
    }
    model.pos_scale = kTerrainZMax / zmax;
    model.neg_scale = kTerrainZMin / zmin;
    for (Vec3& p : m.pos)
        p = {Quantize(p.x, 0.001), Quantize(p.y, 0.001), Quantize(RemapHeight(model, p.z), 0.001)};
    PlaceFirstTriangle(m);
    if (static_cast<int>(m.pos.size()) != kTerrainPositions || static_cast<int>(m.tri.size()) != kTerrainTriangles) {
        error = "mesh counts differ from the tables' counts";
        return false;
    }

    std::vector<int> chart;
    if (!AssignCharts(m, kTerrainTexCoords, chart, error))
        return false;
    std::vector<ChartLayout> layout = ProjectCharts(m, chart);
    double lo = 0.1, hi = 40;
    for (int it = 0; it < 50; ++it) {
        const double mid = (lo + hi) / 2;
        (Pack(layout, mid, atlas_size) ? lo : hi) = mid;
    }
    if (!Pack(layout, lo, atlas_size)) {
        error = "charts do not fit the atlas";
        return false;
    }

    model.atlas_size = atlas_size;
    model.positions = m.pos;
    model.triangles = m.tri;
    model.chart_of = chart;
    model.texcoords.clear();
    model.chart_rects.clear();
    const Rect sand = SandSwatch(atlas_size);
    model.sand_rect = {sand.x0, sand.y0, sand.x1 - sand.x0, sand.y1 - sand.y0};
    std::vector<std::map<int, int>> uv_of(layout.size());  // per chart: vertex -> texcoord index
    for (size_t c = 0; c < layout.size(); ++c) {
        const ChartLayout& l = layout[c];
        model.chart_rects.push_back({l.x, l.y, l.w, l.h});
        for (size_t k = 0; k < l.verts.size(); ++k) {
            const double px = l.x + kPad + (l.plane[k].x - l.umin) * lo;
            const double py = l.y + kPad + (l.vmax - l.plane[k].y) * lo;
            uv_of[c][l.verts[k]] = static_cast<int>(model.texcoords.size());
            model.texcoords.push_back({Quantize(px / atlas_size, 1e-6), Quantize(1 - py / atlas_size, 1e-6)});
        }
    }
    model.tex_triangles.clear();
    for (size_t t = 0; t < m.tri.size(); ++t) {
        std::array<int, 3> b{};
        for (int k = 0; k < 3; ++k)
            b[k] = uv_of[chart[t]].at(m.tri[t][k]);
        model.tex_triangles.push_back(b);
    }
    if (static_cast<int>(model.texcoords.size()) != kTerrainTexCoords) {
        error = "texture-coordinate count differs from the tables' count";
        return false;
    }
    return true;
}

double TerrainSurfaceHeight(const TerrainModel& model, double x, double y)
{
    return RemapHeight(model, ShapedHeight(x, y));
}

// ---------------------------------------------------------------- tables

bool WriteTerrainTables(const TerrainModel& m, const char* path)
{
    FILE* f = OpenRegularFileForWriting(path);
    if (!f)
        return false;
    std::fprintf(f,
                 "// Generated by nerelle-assets (tools/assets) together with lightmap.png; do not edit.\n"
                 "// Regenerate: nerelle-assets --textures data/textures --tables src/scene/terrain_tables.cpp\n"
                 "#include \"scene/terrain_tables.h\"\n\n"
                 "// clang-format off\n");
    std::fprintf(f, "const float kTerrainPositions[kTerrainPositionCount][3] = {\n");
    for (size_t i = 0; i < m.positions.size(); ++i)
        std::fprintf(f, "%s{%.3ff, %.3ff, %.3ff},%s", i % 3 == 0 ? "    " : " ", m.positions[i].x, m.positions[i].y,
                     m.positions[i].z, i % 3 == 2 || i + 1 == m.positions.size() ? "\n" : "");
    std::fprintf(f, "};\n\nconst uint16_t kTerrainPositionTriangles[kTerrainTriangleCount][3] = {\n");
    for (size_t i = 0; i < m.triangles.size(); ++i)
        std::fprintf(f, "%s{%d, %d, %d},%s", i % 6 == 0 ? "    " : " ", m.triangles[i][0], m.triangles[i][1],
                     m.triangles[i][2], i % 6 == 5 || i + 1 == m.triangles.size() ? "\n" : "");
    std::fprintf(f, "};\n\nconst float kTerrainTexCoords[kTerrainTexCoordCount][2] = {\n");
    for (size_t i = 0; i < m.texcoords.size(); ++i)
        std::fprintf(f, "%s{%.6ff, %.6ff},%s", i % 4 == 0 ? "    " : " ", m.texcoords[i].x, m.texcoords[i].y,
                     i % 4 == 3 || i + 1 == m.texcoords.size() ? "\n" : "");
    std::fprintf(f, "};\n\nconst uint16_t kTerrainTexTriangles[kTerrainTriangleCount][3] = {\n");
    for (size_t i = 0; i < m.tex_triangles.size(); ++i)
        std::fprintf(f, "%s{%d, %d, %d},%s", i % 6 == 0 ? "    " : " ", m.tex_triangles[i][0], m.tex_triangles[i][1],
                     m.tex_triangles[i][2], i % 6 == 5 || i + 1 == m.tex_triangles.size() ? "\n" : "");
    std::fprintf(f, "};\n// clang-format on\n");
    // A failed write sets the stream's error, and errno says why.
    const bool written = !std::ferror(f);
    return std::fclose(f) == 0 && written;
}

}  // namespace assets
