// Importing track logs into a dataset of tracks (dataset/dive_tracks.h):
// each file's format found from its content (NMEA 0183, GPX, KML), each of
// its tracks a track of the dataset with a role, the positions kept as the
// log has them, an origin and a time base, and a report of every line that
// was dropped and why. `nerelle-dive import` writes the dataset; the
// program opens a log the same way, in memory.
//
// Depth is never guessed: a fix has the diver's depth only where the log
// carries it (a depth extension, or a GGA altitude with
// nmea.depth_from_gga_altitude); water depths under a boat (DBT, DPT)
// become a track of their own with the role water-depth. Plain C++, no GL;
// prints nothing.
#pragma once

#include "core/status.h"
#include "dataset/dive_tracks.h"
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
};

// Reads one import option (--date, --origin, --depth-from, --measured,
// --reference, --gap) into `options`; the tool and the program share it.
// Fails with one line for a value it cannot take, or an option of another.
Status ParseImportOption(const std::string& name, const std::string& value, ImportOptions& options);
// Whether `name` is one of those options.
bool IsImportOption(const std::string& name);

// What one log file gave.
struct ImportedFile {
    std::string path;     // as given
    std::string format;   // "NMEA 0183", "GPX", "KML"
    LogReading reading;
};

struct ImportedDataset {
    TrackManifest manifest;
    std::vector<DiveTrack> tracks;   // in the manifest's order, fixes as read (no local positions yet)
    std::vector<ImportedFile> files;
    std::vector<std::string> notes;  // one line each, e.g. that a log has no diver depth

    size_t FixCount() const;
    size_t DroppedCount() const;
};

// Reads every log and puts the dataset together. Fails, naming the file,
// when a file cannot be read or its format told, a log needs a date, or a
// role names no track. Zero fixes is not a failure here: the caller decides.
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
