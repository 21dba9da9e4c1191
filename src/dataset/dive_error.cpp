#include "dataset/dive_error.h"

#include <algorithm>
#include <cmath>

ErrorFigures SummariseErrors(const std::vector<float>& errors, double dt)
{
    ErrorFigures f;
    f.count = errors.size();
    if (errors.empty())
        return f;
    double sum = 0.0, squares = 0.0;
    for (size_t i = 0; i < errors.size(); ++i) {
        const double e = errors[i];
        sum += e;
        squares += e * e;
        if (e > f.max || i == 0) {
            f.max = e;
            f.max_index = i;
        }
    }
    f.mean = sum / double(errors.size());
    f.rms = std::sqrt(squares / double(errors.size()));
    f.max_time = double(f.max_index) * dt;
    std::vector<float> sorted = errors;
    // Nearest rank: the ceil(0.95 n)-th smallest.
    const size_t rank = static_cast<size_t>(std::ceil(0.95 * double(sorted.size())));
    const size_t k = std::clamp<size_t>(rank, 1, sorted.size()) - 1;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(k), sorted.end());
    f.p95 = sorted[k];
    return f;
}

namespace {

// The offset from p to the nearest point of segment a-b.
LocalPoint OffsetToSegment(const LocalPoint& p, const LocalPoint& a, const LocalPoint& b)
{
    const double ab[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
    const double ap[3] = {p.x - a.x, p.y - a.y, p.z - a.z};
    const double length2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
    const double u =
        length2 > 0.0 ? std::clamp((ap[0] * ab[0] + ap[1] * ab[1] + ap[2] * ab[2]) / length2, 0.0, 1.0) : 0.0;
    return {ap[0] - u * ab[0], ap[1] - u * ab[1], ap[2] - u * ab[2]};
}

DiveErrors RouteErrors(const DiveData& data, const DiveTrack& route)
{
    DiveErrors e;
    e.solution_fixes = data.solution_positions.size();
    e.motion_steps = route.fixes.empty() ? 0 : e.solution_fixes;
    e.dt = data.dt;
    const std::vector<TrackFix>& fixes = data.tracks[size_t(data.measured)].fixes;
    for (size_t i = 0; i < e.motion_steps; ++i) {
        // The nearest point of the path, and the offset's parts there.
        LocalPoint best = fixes[i].local;
        double best_length = HUGE_VAL;
        for (size_t k = 0; k < route.fixes.size(); ++k) {
            const LocalPoint& a = route.fixes[k].local;
            const LocalPoint& b = route.fixes[std::min(k + 1, route.fixes.size() - 1)].local;
            const LocalPoint d = OffsetToSegment(fixes[i].local, a, b);
            const double length = d.Length();
            if (length < best_length) {
                best_length = length;
                best = d;
            }
        }
        e.total.push_back(float(best_length));
        e.horizontal.push_back(float(std::sqrt(best.x * best.x + best.z * best.z)));
        e.vertical.push_back(float(std::fabs(best.y)));
    }
    e.total_figures = SummariseErrors(e.total, e.dt);
    e.horizontal_figures = SummariseErrors(e.horizontal, e.dt);
    e.vertical_figures = SummariseErrors(e.vertical, e.dt);
    for (ErrorFigures* f : {&e.total_figures, &e.horizontal_figures, &e.vertical_figures})
        if (f->count > 0)
            f->max_time = data.solution_times[f->max_index];
    return e;
}

}  // namespace

DiveErrors ComputeDiveErrors(const DiveData& data)
{
    DiveErrors e;
    e.motion_steps = data.motion_track.size();
    e.solution_fixes = data.solution_positions.size();
    e.dt = data.dt;
    // Fixes with their own times are measured against the reference where
    // it is at the fix's time, or against a route (a path without times) by
    // their distance from it; on the dt grid, step against step.
    const bool by_time = data.Timed() && !data.motion_track.empty();
    const DiveTrack* route = nullptr;
    if (data.Timed() && !by_time)
        for (const DiveTrack& track : data.tracks)
            if (track.role == TrackRole::kReference && track.route && !route)
                route = &track;
    if (route)
        return RouteErrors(data, *route);
    if (data.Timed())
        e.motion_steps = by_time ? e.solution_fixes : 0;
    const size_t common = std::min(e.motion_steps, e.solution_fixes);
    e.total.reserve(common);
    e.horizontal.reserve(common);
    e.vertical.reserve(common);
    for (size_t i = 0; i < common; ++i) {
        const Vector3& s = data.solution_positions[i];
        const Vector3 m = by_time ? data.MotionPositionAt(data.solution_times[i]) : data.motion_track[i];
        const double dx = double(s.x) - m.x, dy = double(s.y) - m.y, dz = double(s.z) - m.z;
        e.total.push_back(float(std::sqrt(dx * dx + dy * dy + dz * dz)));
        e.horizontal.push_back(float(std::sqrt(dx * dx + dz * dz)));
        e.vertical.push_back(float(std::fabs(dy)));
    }
    e.total_figures = SummariseErrors(e.total, e.dt);
    e.horizontal_figures = SummariseErrors(e.horizontal, e.dt);
    e.vertical_figures = SummariseErrors(e.vertical, e.dt);
    if (by_time) {
        for (ErrorFigures* f : {&e.total_figures, &e.horizontal_figures, &e.vertical_figures})
            if (f->count > 0)
                f->max_time = data.solution_times[f->max_index];
    }
    return e;
}

float DiveErrors::TotalAt(const DiveData& data, double t) const
{
    size_t i, j;
    float f;
    if (!data.Lookup(t, total.size(), i, j, f, data.Timed() ? &data.solution_times : nullptr))
        return 0.0f;
    return total[i] + (total[j] - total[i]) * f;
}
