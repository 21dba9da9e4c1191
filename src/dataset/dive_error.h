// The positioning solution's error: how far each fix lies from where the
// diver was, and the figures that sum it up.
//
// The error of solution fix i is the distance between solution position i
// and the motion sample of the same step (both belong to playback time
// i * dt), split into its horizontal part (east and north, x and z) and its
// vertical part (|y|). A solution with fewer fixes than the motion has
// samples (or the other way round) is measured over the steps both have;
// `common` and `motion_steps` / `solution_fixes` let a caller say so. In a
// dataset of tracks each measured fix is measured against the reference at
// the fix's own time, or, for a route without times, by its distance from
// the route's path. Used by
// the program's error view (track colours, the HUD's error line) and by
// `nerelle-dive check` and `report`. Plain C++, no GL.
#pragma once

#include "dataset/dive_data.h"

#include <cstddef>
#include <vector>

// Summary of one list of errors (metres).
struct ErrorFigures {
    size_t count = 0;         // fixes measured
    double rms = 0;           // root mean square
    double mean = 0;
    double p95 = 0;           // 95th percentile, nearest rank: the smallest error with 95% of them at or below it
    double max = 0;
    size_t max_index = 0;     // the fix of the largest error (the first, on ties)
    double max_time = 0;      // its playback time, max_index * dt
};

// ErrorFigures of `errors`, with dt for the time of the maximum; all zero
// for an empty list.
ErrorFigures SummariseErrors(const std::vector<float>& errors, double dt);

struct DiveErrors {
    size_t motion_steps = 0;    // motion samples of the dataset
    size_t solution_fixes = 0;  // solution positions of the dataset
    double dt = 0;              // seconds between steps
    std::vector<float> total;       // per common step: 3-D distance, metres
    std::vector<float> horizontal;  // per common step: distance in x and z
    std::vector<float> vertical;    // per common step: |difference in y|
    ErrorFigures total_figures, horizontal_figures, vertical_figures;

    size_t Common() const { return total.size(); }
    // True when the two lists differ in length, so only their common steps
    // are measured.
    bool Partial() const { return motion_steps != solution_fixes; }
    // The 3-D error at playback time t, interpolated between the fixes that
    // bracket it as the solution position is (DiveData::Lookup over the
    // common steps); 0 without any.
    float TotalAt(const DiveData& data, double t) const;
};

// The errors of a loaded dataset's solution against its motion.
DiveErrors ComputeDiveErrors(const DiveData& data);

// The colour class of an error against two thresholds: 0 below `low`, 1
// below `high`, 2 at or above it.
inline int ErrorClass(float error, float low, float high)
{
    return error < low ? 0 : error < high ? 1 : 2;
}
