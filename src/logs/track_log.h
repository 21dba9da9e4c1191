// What a track log holds once read, whatever its format: tracks of fixes
// with their UTC times, positions in WGS84 degrees, the diver's depth where
// the log carries it, and the fix quality; water depths under a boat; and the
// lines the reader dropped, each with its reason.
//
// The readers (nmea_reader.h, xml_track_reader.h, csv_track_reader.h) fill
// one LogReading from one file and print nothing. They keep what they drop bounded: the first
// kKeptPerReason lines of each reason with an excerpt, and a count of all.
// Plain C++, no GL.
#pragma once

#include "core/status.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct LogFix {
    double utc = kNoValue;       // seconds since 1970-01-01T00:00:00Z; NaN in a route (no times)
    double latitude = 0.0;       // degrees, north positive, WGS84
    double longitude = 0.0;      // degrees, east positive
    double depth = kNoValue;     // the diver's depth, metres below the surface; NaN when the log has none
    double altitude = kNoValue;  // metres above the ellipsoid or sea level as the log gives it; NaN when none
    int quality = -1;            // fix quality (NMEA GGA 1..8, GPX fix); -1 when the log has none
    double hdop = kNoValue;      // horizontal dilution of precision; NaN when none
    int receivers = -1;          // satellites (or acoustic receivers) used; -1 when none
    uint64_t line = 0;           // 1-based line of the source file the fix came from
};

// A water depth under a boat (NMEA DBT/DPT): never the diver's depth.
struct WaterDepth {
    double utc = kNoValue;  // time of the fix it belongs to (the last time seen before it)
    double depth = 0.0;     // metres below the transducer (DPT: plus its offset when positive)
    uint64_t line = 0;
};

// A diver's depth without a position: a sample of a dive computer's profile.
struct DepthSample {
    double time = kNoValue;  // seconds since 1970, or from the profile's start (LogReading::relative_times)
    double depth = 0.0;      // metres below the surface
    uint64_t line = 0;
};

struct LogTrack {
    std::string name;            // from the log (GPX <name>, KML <name>), or empty
    bool route = false;          // a planned path without times (GPX rte, KML LineString)
    std::vector<LogFix> fixes;   // in log order
};

struct DroppedLine {
    uint64_t line = 0;     // 1-based
    std::string reason;    // short and fixed, e.g. "bad checksum", "no fix (quality 0)"
    std::string excerpt;   // the line's text, cut to kExcerptBytes
};

struct LogReading {
    static constexpr size_t kKeptPerReason = 5;  // dropped lines kept with their text, per reason
    static constexpr size_t kExcerptBytes = 80;

    std::vector<LogTrack> tracks;
    std::vector<WaterDepth> water_depths;
    std::vector<DepthSample> depth_profile;      // a log of times and depths only
    bool relative_times = false;                 // times count from an unknown start, not from 1970
    std::vector<DroppedLine> dropped;            // the first kKeptPerReason of each reason
    std::map<std::string, size_t> dropped_count; // every dropped line, by reason
    size_t lines = 0;                            // lines (or records) read
    size_t without_checksum = 0;                 // NMEA sentences read without a checksum

    // Counts a dropped line and keeps it while its reason has fewer than
    // kKeptPerReason kept.
    void Drop(uint64_t line, const std::string& reason, const std::string& text);
    // Every fix of every track.
    size_t FixCount() const;
};

// Calls `line` with each line of `in` without its line feed (a CR before it
// stays), and with too_long set and the first max_line bytes for a longer
// line, whose rest is skipped without being held. Stops when `line` returns
// false. Fails when the stream breaks before its end.
Status ForEachLine(std::istream& in, size_t max_line,
                   const std::function<bool(std::string_view text, bool too_long)>& line);
