// Dive simulator: makes a "solution.txt" for a manifest the way a buoy-based
// acoustic positioning system would, so a planned dive can be replayed with
// realistic fixes. Used by nerelle-dive; plain C++, deterministic per seed.
#pragma once

#include "dataset/dive_data.h"

#include <cstdint>
#include <cstdio>
#include <functional>
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

// A fix needs three ranges; more buoys than a real array holds would only make
// every fix slower (50,000 buoys over a long dive is a matter of hours).
constexpr size_t kMinSimulatedBuoys = 3;
constexpr size_t kMaxSimulatedBuoys = 64;

// Why a simulation did not run.
enum class SimulationError {
    kNone,
    kMotion,        // the motion cannot be sampled (the DiveLoadError says why)
    kTooFewBuoys,   // fewer than kMinSimulatedBuoys
    kTooManyBuoys,  // more than kMaxSimulatedBuoys
};

// How far a simulation has come: the stage ("sampling the motion", "fixing
// positions" or "writing the solution"), steps done and their total. Called
// now and then; the simulator prints nothing itself.
using SimulationProgress = std::function<void(const char* stage, size_t done, size_t total)>;

// Simulates the manifest's dive. The buoy count is checked before any work;
// motionError is set for kMotion.
SimulationError SimulateDive(DiveManifest& manifest, const DiveSimulationSettings& settings,
                             DiveSimulationResult& result, DiveLoadError& motionError,
                             const SimulationProgress& progress = {});

// Writes the solution text: the buoys as 3-number lines, then one 6-number
// line (position, heading) per step, in the manifest's own axes. False when
// a write fails.
bool WriteSolution(std::FILE* out, const DiveSimulationResult& result, bool swap_y_z,
                   const SimulationProgress& progress = {});
