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

DiveErrors ComputeDiveErrors(const DiveData& data)
{
    DiveErrors e;
    e.motion_steps = data.motion_track.size();
    e.solution_fixes = data.solution_positions.size();
    e.dt = data.dt;
    // Fixes with their own times are measured against the reference where
    // it is at the fix's time; on the dt grid, step against step.
    const bool by_time = data.Timed() && !data.motion_track.empty();
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
