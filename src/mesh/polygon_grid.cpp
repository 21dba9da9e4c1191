#include "mesh/polygon_grid.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace mesh {

namespace {

// Cells a grid may span in all. Far above what about 10 polygons per cell
// needs; it only bites on needle- or sheet-like inputs whose 0.01 minimum
// cell edge would otherwise make one large polygon visit millions of cells.
uint64_t CellLimit(size_t polygonCount)
{
    return std::max<uint64_t>(1u << 16, uint64_t(polygonCount) * 64);
}

// Projections of the triangle onto an axis, against the box's projection radius.
bool SeparatedOn(const Vector3& axis, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& half)
{
    const float pa = math::Dot(axis, a), pb = math::Dot(axis, b), pc = math::Dot(axis, c);
    const float r = half.x * std::fabs(axis.x) + half.y * std::fabs(axis.y) + half.z * std::fabs(axis.z);
    return std::min({pa, pb, pc}) > r || std::max({pa, pb, pc}) < -r;
}

}  // namespace

bool TriangleOverlapsBox(const Vector3& a0, const Vector3& b0, const Vector3& c0, const Vector3& centre,
                         const Vector3& half)
{
    const Vector3 a = a0 - centre, b = b0 - centre, c = c0 - centre;
    // Box faces: the triangle's bounds against the box.
    if (std::min({a.x, b.x, c.x}) > half.x || std::max({a.x, b.x, c.x}) < -half.x)
        return false;
    if (std::min({a.y, b.y, c.y}) > half.y || std::max({a.y, b.y, c.y}) < -half.y)
        return false;
    if (std::min({a.z, b.z, c.z}) > half.z || std::max({a.z, b.z, c.z}) < -half.z)
        return false;
    const Vector3 edges[3] = {b - a, c - b, a - c};
    if (SeparatedOn(math::Cross(edges[0], edges[1]), a, b, c, half))
        return false;
    const Vector3 boxAxes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const Vector3& e : edges)
        for (const Vector3& axis : boxAxes)
            if (SeparatedOn(math::Cross(axis, e), a, b, c, half))
                return false;
    return true;
}

bool CPolygonGrid::Build(const CPolyMesh& mesh)
{
    built = false;
    cells.clear();
    const size_t count = mesh.PolygonCount();
    Vector3 min, max;
    mesh.GetBounds(min, max);
    min -= Vector3(0.001f, 0.001f, 0.001f);
    max += Vector3(0.001f, 0.001f, 0.001f);
    const float extent[3] = {max.x - min.x, max.y - min.y, max.z - min.z};
    const float cellCount = std::max(1.0f, std::floor(float(count) / 10.0f));
    const float h = std::max(std::cbrt(extent[0] * extent[1] * extent[2] / cellCount), 0.01f);
    if (!std::isfinite(h) || !std::isfinite(extent[0] + extent[1] + extent[2]))
        return false;
    double total = 1;
    for (int a = 0; a < 3; ++a) {
        n[a] = std::max<int64_t>(1, int64_t(std::min(std::floor(extent[a] / h + 0.5f), 1e9f)));
        total *= double(n[a]);
    }
    if (total > double(CellLimit(count))) {
        // Coarsen the longest axis, the one that made the count explode.
        int64_t& longest = *std::max_element(n, n + 3);
        longest = std::max<int64_t>(1, int64_t(double(longest) * double(CellLimit(count)) / total));
    }
    toGrid = ScaleMatrix(float(n[0]) / extent[0], float(n[1]) / extent[1], float(n[2]) / extent[2]) *
             Matrix4::Translation(-min);
    try {
        std::vector<Vector3> points;
        const Vector3 half(0.5f, 0.5f, 0.5f);
        for (size_t i = 0; i < count; ++i) {
            const _TyPolygon& polygon = mesh.Polygon(i);
            if (polygon.vertices.size() < 3)
                continue;
            points.clear();
            Vector3 lo, hi;
            for (const _TyVertexRef& r : polygon.vertices) {
                const Vector3 p = ToGrid(r.vertex->Position());
                if (points.empty())
                    lo = hi = p;
                lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
                hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
                points.push_back(p);
            }
            int64_t first[3], last[3];
            CellRange(lo, hi, first, last);
            for (int64_t z = first[2]; z <= last[2]; ++z)
                for (int64_t y = first[1]; y <= last[1]; ++y)
                    for (int64_t x = first[0]; x <= last[0]; ++x) {
                        const Vector3 centre(float(x) + 0.5f, float(y) + 0.5f, float(z) + 0.5f);
                        for (size_t k = 2; k < points.size(); ++k)
                            if (TriangleOverlapsBox(points[0], points[k - 1], points[k], centre, half)) {
                                cells[Key(x, y, z)].push_back(uint32_t(i));
                                break;
                            }
                    }
        }
    } catch (const std::bad_alloc&) {
        cells.clear();
        return false;
    }
    built = true;
    return true;
}

Vector3 CPolygonGrid::ToGrid(const Vector3& p) const
{
    const Vector4 g = toGrid * Vector4(p, 1);
    return {g.x, g.y, g.z};
}

void CPolygonGrid::CellRange(const Vector3& lo, const Vector3& hi, int64_t first[3], int64_t last[3]) const
{
    const float l[3] = {lo.x, lo.y, lo.z}, u[3] = {hi.x, hi.y, hi.z};
    for (int a = 0; a < 3; ++a) {
        const float top = float(n[a] - 1);
        // Clamped in float first so that far-away or NaN values cannot overflow the cast.
        first[a] = int64_t(std::clamp(std::floor(l[a]), 0.0f, top));
        last[a] = int64_t(std::clamp(std::floor(u[a]), 0.0f, top));
        if (!(l[a] == l[a]) || !(u[a] == u[a]))
            first[a] = 0, last[a] = n[a] - 1;
    }
}

uint64_t CPolygonGrid::Key(int64_t x, int64_t y, int64_t z) const
{
    return (uint64_t(z) * uint64_t(n[1]) + uint64_t(y)) * uint64_t(n[0]) + uint64_t(x);
}

const std::vector<uint32_t>* CPolygonGrid::Cell(int64_t x, int64_t y, int64_t z) const
{
    const auto it = cells.find(Key(x, y, z));
    return it == cells.end() ? nullptr : &it->second;
}

void CPolygonGrid::Query(const _TyPolygon& polygon, std::vector<uint32_t>& out) const
{
    out.clear();
    if (!built || polygon.vertices.empty())
        return;
    Vector3 lo = ToGrid(polygon.vertices[0].vertex->Position()), hi = lo;
    for (const _TyVertexRef& r : polygon.vertices) {
        const Vector3 p = ToGrid(r.vertex->Position());
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    int64_t first[3], last[3];
    CellRange(lo, hi, first, last);
    for (int64_t z = first[2]; z <= last[2]; ++z)
        for (int64_t y = first[1]; y <= last[1]; ++y)
            for (int64_t x = first[0]; x <= last[0]; ++x)
                if (const std::vector<uint32_t>* list = Cell(x, y, z))
                    out.insert(out.end(), list->begin(), list->end());
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

}  // namespace mesh
