// Datasets of fixes with their own times: the manifest keys that name a
// geographic origin, the UTC time of playback time 0 and the tracks, and the
// CSV file of each track. A person can read and edit all of it:
//
//   manifest.txt (besides, or instead of, the motion expressions):
//     origin=60.080000,23.540000
//     epoch=2019-04-07T23:59:59.000Z
//     gap=10                                  (optional: seconds that break a track)
//     track=NAME,ROLE,FILE                    (one per track; ROLE measured,
//                                              reference, other or water-depth)
//   FILE (one per track):
//     utc,lat,lon,depth,quality,hdop,receivers,source
//     2019-04-07T23:59:59.000Z,60.080123456,23.540123456,12.50,1,0.9,10,boat.log:12
//
// Latitude and longitude in degrees with 9 decimals, depth in metres below
// the surface; empty fields where the log had no value (a route has no utc).
// `source` is FILE:LINE of the log the fix came from. Plain C++, no GL;
// parsers return a Status and print nothing.
#pragma once

#include "core/status.h"
#include "dataset/geo_frame.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

enum class TrackRole { kMeasured, kReference, kOther, kWaterDepth };

// "measured", "reference", "other", "water-depth".
const char* TrackRoleName(TrackRole role);
bool ParseTrackRole(const std::string& text, TrackRole& role);

inline constexpr double kNoTime = std::numeric_limits<double>::quiet_NaN();

struct TrackFix {
    double utc = kNoTime;                                    // seconds since 1970-01-01T00:00:00Z; NaN in a route
    GeoPoint where;                                          // as the file has it
    double depth = std::numeric_limits<double>::quiet_NaN(); // metres below the surface; NaN when none
    int quality = -1;                                        // -1 when none
    double hdop = std::numeric_limits<double>::quiet_NaN();
    int receivers = -1;
    std::string source;                                      // "FILE:LINE"

    // Filled by the loader.
    double t = kNoTime;  // playback time: utc - epoch; NaN in a route
    LocalPoint local;    // position in the dataset's local frame (depth 0 when none)
    bool gap_before = false;  // more than the gap threshold after the fix before it
};

struct DiveTrack {
    std::string name;
    TrackRole role = TrackRole::kOther;
    std::string file;            // relative to the dataset directory
    bool route = false;          // no times: a planned path
    std::vector<TrackFix> fixes;
};

// The keys of a manifest that make it a dataset of tracks.
struct TrackManifest {
    struct Entry {
        std::string name;
        TrackRole role = TrackRole::kOther;
        std::string file;
    };
    std::optional<GeoPoint> origin;
    double epoch = kNoTime;        // seconds since 1970 of playback time 0
    std::optional<double> gap;     // seconds; the default is worked out from the fixes
    std::vector<Entry> tracks;

    bool Empty() const { return !origin && std::isnan(epoch) && !gap && tracks.empty(); }
};

// Picks the origin=, epoch=, gap= and track= lines out of a manifest text,
// leaving every other line to the expressions' reader. Fails, naming the
// line, on a key line it cannot read.
Status ReadTrackManifest(const std::string& text, TrackManifest& manifest);
// The manifest lines of `manifest`, each ending in a line feed.
std::string FormatTrackManifest(const TrackManifest& manifest);

// The fixes of a track file; `file` names it in the reasons ("FILE:LINE: ...").
Status ReadTrackCsv(const std::string& text, const std::string& file, std::vector<TrackFix>& fixes);
// One fix's "utc,lat,lon,depth,quality,hdop,receivers" fields as the track
// file (and the export) write them.
std::string FormatFixCsvFields(const TrackFix& fix);
// The track file of `fixes`, header first.
std::string FormatTrackCsv(const std::vector<TrackFix>& fixes);

// ISO 8601 UTC times: "2019-04-07T23:59:59.000Z" (fractions of any length,
// "Z" or an offset such as "+02:00" when reading) and seconds since 1970.
bool ParseUtc(const std::string& text, double& utc);
std::string FormatUtc(double utc);  // milliseconds, "Z"
// Days from 1970-01-01 to a day of the proleptic Gregorian calendar,
// without a time zone or a library (every log reader dates its fixes so).
int64_t DaysFromCivil(int year, int month, int day);

// Default gap threshold of fixes at these times: 5 times the median
// interval, and at least 5 s.
double DefaultGapThreshold(const std::vector<TrackFix>& fixes);
