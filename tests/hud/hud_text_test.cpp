// The HUD status text, without a context.
#include "hud/hud_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Northing that puts a position at latitude `lat`.
float NorthOf(double lat)
{
    return float((lat - kFixedOriginLatitude) * kFixedMetresPerDegree);
}

TEST(HudTextTest, ReadingsFormatAsFourLines)
{
    struct Case {
        const char* name;
        HudReading reading;
        const char* text;
    };
    const Case cases[] = {
        {"north and west",
         {20.838288, -79.013672, 12.345, 0.97},
         "lat: 20\u00b050'17.837\"N\nlon: 79\u00b000'49.219\"W\ndepth: 12.35 m\nspeed: 0.97 knots"},
        // Absolute values with S and E; degrees and minutes keep two digits,
        // seconds six characters; a height above the surface is a negative depth.
        {"south and east",
         {-0.5, 123.25, -3.5, 0.0},
         "lat: 00\u00b030'00.000\"S\nlon: 123\u00b015'00.000\"E\ndepth: -3.50 m\nspeed: 0.00 knots"},
        {"zero is south and west",
         {0.0, 0.0, 0.0, 12.345},
         "lat: 00\u00b000'00.000\"S\nlon: 00\u00b000'00.000\"W\ndepth: 0.00 m\nspeed: 12.35 knots"},
        {"small seconds",
         {1.0 + 5.5 / 3600.0, -(2.0 + 7.0 / 60.0), 100.0, 1.5},
         "lat: 01\u00b000'05.500\"N\nlon: 02\u00b007'00.000\"W\ndepth: 100.00 m\nspeed: 1.50 knots"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatHudText(c.reading), c.text) << c.name;
}

// Line n (from 0) of a HUD text.
std::string LineOf(const std::string& text, int n)
{
    size_t start = 0;
    for (; n > 0; --n)
        start = text.find('\n', start) + 1;
    return text.substr(start, text.find('\n', start) - start);
}

TEST(HudTextTest, SecondsThatRoundToSixtyCarryIntoMinutesAndDegrees)
{
    // Degrees, minutes and seconds as separate arguments, for readable cases.
    const auto dms = [](double d, double m, double s) { return d + m / 60.0 + s / 3600.0; };
    struct Case {
        double value;
        const char* lat;  // the first line with value as the latitude
        const char* lon;  // the second line with value as the longitude
    };
    const Case cases[] = {
        {dms(20, 50, 59.9994), "lat: 20\u00b050'59.999\"N", "lon: 20\u00b050'59.999\"E"},
        {dms(20, 50, 59.9996), "lat: 20\u00b051'00.000\"N", "lon: 20\u00b051'00.000\"E"},
        {-dms(20, 50, 59.9996), "lat: 20\u00b051'00.000\"S", "lon: 20\u00b051'00.000\"W"},
        {dms(20, 51, 0), "lat: 20\u00b051'00.000\"N", "lon: 20\u00b051'00.000\"E"},
        {dms(20, 59, 59.9996), "lat: 21\u00b000'00.000\"N", "lon: 21\u00b000'00.000\"E"},
        {-dms(79, 59, 59.9999), "lat: 80\u00b000'00.000\"S", "lon: 80\u00b000'00.000\"W"},
        {dms(0, 59, 59.9996), "lat: 01\u00b000'00.000\"N", "lon: 01\u00b000'00.000\"E"},
        {dms(179, 59, 59.9997), "lat: 180\u00b000'00.000\"N", "lon: 180\u00b000'00.000\"E"},
        {-dms(0, 0, 59.9996), "lat: 00\u00b001'00.000\"S", "lon: 00\u00b001'00.000\"W"},
    };
    for (const Case& c : cases) {
        const std::string text = FormatHudText(HudReading{c.value, c.value, 0, 0});
        EXPECT_EQ(LineOf(text, 0), c.lat) << c.value;
        EXPECT_EQ(LineOf(text, 1), c.lon) << c.value;
    }
}

TEST(HudTextTest, PositionsConvertAtTheOrigin)
{
    // 0.00111111 m north is 20.838288 degrees; x = 0 is the origin's longitude.
    HudReading r = HudReadingAt(GeoFrame(), LocalPoint(0, 0, NorthOf(20.838288)), {});
    EXPECT_NEAR(r.latitude, 20.838288, 1e-9);
    EXPECT_DOUBLE_EQ(r.longitude, -79.013672);
    EXPECT_EQ(FormatHudText(r),
              "lat: 20\u00b050'17.837\"N\nlon: 79\u00b000'49.219\"W\ndepth: 0.00 m\nspeed: 0.00 knots");
}

TEST(HudTextTest, LongitudeShrinksWithTheCosineOfTheLatitude)
{
    // 1000 m east at 20.8338 degrees north: a degree of longitude is
    // 111111 * cos(20.8338 deg) = 103 846 m there, so the diver is 0.00963
    // degrees east of the origin. Taking the cosine of the degree value as
    // radians would give 0.0224 degrees west.
    HudReading r = HudReadingAt(GeoFrame(), LocalPoint(1000, -12.345f, -500), {});
    const double lat = -500.0 / kFixedMetresPerDegree + kFixedOriginLatitude;
    EXPECT_NEAR(r.longitude - kFixedOriginLongitude, 1000.0 / (111111.0 * std::cos(lat * M_PI / 180.0)), 1e-12);
    EXPECT_NEAR(r.longitude, -79.0040424, 1e-7);
    EXPECT_EQ(FormatHudText(r),
              "lat: 20\u00b050'01.601\"N\nlon: 79\u00b000'14.553\"W\ndepth: 12.35 m\nspeed: 0.00 knots");

    // East and west of the origin mirror each other.
    HudReading west = HudReadingAt(GeoFrame(), LocalPoint(-1000, 0, -500), {});
    EXPECT_NEAR(west.longitude - kFixedOriginLongitude, -(r.longitude - kFixedOriginLongitude), 1e-12);
}

TEST(HudTextTest, VelocityReadsAsItsSpeedInKnots)
{
    struct Case {
        Vector3 velocity;  // metres per second
        double knots;
    };
    const Case cases[] = {
        {{0.514444f, 0, 0}, 1.0},
        {{0, 0, -0.514444f}, 1.0},       // direction does not matter
        {{3, -12, 4}, 13.0 / 0.514444},  // vertical counts too
        {{0, 0, 0}, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(HudReadingAt(GeoFrame(), LocalPoint(1, -2, 3), c.velocity).speed, c.knots, 1e-5) << c.knots;
}

TEST(HudTextTest, DatasetTextUsesThePositionAndVelocityAtT)
{
    DiveData data;
    data.time = 5.0;
    data.dt = 1.0;
    data.solution_positions = {{0, 0, 0}, {0, -2, 0}, {0, -2, 4}};
    // Between entries 1 and 2: 4 m in 1 s, half-way down the step.
    EXPECT_EQ(FormatHudText(data, 1.5), FormatHudText(HudReadingAt(GeoFrame(), LocalPoint(0, -2, 2), Vector3(0, 0, 4))));
    EXPECT_NE(FormatHudText(data, 1.5).find("depth: 2.00 m\nspeed: 7.78 knots"), std::string::npos);
    // Without positions the diver sits at the origin, not moving.
    DiveData empty;
    EXPECT_EQ(FormatHudText(empty, 3.0), FormatHudText(HudReading{kFixedOriginLatitude, kFixedOriginLongitude, 0, 0}));
}

// The number on the speed line of a HUD text.
double SpeedOf(const std::string& text)
{
    return std::strtod(LineOf(text, 3).c_str() + std::strlen("speed: "), nullptr);
}

TEST(HudTextTest, SpeedOfNoisyFixesStaysNearTheTrueSpeed)
{
    // A two-minute descending circle, fixed four times a second with about
    // 0.15 m of noise across and 0.05 m down, as the buoys give: one step
    // alone would read anywhere from a third to three times the true speed.
    constexpr double kRadius = 8.0, kTurn = 0.09, kSink = 0.1;  // m, rad/s, m/s
    const double true_knots = 1.4130;
    DiveData data;
    data.time = 121.0;
    data.dt = 0.25;
    std::mt19937 noise(7);
    const auto jitter = [&](double amplitude) { return amplitude * (2.0 * noise() / double(noise.max()) - 1.0); };
    for (int k = 0; k <= 480; ++k) {
        const double t = k * data.dt;
        // One draw per statement: the order of arguments is unspecified.
        const double east = jitter(0.26), up = jitter(0.09), north = jitter(0.26);
        data.solution_positions.push_back(Vector3(float(kRadius * std::cos(kTurn * t) + east),
                                                  float(-5.0 - kSink * t + up),
                                                  float(kRadius * std::sin(kTurn * t) + north)));
    }
    std::vector<double> knots;
    for (int n = 0; n < 2400; ++n)
        knots.push_back(SpeedOf(FormatHudText(data, n * 0.05)));
    double sum = 0;
    for (double k : knots)
        sum += k;
    std::sort(knots.begin(), knots.end());
    const double mean = sum / double(knots.size()), p10 = knots[knots.size() / 10], p90 = knots[knots.size() * 9 / 10];
    EXPECT_NEAR(mean, true_knots, 0.05 * true_knots);
    EXPECT_GT(p10, 0.7 * true_knots);
    EXPECT_LT(p90, 1.3 * true_knots);
}

TEST(HudTextTest, DamagedPositionsPrintWithoutOverflow)
{
    const std::string huge = FormatHudText(HudReadingAt(GeoFrame(), LocalPoint(3e38f, -3e38f, 3e38f), {}));
    EXPECT_GT(huge.size(), 100u);
    EXPECT_NE(huge.find("lat: "), std::string::npos);
    const std::string nan = FormatHudText(HudReadingAt(GeoFrame(), LocalPoint(NAN, NAN, NAN), {}));
    EXPECT_NE(nan.find("nan"), std::string::npos);
}

}  // namespace

namespace {

TEST(HudTextTest, AGapBetweenFixesSaysNoFixAndAFixShowsItsOwnPosition)
{
    DiveData data;
    data.frame = *GeoFrame::AtOrigin({60.0, 24.0});
    data.time = 32.0;
    data.dt = 1.0;
    data.measured = 0;
    DiveTrack track;
    for (const double t : {0.0, 1.0, 30.0}) {
        TrackFix fix;
        fix.t = t;
        fix.where = {60.0 + t * 1e-5, 24.123456789};
        fix.local = data.frame.ToLocal(fix.where, 2.0);
        data.solution_positions.emplace_back(float(fix.local.x), float(fix.local.y), float(fix.local.z));
        data.solution_times.push_back(t);
        data.solution_gap_before.push_back(t > 10.0);
        track.fixes.push_back(fix);
    }
    data.tracks.push_back(track);
    EXPECT_EQ(FormatHudText(data, 10.0), "no fix");
    // 24.123456789 degrees east is 24 deg 07' 24.444" as the log has it.
    const std::string text = FormatHudText(data, 30.0);
    EXPECT_NE(text.find("lat: 60\u00b000'01.080\"N\nlon: 24\u00b007'24.444\"E\ndepth: 2.00 m"), std::string::npos)
        << text;
}

}  // namespace
