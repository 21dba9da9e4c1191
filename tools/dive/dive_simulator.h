// Dive simulator: makes a "solution.txt" for a manifest the way a buoy-based
// acoustic positioning system would, so a planned dive can be replayed with
// realistic fixes. Used by nerelle-dive; plain C++, deterministic per seed.
#pragma once

#include "dataset/dive_data.h"

#include <cstdint>
#include <string>
#include <vector>

struct DiveSimulationSettings {
    uint64_t seed = 1;           // random stream; the same seed gives the same file
    double range_noise = 0.15;   // metres: standard deviation of the timing noise times the sound speed
    double depth_noise = 0.05;   // metres: standard deviation of the pressure-sensor depth
};

struct DiveSimulationResult {
    std::vector<Vector3> truth;       // planned positions (the sampled motion), world axes
    std::vector<Vector3> fixes;       // least-squares positions, world axes
    std::vector<Vector3> headings;    // direction of travel of the fixes, world axes
    std::vector<Vector3> buoys;       // buoy positions, world axes
    double rms_error = 0.0;           // root mean square of |fix - truth|, metres
    double max_error = 0.0;           // largest |fix - truth|, metres
};

constexpr double kSoundSpeed = 1500.0;  // metres per second in sea water

// Simulates the manifest's dive. False when the motion cannot be sampled
// (error says why) or the manifest has fewer than three buoys.
bool SimulateDive(DiveManifest& manifest, const DiveSimulationSettings& settings,
                  DiveSimulationResult& result, DiveLoadError& error);

// The solution text: the buoys as 3-number lines, then one 6-number line
// (position, heading) per step, in the manifest's own axes.
std::string FormatSolution(const DiveSimulationResult& result, bool swap_y_z);
