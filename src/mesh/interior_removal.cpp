// Sections: geometric tests, the jitter source, the removal pass (shared by
// the culled and the brute-force forms).
#include "mesh/interior_removal.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "mesh/polygon_grid.h"

namespace mesh {

namespace {

constexpr float kMinHitDistance = 0.0005f;  // hits closer than this are the polygon's own neighbourhood
constexpr float kMinFacing = 0.001f;        // |d . nQ| at or below this: the ray grazes Q
constexpr float kOverlapMargin = -0.001f;
constexpr float kMinAlignment = 0.1f;       // a jittered ray must stay this close to the normal
constexpr int kAttempts = 4;
// Redraws of one perturbation before falling back to the normal itself; only
// absurd jitter values get near it.
constexpr int kMaxRedraws = 1000;

bool RayHitPoints(const Vector3& d, const Vector3* q, size_t n, const Vector3& o, float& t, float tolerance)
{
    if (n < 3)
        return false;
    const Vector3 q0 = q[0];
    const Vector3 s = o - q0;
    for (size_t i = 2; i < n; ++i) {
        const Vector3 e1 = q[i - 1] - q0, e2 = q[i] - q0;
        const Vector3 p = math::Cross(d, e2);
        const float det = math::Dot(e1, p);
        if (det > -tolerance && det < tolerance)
            continue;
        const float u = math::Dot(s, p) / det;
        if (u < 0 || u > 1)
            continue;
        const Vector3 qv = math::Cross(s, e1);
        const float w = math::Dot(d, qv) / det;
        if (w < 0 || u + w > 1)
            continue;
        t = math::Dot(e2, qv) / det;
        return true;
    }
    return false;
}

// Corner positions of every polygon, packed, with plane normals and boxes.
struct CPackedPolygons {
    std::vector<Vector3> points;
    std::vector<uint32_t> start;  // first point of polygon i; start[i + 1] ends it
    std::vector<Vector3> normal;
    std::vector<Vector3> lo, hi;  // boxes padded for the ray cull

    void Pack(const CPolyMesh& mesh)
    {
        const size_t count = mesh.PolygonCount();
        start.assign(1, 0);
        normal.resize(count);
        lo.resize(count);
        hi.resize(count);
        points.clear();
        for (size_t i = 0; i < count; ++i) {
            const _TyPolygon& polygon = mesh.Polygon(i);
            for (const _TyVertexRef& r : polygon.vertices)
                points.push_back(r.vertex->Position());
            start.push_back(uint32_t(points.size()));
            normal[i] = {polygon.plane.x, polygon.plane.y, polygon.plane.z};
            Vector3 a = points.empty() ? Vector3() : points[start[i]], b = a;
            for (uint32_t k = start[i]; k < start[i + 1]; ++k) {
                const Vector3& p = points[k];
                a = {std::min(a.x, p.x), std::min(a.y, p.y), std::min(a.z, p.z)};
                b = {std::max(b.x, p.x), std::max(b.y, p.y), std::max(b.z, p.z)};
            }
            // Padding far above the rounding of the hit test, so that the cull
            // never drops a polygon the test would report.
            const float pad = 0.01f + 0.01f * (b - a).Length();
            lo[i] = a - Vector3(pad, pad, pad);
            hi[i] = b + Vector3(pad, pad, pad);
        }
    }
    size_t Count(size_t i) const { return start[i + 1] - start[i]; }
    const Vector3* Points(size_t i) const { return points.data() + start[i]; }
    bool IsEmpty(size_t i) const { return emptied[i]; }

    std::vector<bool> emptied;  // polygons cleared by the pass: never hit again
};

// Whether the ray o + t d can meet the box [lo, hi] at some t >= tMin and
// before tMax (slab test, inclusive).
bool RayMayReach(const Vector3& o, const Vector3& d, const Vector3& lo, const Vector3& hi, float tMin, float tMax)
{
    const float oo[3] = {o.x, o.y, o.z}, dd[3] = {d.x, d.y, d.z};
    const float l[3] = {lo.x, lo.y, lo.z}, h[3] = {hi.x, hi.y, hi.z};
    float enter = tMin, leave = tMax;
    for (int a = 0; a < 3; ++a) {
        if (dd[a] == 0) {
            if (oo[a] < l[a] || oo[a] > h[a])
                return false;
            continue;
        }
        float t0 = (l[a] - oo[a]) / dd[a], t1 = (h[a] - oo[a]) / dd[a];
        if (t0 > t1)
            std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
        if (enter > leave)
            return false;
    }
    return true;
}

bool RemoveInterior(CPolyMesh& mesh, float jitter, bool cull)
{
    try {
        // Step 1: drop polygons that cannot bound anything, keeping the order.
        size_t kept = 0;
        const size_t original = mesh.PolygonCount();
        for (size_t i = 0; i < original; ++i)
            if (mesh.Polygon(i).vertices.size() >= 3) {
                if (kept != i)
                    mesh.Polygon(kept) = std::move(mesh.Polygon(i));
                ++kept;
            }
        mesh.ErasePolygons(-1, int64_t(kept));

        const size_t count = mesh.PolygonCount();
        if (count == 0)
            return true;
        CPolygonGrid grid;
        if (!grid.Build(mesh) || grid.CellCount() == 0)
            return false;
        CJitterRandom random(12345);
        CPackedPolygons packed;
        packed.Pack(mesh);
        packed.emptied.assign(count, false);
        std::vector<uint32_t> neighbours;

        for (size_t pi = 0; pi < count; ++pi) {
            const Vector3 n = packed.normal[pi];
            // A zero plane (degenerate polygon) has no outward direction, and
            // jittering around it could never reach the required alignment.
            if (n.x == 0 && n.y == 0 && n.z == 0)
                continue;
            const Vector3 o = PolygonCentre(mesh.Polygon(pi));
            Vector3 d = n;
            bool hit = false, backFace = false;
            for (int attempt = 0; attempt < kAttempts && !hit; ++attempt) {
                float best = std::numeric_limits<float>::infinity();
                for (size_t qi = 0; qi < count; ++qi) {
                    if (qi == pi || packed.IsEmpty(qi))
                        continue;
                    if (cull && !RayMayReach(o, d, packed.lo[qi], packed.hi[qi], 0, best))
                        continue;
                    float t;
                    if (!RayHitPoints(d, packed.Points(qi), packed.Count(qi), o, t, 0.001f))
                        continue;
                    const float facing = math::Dot(d, packed.normal[qi]);
                    if (t >= kMinHitDistance && std::fabs(facing) > kMinFacing && t < best) {
                        best = t;
                        backFace = facing > 0;
                        hit = true;
                    }
                }
                if (hit)
                    break;
                d += random.Perturbation(jitter);
                for (int redraw = 0; math::Dot(d, n) < kMinAlignment; ++redraw) {
                    d = n;
                    if (redraw == kMaxRedraws)
                        break;
                    d += random.Perturbation(jitter);
                }
            }
            if (!hit || !backFace)
                continue;
            // Inside another part, unless a nearby polygon overlaps it (for
            // example a face lying on a coplanar face of its neighbour).
            grid.Query(mesh.Polygon(pi), neighbours);
            bool overlapped = false;
            for (uint32_t fi : neighbours)
                if (fi != pi && PolygonsOverlap(mesh.Polygon(fi), mesh.Polygon(pi), kOverlapMargin)) {
                    overlapped = true;
                    break;
                }
            if (overlapped)
                continue;
            mesh.Polygon(pi).vertices.clear();
            packed.emptied[pi] = true;
        }

        // Step 4: drop the emptied polygons, keeping the order of the rest.
        kept = 0;
        for (size_t i = 0; i < count; ++i)
            if (!mesh.Polygon(i).vertices.empty()) {
                if (kept != i)
                    mesh.Polygon(kept) = std::move(mesh.Polygon(i));
                ++kept;
            }
        mesh.ErasePolygons(-1, int64_t(kept));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

Vector3 PolygonCentre(const _TyPolygon& polygon)
{
    Vector3 sum(0, 0, 0);
    if (polygon.vertices.empty())
        return sum;
    for (const _TyVertexRef& r : polygon.vertices)
        sum += r.vertex->Position();
    return sum / float(polygon.vertices.size());
}

bool RayHitPolygon(const Vector3& direction, const _TyPolygon& q, const Vector3& origin, float& t, float tolerance)
{
    const size_t n = q.vertices.size();
    if (n < 3)
        return false;
    std::vector<Vector3> points(n);
    for (size_t k = 0; k < n; ++k)
        points[k] = q.vertices[k].vertex->Position();
    return RayHitPoints(direction, points.data(), n, origin, t, tolerance);
}

bool PolygonsOverlap(const _TyPolygon& f, const _TyPolygon& p, float margin)
{
    if (f.vertices.size() < 3 || p.vertices.size() < 3)
        return false;
    // Whether a plane of a separates b: a's own plane when all of b lies more
    // than |margin| off it on one side, or an edge plane (through an edge,
    // perpendicular to a) with all of b at or beyond `margin` outside it.
    // Without a's own plane, parallel polygons with the same outline at any
    // distance would count as overlapping, and a face inside a neighbouring
    // box would be kept because of the box's opposite face.
    auto separates = [margin](const _TyPolygon& a, const _TyPolygon& b) {
        const Vector3 normal(a.plane.x, a.plane.y, a.plane.z);
        const size_t n = a.vertices.size();
        if (normal.x != 0 || normal.y != 0 || normal.z != 0) {
            const Vector3 origin = a.vertices[0].vertex->Position();
            float below = std::numeric_limits<float>::infinity(), above = -below;
            for (const _TyVertexRef& r : b.vertices) {
                const float distance = math::Dot(normal, r.vertex->Position() - origin);
                below = std::min(below, distance);
                above = std::max(above, distance);
            }
            const float thickness = std::fabs(margin);
            if (below > thickness || above < -thickness)
                return true;
        }
        for (size_t i = 0; i < n; ++i) {
            const Vector3 e0 = a.vertices[i].vertex->Position();
            const Vector3 e1 = a.vertices[(i + 1) % n].vertex->Position();
            const Vector3 outward = math::Normalise(math::Cross(e1 - e0, normal));
            if (outward.x == 0 && outward.y == 0 && outward.z == 0)
                continue;
            float nearest = std::numeric_limits<float>::infinity();
            for (const _TyVertexRef& r : b.vertices)
                nearest = std::min(nearest, math::Dot(outward, r.vertex->Position() - e0));
            if (nearest >= margin)
                return true;
        }
        return false;
    };
    return !separates(f, p) && !separates(p, f);
}

Vector3 CJitterRandom::Perturbation(float jitter)
{
    auto offset = [jitter](uint32_t s) { return jitter * float(2.0 * double(s) / 4294967296.0 - 1.0); };
    const uint32_t s0 = state, s1 = Next(), s2 = Next();
    Next();
    return {offset(s0), offset(s1), offset(s2)};
}

bool RemoveInteriorPolygons(CPolyMesh& mesh, float jitter)
{
    return RemoveInterior(mesh, jitter, true);
}

bool RemoveInteriorPolygonsReference(CPolyMesh& mesh, float jitter)
{
    return RemoveInterior(mesh, jitter, false);
}

}  // namespace mesh
