// The HUD status text: the diver's latitude, longitude, depth and speed as
// the four lines the HUD panel shows every frame.
//
// The dataset's local frame is metric (x east, z north, y up, y = 0 at the
// water surface) with a fixed geographic origin; this converts a position in
// it to degrees, minutes and seconds, and the solution's velocity at the
// playback time (a fit over about a second of positions) to a speed in knots.
// Called by the application's frame (the text then goes to its CTextBlock) and
// by `nerelle-dive check --hud`, so the panel's numbers can be checked against
// a dataset. Plain C++, no GL.
#pragma once

#include <string>

#include "dataset/dive_data.h"
#include "math/vector.h"

inline constexpr double kHudOriginLatitude = 20.838278;    // degrees north of the local origin
inline constexpr double kHudOriginLongitude = -79.013672;  // degrees east of the local origin
inline constexpr double kHudMetresPerDegree = 111111.0;    // along a meridian
inline constexpr double kHudMetresPerSecondPerKnot = 0.514444;

// What the panel shows, before formatting.
struct HudReading {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
    double depth = 0;      // metres below the surface (negative above it)
    double speed = 0;      // knots
};

// Reading of a position moving at `velocity` metres per second.
HudReading HudReadingAt(const Vector3& position, const Vector3& velocity);

// The four lines, UTF-8, no final line feed:
// "lat: DD°MM'SS.SSS\"N", "lon: DDD°MM'SS.SSS\"W", "depth: D.DD m", "speed: S.SS knots".
std::string FormatHudText(const HudReading& reading);

// The text for playback time t of a dataset: the solution position and
// velocity at t (DiveData::SolutionPositionAt and SolutionVelocityAt).
std::string FormatHudText(const DiveData& data, double t);
