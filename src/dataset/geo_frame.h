// The one place a dataset's local metres and latitude and longitude turn
// into each other. Nothing else converts.
//
// The local frame has +x east, +z north and y = -depth, so the water surface
// is y = 0 wherever a fix is. A dataset with a geographic origin maps
// latitude and longitude through the azimuthal equidistant projection of
// the WGS84 ellipsoid centred at the origin (distances and bearings from the
// origin are true; a boat 14 km out stays at the surface, which a tangent
// plane would put 15 m under water), and back through its exact reverse.
// Without an origin the bundled dataset's fixed origin and formula stay
// (111111 m a degree of latitude, a degree of longitude shortened with the
// cosine of the latitude), so its HUD texts are as they always were.
// Plain C++, no GL.
#pragma once

#include "math/vector.h"

#include <optional>

inline constexpr double kFixedOriginLatitude = 20.838278;    // degrees north of the local origin
inline constexpr double kFixedOriginLongitude = -79.013672;  // degrees east of the local origin
inline constexpr double kFixedMetresPerDegree = 111111.0;    // along a meridian

struct GeoPoint {
    double latitude = 0.0;   // degrees, north positive
    double longitude = 0.0;  // degrees, east positive
};

using LocalPoint = math::Vector3<double>;  // metres: x east, y up (-depth), z north

class GeoFrame {
public:
    // The fixed frame of datasets without an origin.
    GeoFrame() = default;
    // The frame centred at `origin`; nothing (and no frame) for an origin
    // that is not a latitude in [-90, 90] and a longitude in [-180, 180].
    static std::optional<GeoFrame> AtOrigin(const GeoPoint& origin);

    bool HasOrigin() const { return m_has_origin; }
    const GeoPoint& Origin() const { return m_origin; }  // the fixed origin without one

    // Local position of a point `depth` metres below the surface.
    LocalPoint ToLocal(const GeoPoint& point, double depth) const;
    // Latitude and longitude of a local position (its depth is -y).
    GeoPoint ToGeographic(const LocalPoint& local) const;

private:
    bool m_has_origin = false;
    GeoPoint m_origin{kFixedOriginLatitude, kFixedOriginLongitude};
};
