// The weld grid, then Weld itself.
#include "mesh/vertex_grid.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "mesh/processing.h"

namespace mesh {

namespace {

// Bounds the cells per axis so that keys stay finite for huge or broken
// extents; only the wrapping period changes.
constexpr int64_t kMaxCellsPerAxis = int64_t(1) << 20;

float Squared(float x, float y, float z)
{
    return x * x + y * y + z * z;
}

}  // namespace

bool CVertexGrid::Build(const CPolyMesh& mesh, float eps)
{
    cells.clear();
    const size_t count = mesh.VertexCount();
    Vector3 min, max;
    mesh.GetBounds(min, max);
    const float cellCount = std::max(1.0f, std::ceil(float(count) / 100.0f));
    const float extent[3] = {max.x - min.x, max.y - min.y, max.z - min.z};
    h = std::max(std::cbrt(extent[0] * extent[1] * extent[2] / cellCount), std::max(2 * eps, 0.01f));
    if (!std::isfinite(h))
        return false;
    for (int a = 0; a < 3; ++a) {
        const float cellsOnAxis = std::floor(extent[a] / h + 0.5f);
        n[a] = std::isfinite(cellsOnAxis) ? std::clamp<int64_t>(int64_t(std::min(cellsOnAxis, 1e18f)), 1, kMaxCellsPerAxis)
                                          : kMaxCellsPerAxis;
    }
    if (h / 2 < eps)
        return false;
    try {
        for (size_t i = 0; i < count; ++i) {
            const Vector3 p = mesh.Vertex(i).Position();
            const Vector3 q = p + Vector3(h / 2, h / 2, h / 2);
            const int64_t x[2] = {Coordinate(p.x, 0), Coordinate(q.x, 0)};
            const int64_t y[2] = {Coordinate(p.y, 1), Coordinate(q.y, 1)};
            const int64_t z[2] = {Coordinate(p.z, 2), Coordinate(q.z, 2)};
            for (int iz = 0; iz < (z[0] == z[1] ? 1 : 2); ++iz)
                for (int iy = 0; iy < (y[0] == y[1] ? 1 : 2); ++iy)
                    for (int ix = 0; ix < (x[0] == x[1] ? 1 : 2); ++ix)
                        cells[KeyOf(x[ix], y[iy], z[iz])].push_back(uint32_t(i));
        }
    } catch (const std::bad_alloc&) {
        cells.clear();
        return false;
    }
    return true;
}

int64_t CVertexGrid::Coordinate(float p, int axis) const
{
    const float c = std::fmod(std::fabs(p / h), float(n[axis]));
    if (!std::isfinite(c))
        return 0;
    const int64_t cell = int64_t(std::floor(c));
    return p < 0 ? n[axis] - cell - 1 : cell;
}

uint64_t CVertexGrid::KeyOf(int64_t cx, int64_t cy, int64_t cz) const
{
    return (uint64_t(cz) * uint64_t(n[1]) + uint64_t(cy)) * uint64_t(n[0]) + uint64_t(cx);
}

uint64_t CVertexGrid::Key(const Vector3& p) const
{
    return KeyOf(Coordinate(p.x, 0), Coordinate(p.y, 1), Coordinate(p.z, 2));
}

const std::vector<uint32_t>* CVertexGrid::Cell(uint64_t key) const
{
    const auto it = cells.find(key);
    return it == cells.end() ? nullptr : &it->second;
}

void CVertexGrid::QueryKeys(const Vector3& p, float eps, std::vector<uint64_t>& keys) const
{
    // A vertex at v is listed in the cells of v and v + h/2, i.e. per axis in
    // cell k whenever v lies in [k h - h/2, k h + h). The cell of p itself
    // would miss neighbours just past its upper face; the cell of p + h/4
    // holds every v within h/4 of p.
    if (eps <= h / 4) {
        keys.push_back(Key(p + Vector3(h / 4, h / 4, h / 4)));
        return;
    }
    // Larger tolerances: the cells p is registered in cover p +- h/2.
    const Vector3 q = p + Vector3(h / 2, h / 2, h / 2);
    const int64_t x[2] = {Coordinate(p.x, 0), Coordinate(q.x, 0)};
    const int64_t y[2] = {Coordinate(p.y, 1), Coordinate(q.y, 1)};
    const int64_t z[2] = {Coordinate(p.z, 2), Coordinate(q.z, 2)};
    for (int iz = 0; iz < (z[0] == z[1] ? 1 : 2); ++iz)
        for (int iy = 0; iy < (y[0] == y[1] ? 1 : 2); ++iy)
            for (int ix = 0; ix < (x[0] == x[1] ? 1 : 2); ++ix) {
                const uint64_t key = KeyOf(x[ix], y[iy], z[iz]);
                if (std::find(keys.begin(), keys.end(), key) == keys.end())
                    keys.push_back(key);
            }
}

bool Weld(CPolyMesh& mesh, bool compareNormals, bool compareTexCoords, float eps)
{
    const size_t vertexCount = mesh.VertexCount(), polygonCount = mesh.PolygonCount();
    if (vertexCount == 0)
        return true;
    if (!(eps >= 0) || vertexCount > size_t(UINT32_MAX))
        return false;
    const float eps2 = eps * eps;
    // Written as "not within" so that NaN never counts as close.
    auto within = [eps2](float d2) { return d2 <= eps2; };
    auto equivalent = [&](const _TyVertex& c, const _TyVertex& r) {
        if (!within(Squared(c.position[0] - r.position[0], c.position[1] - r.position[1], c.position[2] - r.position[2])))
            return false;
        if (compareNormals &&
            !within(Squared(c.normal[0] - r.normal[0], c.normal[1] - r.normal[1], c.normal[2] - r.normal[2])))
            return false;
        if (compareTexCoords) {
            const float* a = c.texcoord[0];
            const float* b = r.texcoord[0];
            const float d3 = a[3] - b[3];
            if (!within(Squared(a[0] - b[0], a[1] - b[1], a[2] - b[2]) + d3 * d3))
                return false;
        }
        return true;
    };
    try {
        CVertexGrid grid;
        if (!grid.Build(mesh, eps))
            return false;
        // One "taken" bit per vertex, most significant bit first.
        std::vector<uint32_t> taken((vertexCount + 31) / 32, 0);
        auto isTaken = [&](size_t k) { return (taken[k / 32] & (0x80000000u >> (k % 32))) != 0; };
        auto take = [&](size_t k) { taken[k / 32] |= 0x80000000u >> (k % 32); };
        std::vector<uint32_t> groupOf(vertexCount);
        std::vector<uint32_t> seeds;
        std::vector<uint64_t> keys;
        for (size_t i = 0; i < vertexCount; ++i) {
            if (isTaken(i))
                continue;
            const uint32_t group = uint32_t(seeds.size());
            seeds.push_back(uint32_t(i));
            take(i);
            groupOf[i] = group;
            const _TyVertex& seed = mesh.Vertex(i);
            keys.clear();
            grid.QueryKeys(seed.Position(), eps, keys);
            for (uint64_t key : keys) {
                const std::vector<uint32_t>* list = grid.Cell(key);
                if (!list)
                    continue;
                for (uint32_t k : *list)
                    if (!isTaken(k) && equivalent(mesh.Vertex(k), seed)) {
                        take(k);
                        groupOf[k] = group;
                    }
            }
        }
        CPolyMesh scratch;
        if (!scratch.Resize(seeds.size(), polygonCount))
            return false;
        for (size_t g = 0; g < seeds.size(); ++g)
            scratch.Vertex(g) = mesh.Vertex(seeds[g]);
        for (size_t i = 0; i < polygonCount; ++i) {
            const _TyPolygon& source = mesh.Polygon(i);
            _TyPolygon& polygon = scratch.Polygon(i);
            polygon.vertices.reserve(source.vertices.size());
            for (const _TyVertexRef& r : source.vertices) {
                const int64_t index = mesh.IndexOf(r.vertex);
                if (index < 0)
                    return false;
                polygon.vertices.push_back(scratch.Ref(groupOf[size_t(index)]));
            }
            CopyPolygonAttributes(polygon, source);
        }
        mesh.Swap(scratch);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace mesh
