// GPX 1.0/1.1 and KML track logs read into a LogReading. The format is told
// by the document's root element (gpx or kml), never by the file name.
//
// GPX: each trk is one track, its trkseg joined in order (a segment break is
// a gap in time, which the fixes' times show anyway); each rte is one route.
// Waypoints are ignored. GPX elements are those with the root's prefix.
// Per point: lat, lon; ele -> altitude; time -> utc; hdop; sat -> receivers;
// fix none drops the point ("no fix"), 2d/3d -> 1, dgps -> 2, pps -> 3.
// The diver's depth comes only from the first depth element inside the point
// (in its extensions; in GPX 1.0 directly in it), and its namespace gives
// the unit: a namespace URI containing "humminbird" is centimetres, Garmin's
// TrackPointExtension namespaces and an unprefixed depth are metres; a depth
// under any other prefix, bound or not, is left out rather than guessed.
//
// KML: every gx:Track, gx:MultiTrack and LineString, named after its
// Placemark. A gx:Track pairs its when and gx:coord ("lon lat [alt]") in
// order; a gx:MultiTrack is one track, its gx:Tracks joined in order, as in a
// GPX trk; a LineString ("lon,lat[,alt]" tuples) is a route without times.
// Altitudes are kept as the log gives them whatever the altitudeMode: they
// never become depths, so absolute and relative heights need no telling apart.
//
// Times are ISO 8601 date-times with Z, an offset or no zone (taken as UTC),
// seconds possibly fractional. A point with a missing, unreadable or out of
// range latitude or longitude, or an unreadable time, is dropped with a short
// reason; an unreadable ele, hdop, sat or depth only leaves that value out.
// Tracks with no fix left are not kept. `lines` counts the points read.
#pragma once

#include "core/status.h"
#include "logs/track_log.h"

#include <cstddef>
#include <string>

// Larger documents are refused: pugixml holds the whole tree in memory.
inline constexpr size_t kMaxXmlTrackBytes = size_t{512} << 20;

// Reads `text` (UTF-8) and adds its tracks, dropped points and point count to
// `reading`. Fails, leaving `reading` as it was, when the text is larger than
// kMaxXmlTrackBytes, is not XML, or its root is neither gpx nor kml.
Status ReadXmlTracks(const std::string& text, LogReading& reading);

// For telling the format by content: true when `head`, the first bytes of a
// file, is the start of an XML document whose root element is gpx or kml
// (after an optional byte order mark, declaration, comments and doctype).
bool LooksLikeXmlTrack(const std::string& head);
