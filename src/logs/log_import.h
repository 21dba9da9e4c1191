// Importing track logs into a dataset of tracks (dataset/dive_tracks.h):
// each file's format found from its content (NMEA 0183, GPX, KML, CSV), each of
// its tracks a track of the dataset with a role, the positions kept as the
// log has them, an origin and a time base, and a report of every line that
// was dropped and why. `nerelle-dive import` writes the dataset; the
// program opens a log the same way, in memory.
//
// Depth is never guessed: a fix has the diver's depth only where the log
// carries it (a depth extension, a CSV depth column, or a GGA altitude with
// nmea.depth_from_gga_altitude), or where a depth profile is merged in;
// water depths under a boat (DBT, DPT) become a track of their own with the
// role water-depth. Plain C++, no GL; prints nothing.
//
// CSV times in seconds from an unknown start (csv_track_reader.h) count from
// midnight UTC of --date in a track; a track without --date then fails, as
// an NMEA log without a date does.
//
// A depth profile (--depth FILE, a CSV of times and depths, as a dive
// computer writes one, for a float the diver towed) puts its depths on the
// measured track: a fix at track time T gets the profile's depth linearly
// interpolated at profile time T - offset (--depth-offset, default 0); a fix
// outside the profile's first and last samples has no depth, whatever the
// log gave it, so that one track never mixes two sources. A profile in
// seconds from an unknown start has its first sample at the track's first
// fix plus the offset. The report says how many fixes got a depth.
#pragma once

#include "core/status.h"
#include "dataset/dive_tracks.h"
#include "logs/csv_track_reader.h"
#include "logs/nmea_reader.h"
#include "logs/track_log.h"

#include <optional>
#include <string>
#include <vector>

struct ImportOptions {
    NmeaOptions nmea;                 // --date, --depth-from gga-altitude
    std::optional<GeoPoint> origin;   // --origin; default: the centre of the fixes' box, to 1e-6 degrees
    std::string measured;             // --measured NAME; default: the first track with times
    std::string reference;            // --reference NAME; default: the first route
    std::optional<double> gap;        // --gap SECONDS
    CsvColumns columns;               // --columns time=NAME,lat=NAME,lon=NAME,depth=NAME, for every CSV
    std::string depth;                // --depth FILE: a depth profile merged into the measured track
    std::optional<double> depth_offset;  // --depth-offset SECONDS: profile time + offset = track time
};

// Reads one import option (--date, --origin, --depth-from, --measured,
// --reference, --gap, --columns, --depth, --depth-offset) into `options`;
// the tool and the program share it.
// Fails with one line for a value it cannot take, or an option of another.
Status ParseImportOption(const std::string& name, const std::string& value, ImportOptions& options);
// Whether `name` is one of those options.
bool IsImportOption(const std::string& name);
// Fails with one line for options that do not go together: --depth-offset
// without --depth, or --depth with --depth-from.
Status CheckImportOptions(const ImportOptions& options);

// What one log file gave.
struct ImportedFile {
    std::string path;     // as given
    std::string format;   // "NMEA 0183", "GPX", "KML", "CSV", "CSV depth profile"
    LogReading reading;
};

struct ImportedDataset {
    TrackManifest manifest;
    std::vector<DiveTrack> tracks;   // in the manifest's order, fixes as read (no local positions yet)
    std::vector<ImportedFile> files;  // the logs, then the depth profile
    std::vector<std::string> notes;   // one line each, e.g. that a log has no diver depth

    size_t FixCount() const;
    size_t DroppedCount() const;
};

// Reads every log (and the depth profile) and puts the dataset together.
// Fails, naming the file, when a file cannot be read or its format told, a
// log needs a date, a log is a depth profile or the profile is not one, or a
// role names no track; and as CheckImportOptions does. Zero fixes is not a failure here: the caller decides.
Status ImportLogs(const std::vector<std::string>& paths, const ImportOptions& options, ImportedDataset& dataset);

// The report: per file its format and counts, the first dropped lines of
// each reason as `FILE:LINE: reason: "excerpt"` (then "and N more"), and a
// count per reason; then the notes. Lines end in a line feed.
std::string FormatImportReport(const ImportedDataset& dataset);

// Writes the dataset into `directory` whole or not at all: built beside it
// under a temporary name and renamed when complete, with the logs copied
// unchanged into its "source" directory. An existing directory is refused
// unless `overwrite`.
Status WriteImportedDataset(const ImportedDataset& dataset, const std::string& directory, bool overwrite);
