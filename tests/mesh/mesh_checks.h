// Shared helpers of the mesh tests: small hand-made meshes and the
// topological invariants of closed solids.
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "mesh/poly_mesh.h"

namespace meshtest {

// A mesh from positions and polygons given as vertex index lists.
inline bool BuildMesh(CPolyMesh& mesh, const std::vector<Vector3>& positions,
                      const std::vector<std::vector<size_t>>& polygons)
{
    if (!mesh.Resize(positions.size(), polygons.size()))
        return false;
    for (size_t i = 0; i < positions.size(); ++i)
        mesh.Vertex(i) = mesh::MakeVertex(positions[i].x, positions[i].y, positions[i].z);
    for (size_t p = 0; p < polygons.size(); ++p)
        for (size_t v : polygons[p])
            mesh.Polygon(p).vertices.push_back(mesh.Ref(v));
    return true;
}

// Vertex indices of polygon p.
inline std::vector<int64_t> Corners(const CPolyMesh& mesh, size_t p)
{
    std::vector<int64_t> out;
    for (const mesh::_TyVertexRef& r : mesh.Polygon(p).vertices)
        out.push_back(mesh.IndexOf(r.vertex));
    return out;
}

// Empty when every directed edge, with vertices identified by position
// (seams repeat positions under different indices), is used exactly once
// and its reverse exactly once; otherwise a description of the first fault.
inline std::string WatertightFault(const CPolyMesh& mesh)
{
    std::map<std::tuple<long, long, long>, int> ids;
    auto id = [&ids](const Vector3& p) {
        const auto key = std::make_tuple(std::lround(p.x * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4));
        return ids.emplace(key, int(ids.size())).first->second;
    };
    std::map<std::pair<int, int>, int> edges;
    for (size_t p = 0; p < mesh.PolygonCount(); ++p) {
        const auto& v = mesh.Polygon(p).vertices;
        for (size_t k = 0; k < v.size(); ++k) {
            const int a = id(v[k].vertex->Position()), b = id(v[(k + 1) % v.size()].vertex->Position());
            if (a == b)
                return "polygon " + std::to_string(p) + " has a zero-length edge";
            ++edges[{a, b}];
        }
    }
    for (const auto& [edge, uses] : edges) {
        if (uses != 1)
            return "a directed edge is used " + std::to_string(uses) + " times";
        const auto reverse = edges.find({edge.second, edge.first});
        if (reverse == edges.end() || reverse->second != 1)
            return "an edge has no single reverse (open or inconsistently wound)";
    }
    return "";
}

// Volume enclosed by a closed mesh, positive when it is wound outward.
inline double SignedVolume(const CPolyMesh& mesh)
{
    double volume = 0;
    for (size_t p = 0; p < mesh.PolygonCount(); ++p) {
        const auto& v = mesh.Polygon(p).vertices;
        const Vector3 a = v[0].vertex->Position();
        for (size_t k = 2; k < v.size(); ++k) {
            const Vector3 b = v[k - 1].vertex->Position(), c = v[k].vertex->Position();
            volume += double(math::Dot(a, math::Cross(b, c))) / 6.0;
        }
    }
    return volume;
}

}  // namespace meshtest
