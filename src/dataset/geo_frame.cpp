#include "dataset/geo_frame.h"

#ifndef NERELLE_WEB
#include <GeographicLib/AzimuthalEquidistant.hpp>
#include <GeographicLib/Geodesic.hpp>
#endif

#include <cmath>
#include <numbers>

#ifdef NERELLE_WEB

// The page has no GeographicLib: it replays datasets of the fixed frame and
// refuses a geographic origin, so the loader says the dataset needs the
// desktop program.
std::optional<GeoFrame> GeoFrame::AtOrigin(const GeoPoint&)
{
    return std::nullopt;
}

#else

std::optional<GeoFrame> GeoFrame::AtOrigin(const GeoPoint& origin)
{
    if (!(std::fabs(origin.latitude) <= 90.0) || !(std::fabs(origin.longitude) <= 180.0))
        return std::nullopt;
    GeoFrame frame;
    frame.m_has_origin = true;
    frame.m_origin = origin;
    return frame;
}

namespace {

const GeographicLib::AzimuthalEquidistant& Projection()
{
    static const GeographicLib::AzimuthalEquidistant projection(GeographicLib::Geodesic::WGS84());
    return projection;
}

}  // namespace

#endif

LocalPoint GeoFrame::ToLocal(const GeoPoint& point, double depth) const
{
    const double y = -depth + 0.0;  // + 0.0: the surface is 0, not -0
    double x = 0.0, z = 0.0;
#ifndef NERELLE_WEB
    if (m_has_origin) {
        Projection().Forward(m_origin.latitude, m_origin.longitude, point.latitude, point.longitude, x, z);
        return {x, y, z};
    }
#endif
    z = (point.latitude - m_origin.latitude) * kFixedMetresPerDegree;
    const double cos_latitude = std::cos(point.latitude * (std::numbers::pi / 180.0));
    x = (point.longitude - m_origin.longitude) * cos_latitude * kFixedMetresPerDegree;
    return {x, y, z};
}

GeoPoint GeoFrame::ToGeographic(const LocalPoint& local) const
{
    GeoPoint point;
#ifndef NERELLE_WEB
    if (m_has_origin) {
        Projection().Reverse(m_origin.latitude, m_origin.longitude, local.x, local.z, point.latitude,
                             point.longitude);
        return point;
    }
#endif
    point.latitude = local.z / kFixedMetresPerDegree + m_origin.latitude;
    // A degree of longitude shortens with the cosine of the latitude.
    const double cos_latitude = std::cos(point.latitude * (std::numbers::pi / 180.0));
    point.longitude = local.x / (cos_latitude * kFixedMetresPerDegree) + m_origin.longitude;
    return point;
}
