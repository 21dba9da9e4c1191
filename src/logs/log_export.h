// Writing a loaded dataset's tracks as files the usual tools open: GPX 1.1
// (one trk per track; ele = -depth, time, hdop, sat, the depth as
// gpxtpx:depth), KML (one gx:Track per track, absolute altitude) or CSV with
// the header "track,utc,lat,lon,depth,quality,hdop,receivers,error", one line
// per fix (error: the measured fix's distance from the reference, metres).
//
// Latitude and longitude are the dataset's own where it has them (a dataset
// of tracks keeps the log's); a dataset of the fixed frame gives its
// positions through that frame, its solution as the measured track and its
// motion as the reference, at playback times from 1970 when it has no epoch.
// Plain C++, no GL; prints nothing.
#pragma once

#include "core/status.h"
#include "dataset/dive_data.h"

#include <string>

enum class ExportFormat { kGpx, kKml, kCsv };

// The format an output file's extension names (.gpx, .kml, .csv, any case);
// false for another.
bool ExportFormatOf(const std::string& path, ExportFormat& format);

// The text of the export.
std::string FormatExport(const DiveData& data, ExportFormat format);
