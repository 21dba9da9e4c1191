#include "hud/hud_text.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

double Length(double x, double y, double z)
{
    return std::sqrt(x * x + y * y + z * z);
}

}  // namespace

HudReading HudReadingAt(const GeoFrame& frame, const LocalPoint& position, const Vector3& velocity)
{
    HudReading r;
    const GeoPoint where = frame.ToGeographic(position);
    r.latitude = where.latitude;
    r.longitude = where.longitude;
    r.depth = -position.y + 0.0;  // + 0.0: the surface shows 0.00, not -0.00
    r.speed = Length(velocity.x, velocity.y, velocity.z) / kHudMetresPerSecondPerKnot;
    return r;
}

namespace {

// Whole degrees, whole minutes and seconds of |a|, the seconds rounded to
// the three decimals shown. All three come from one count of thousandths of
// a second, so a value that rounds up to a whole minute carries into the
// minutes (and degrees) instead of showing 60.000 seconds. Kept in double, so
// a damaged position prints "nan" or a long number instead of overflowing an int.
struct Dms {
    double degrees, minutes, seconds;
};

Dms ToDms(double a)
{
    const double thousandths = std::round(std::fabs(a) * 3600000.0);
    return {std::floor(thousandths / 3600000.0), std::floor(std::fmod(thousandths, 3600000.0) / 60000.0),
            std::fmod(thousandths, 60000.0) / 1000.0};
}

}  // namespace

std::string FormatHudText(const HudReading& r)
{
    const Dms lat = ToDms(r.latitude), lon = ToDms(r.longitude);
    const char ns = r.latitude > 0 ? 'N' : 'S';
    const char ew = r.longitude > 0 ? 'E' : 'W';
    const auto print = [&](char* out, size_t size) {
        return std::snprintf(out, size,
                             "lat: %02.0f\xC2\xB0%02.0f'%06.3f\"%c\nlon: %02.0f\xC2\xB0%02.0f'%06.3f\"%c\n"
                             "depth: %.2f m\nspeed: %.2f knots",
                             lat.degrees, lat.minutes, lat.seconds, ns, lon.degrees, lon.minutes, lon.seconds, ew,
                             r.depth, r.speed);
    };
    const int n = print(nullptr, 0);
    if (n <= 0)
        return std::string();
    std::string text(size_t(n) + 1, '\0');
    print(text.data(), text.size());
    text.resize(size_t(n));
    return text;
}

std::string FormatHudText(const DiveData& data, double t)
{
    if (data.SolutionGapAt(t))
        return kHudNoFix;
    return FormatHudText(HudReadingAt(data.frame, data.SolutionPointAt(t), data.SolutionVelocityAt(t)));
}
