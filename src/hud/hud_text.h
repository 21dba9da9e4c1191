// The HUD status text: the diver's latitude, longitude, depth and speed as
// the four lines the HUD panel shows every frame.
//
// The dataset's local frame is metric (x east, z north, y up, y = 0 at the
// water surface); its GeoFrame (dataset/geo_frame.h) turns a position into
// latitude and longitude, shown here in degrees, minutes and seconds, and
// the solution's velocity at the playback time (a fit over about a second of
// positions) into a speed in knots. In a gap between fixes the panel says
// "no fix" instead of inventing a position.
// Called by the application's frame (the text then goes to its CTextBlock) and
// by `nerelle-dive check --hud`, so the panel's numbers can be checked against
// a dataset. Plain C++, no GL.
#pragma once

#include <string>

#include "dataset/dive_data.h"
#include "math/vector.h"

inline constexpr double kHudMetresPerSecondPerKnot = 0.514444;
// What the panel says for a time in a gap between fixes.
inline constexpr char kHudNoFix[] = "no fix";

// What the panel shows, before formatting.
struct HudReading {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
    double depth = 0;      // metres below the surface (negative above it)
    double speed = 0;      // knots
};

// Reading of a position of `frame` moving at `velocity` metres per second.
HudReading HudReadingAt(const GeoFrame& frame, const LocalPoint& position, const Vector3& velocity);

// The four lines, UTF-8, no final line feed:
// "lat: DD°MM'SS.SSS\"N", "lon: DDD°MM'SS.SSS\"W", "depth: D.DD m", "speed: S.SS knots".
std::string FormatHudText(const HudReading& reading);

// The text for playback time t of a dataset: the solution position and
// velocity at t (DiveData::SolutionPointAt and SolutionVelocityAt) in the
// dataset's frame, or kHudNoFix in a gap.
std::string FormatHudText(const DiveData& data, double t);
