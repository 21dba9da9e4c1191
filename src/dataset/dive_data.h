// Dive data: what a dataset directory holds ("manifest.txt" and
// "solution.txt"), read into memory, and the time queries over it.
//
// DiveDataset (dive_dataset.h) builds on this to upload and draw the tracks;
// the tools (nerelle-dive) and the tests use it directly, without GL.
// DiveData owns its lists; DiveManifest owns the three compiled motion
// expressions. Loading throws std::runtime_error with one of the six fixed
// messages of DiveLoadMessage; the parsers underneath return a DiveLoadError
// and print nothing.
#pragma once

#include "dataset/dive_tracks.h"
#include "dataset/expression.h"
#include "dataset/geo_frame.h"
#include "math/vector.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The dataset the program replays, relative to its working directory.
inline constexpr char kDefaultDiveDirectory[] = "data/spiral_long";

// Why a dataset could not be loaded.
enum class DiveLoadError {
    kNone,
    kOpenSolution,     // "failed to open solution"
    kReadSolution,     // "failed to read solution"
    kOpenManifest,     // "failed to open manifest"
    kReadManifest,     // "failed to read manifest"
    kInterpretMotion,  // "failed to interpret diver motion"
    kCalculateMotion,  // "failed to calculate diver motion"
};

// The fixed message of an error ("" for kNone).
const char* DiveLoadMessage(DiveLoadError error);

// More motion samples than this would not fit any real dive; such a manifest
// is rejected instead of filling memory.
constexpr size_t kMaxMotionSamples = 10000000;

// Reports how far a long step has come: steps done of total. Called now and
// then (not for every step), from the loading thread; the library prints
// nothing, so a tool that wants a progress line prints it here.
using DiveProgress = std::function<void(size_t done, size_t total)>;

// The manifest: duration, step, motion expressions, buoys and axis swap.
class DiveManifest {
public:
    double time = 0.0;            // end of the motion, seconds
    double dt = 0.0;              // time step of the motion track and the solution lines
    CExpression motion[3];        // x, y, z of the diver as expressions of t
    std::vector<Vector3> buoys;   // buoy lines in file order, y and z swapped if swap_y_z
    int swap_y_z = 0;             // non-zero: the file's y and z are exchanged

    // Parses the whole manifest text (time, dt, motion line, buoy count,
    // buoys, optional swap flag).
    DiveLoadError Read(const std::string& text);
    // Appends the sampled motion (swapped if swap_y_z) to track: expression
    // times 1, 1 + dt, 1 + dt + dt, ... while below time + dt/2.
    DiveLoadError Sample(std::vector<Vector3>& track, const DiveProgress& progress = {});
    // How many samples Sample takes (time and dt as read).
    size_t SampleCount() const;
    // The motion at expression time t, in double precision (swapped if swap_y_z).
    DiveLoadError PositionAt(double t, double position[3]);
};

// Solution lines that are not empty but have neither 3 nor 6 space-separated
// pieces, which the format ignores (tabs do not separate, so a tab-separated
// file loads with no solution at all). Kept so a caller can warn about them.
struct IgnoredLines {
    static constexpr size_t kMaxExcerpt = 120;  // bytes of the first line kept

    size_t count = 0;        // lines ignored
    size_t first_number = 0; // 1-based line number of the first, 0 when none
    std::string first_text;  // its trimmed text, cut to kMaxExcerpt bytes
    bool first_cut = false;  // first_text is only the start of the line
};

// "N solution line(s) ignored (...); the first, line L: "TEXT"", with control
// characters written as \t, \r or \xNN so a tab shows. For a "warning: " line.
std::string DescribeIgnoredLines(const IgnoredLines& ignored);

// Seconds of solution positions that SolutionVelocityAt takes on either side
// of the step at t.
inline constexpr double kSolutionVelocityReach = 0.5;

// The loaded data and its time queries.
//
// A dataset of tracks (dive_tracks.h) fills the same lists the program
// draws: the measured track's fixes become the solution positions, the
// reference track's the motion track, each with the playback time of every
// entry (`solution_times`, `motion_times`) instead of the dt grid; `time`
// and `dt` are then worked out from the fixes (dt the median interval).
struct DiveData {
    double time = 0.0;                        // "time=" of the manifest
    double dt = 0.0;                          // "dt=" of the manifest
    std::vector<Vector3> manifest_buoys;      // buoy positions of the manifest
    std::vector<Vector3> motion_track;        // motion sampled at t = 1 + k*dt
    std::vector<Vector3> solution_points;     // 3-number lines of the solution
    std::vector<Vector3> solution_positions;  // first three numbers of each 6-number line
    std::vector<Vector3> solution_directions; // last three numbers of each 6-number line
    IgnoredLines ignored_solution_lines;      // solution lines of neither kind

    // Datasets of tracks (empty or unset otherwise).
    GeoFrame frame;                           // local metres to latitude and longitude
    double epoch = kNoTime;                   // UTC seconds of playback time 0
    std::vector<DiveTrack> tracks;            // in manifest order, fixes in the local frame
    int measured = -1;                        // index of the measured track, -1 when none
    int reference = -1;                       // index of the reference track with times, -1 when none
    double gap = 0.0;                         // seconds between fixes that break a track
    std::vector<double> solution_times;       // playback time of each solution position
    std::vector<uint8_t> solution_gap_before; // 1 where a gap comes before the position
    std::vector<double> motion_times;         // playback time of each motion sample
    std::vector<uint8_t> motion_gap_before;   // 1 where a gap comes before the sample

    // Whether the solution has its own fix times (a dataset of tracks).
    bool Timed() const { return !solution_times.empty(); }
    // Whether track k can be followed: it has times and positions of a
    // diver, boat or float (not water depths).
    bool Selectable(size_t k) const;
    // Makes track k the one the solution lists (and so the HUD, the follow
    // camera and the error figures) follow; false, changing nothing, for a
    // track that is not selectable.
    bool SelectTrack(size_t k);

    // Reads "<directory>/solution.txt" and "<directory>/manifest.txt"; throws
    // std::runtime_error with the message of DiveLoadMessage. progress follows
    // the sampling of the motion, the only step that can take long.
    void Load(const std::string& directory, const DiveProgress& progress = {});

    // Position on the solution at playback time t; (0, 0, 0) without positions.
    Vector3 SolutionPositionAt(double t) const;
    // The same in double precision, from the fixes themselves in a dataset
    // of tracks (so at a fix's time it is that fix exactly).
    LocalPoint SolutionPointAt(double t) const;
    // True when playback time t falls in a gap between two fixes of the
    // solution: there is no position to show for it.
    bool SolutionGapAt(double t) const;
    // Position on the sampled motion at playback time t; (0, 0, 0) without samples.
    Vector3 MotionPositionAt(double t) const;
    // Unit heading at playback time t, or zero.
    Vector3 SolutionDirectionAt(double t) const;
    // The two solution positions that bracket playback time t (the ones
    // SolutionPositionAt interpolates; equal at the end of the list), dt
    // apart in time. False without positions.
    bool SolutionStepAt(double t, Vector3& from, Vector3& to) const;
    // Velocity on the solution at playback time t, in metres per second: the
    // slope of the least-squares line through the solution positions from
    // kSolutionVelocityReach before the step that brackets t to as long after
    // it, cut short at the ends of the list. One step alone carries the noise
    // of two fixes; about a second of them averages it out. Zero when no step
    // brackets t: no positions, dt not a positive time, or t held on the last
    // position.
    Vector3 SolutionVelocityAt(double t) const;

    // The playback period, time - 1: the motion is sampled from t = 1 on, so
    // playback repeats after that many seconds. Every time lookup wraps with
    // it; nothing else does. 0 for data that never wraps (time <= 1).
    double Period() const { return time > 1.0 ? time - 1.0 : 0.0; }

    // Where playback time t falls in a list of count entries: entry i, the
    // next entry j (clamped to the last) and the fraction f of the way to it.
    // Playback wraps with the period; negative or NaN times count as 0.
    // With `times` (the entries' playback times, ascending) the entries are
    // found by time, else on the dt grid. False when count is 0.
    bool Lookup(double t, size_t count, size_t& i, size_t& j, float& f,
                const std::vector<double>* times = nullptr) const;
    // Playback time t wrapped into the period (negative or NaN: 0).
    double Wrapped(double t) const;

private:
    // The tracks of a manifest with track= lines (and its expressions, when
    // it starts with them), into the lists the program draws.
    void LoadTracks(const std::string& directory, const std::string& manifest_text, const TrackManifest& manifest,
                    const DiveProgress& progress);
    // The solution lists from track k.
    void FillSolution(size_t k);
    // SolutionVelocityAt of a dataset of tracks: a fit over the fixes' own times.
    Vector3 TimedVelocityAt(double t) const;
};

// Appends the lines of a solution text to data's three solution lists.
DiveLoadError ReadSolutionText(const std::string& text, DiveData& data);
