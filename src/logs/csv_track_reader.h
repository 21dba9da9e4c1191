// Reads a CSV log, one row a line under a header row that names its columns,
// into one LogTrack of fixes (time, latitude, longitude, perhaps depth) or,
// without position columns, into a depth profile (a dive computer's times
// and depths, LogReading::depth_profile).
//
// Header. The first line that is neither blank nor a '#' comment (after an
// optional UTF-8 byte order mark). Its separator is the one of comma,
// semicolon and tab it holds most often outside double quotes (on a tie tab,
// then semicolon). It needs two names or more, none of them a number, so that
// a file without a header is not read as one. Columns are found by name,
// trimmed and in any case: time, utc, timestamp, date time, datetime;
// lat, latitude; lon, lng, long, longitude; depth, depth_m, depth (m); the
// first matching column wins. CsvColumns names other columns and wins over
// those; a name it gives that a header lacks leaves the usual names for that
// file, so one --columns serves a track and its depth profile. A time column
// is needed, and latitude and longitude come together; without them a depth
// column makes the file a depth profile.
//
// Rows. At most kCsvMaxLine bytes each (a longer one is dropped as "line too
// long" without being held); blank lines and '#' comments are skipped. A
// field in double quotes may hold the separator ("" is one quote); a row
// ends at its line end. Numbers are decimal (a leading + or -, no exponent);
// with a semicolon or tab separator a decimal comma is read too. Latitude and
// longitude are degrees, depth metres below the surface (an empty depth in a
// track is no depth). A row is dropped, with a short reason, for a quote left
// open ("bad quotes"), too few fields for its time and position (or profile
// depth) or an empty one ("missing field"), an unreadable time ("bad time"), latitude beyond
// 90 or longitude beyond 180 degrees ("bad latitude", "bad longitude"), an
// unreadable depth or one beyond 12000 m ("bad depth"), or a time not after
// the last row kept ("repeated time", "time runs backwards"): a replay must
// not go back.
//
// Times. ISO 8601 as ParseUtc reads it ("2019-04-07T23:59:59Z", an offset or
// no zone, which is UTC; a space for the T is taken too), or a number of
// seconds: above 1e8 (March 1973) seconds since 1970-01-01 UTC, else seconds
// from an unknown start, and LogReading::relative_times is set. The first
// readable time decides which; a row with a time of the other kind is a bad
// time. The reader dates nothing: relative seconds stay as they are, for the
// import to place (log_import.h).
#pragma once

#include "core/status.h"
#include "logs/track_log.h"

#include <cstddef>
#include <istream>
#include <string>

inline constexpr size_t kCsvMaxLine = 4096;  // bytes of a line, CR included

// Header names of the columns (--columns time=...,lat=...,lon=...,depth=...);
// empty: the usual names.
struct CsvColumns {
    std::string time, latitude, longitude, depth;
};

// "time=NAME,lat=NAME,lon=NAME,depth=NAME", any of them, in any order, each
// at most once. Fails with one line, leaving `columns` as it was.
Status ParseCsvColumns(const std::string& text, CsvColumns& columns);

// Ok once the whole stream was read, with any number of rows kept. Fails
// with one line, adding no track or sample, when the header is missing, too
// long or names no time column, a latitude without a longitude (or the
// reverse), or neither a position nor a depth; and when the stream breaks.
Status ReadCsvTrack(std::istream& in, const CsvColumns& columns, LogReading& reading);

// For telling the format by content: whether `head`, the first bytes of a
// file, starts with a header row as ReadCsvTrack takes one.
bool LooksLikeCsvTrack(const std::string& head);
