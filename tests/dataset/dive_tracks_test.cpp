// Datasets of tracks: the manifest keys and track files, UTC times, the
// geographic frame, and what the time queries make of fixes with their own
// times and gaps. No context.
#include "dataset/dive_data.h"
#include "dataset/dive_error.h"
#include "dataset/dive_tracks.h"
#include "dataset/geo_frame.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

namespace {

TEST(UtcTime, ReadsIsoTimesAndWritesThemBack)
{
    const struct {
        const char* text;
        double utc;           // independent: days and seconds counted by hand
        const char* written;  // FormatUtc of it
    } cases[] = {
        {"1970-01-01T00:00:00Z", 0.0, "1970-01-01T00:00:00.000Z"},
        {"2000-01-01T00:00:00.000Z", 946684800.0, "2000-01-01T00:00:00.000Z"},
        {"2019-04-07T23:59:59.000Z", 1554681599.0, "2019-04-07T23:59:59.000Z"},
        {"2012-02-29T12:00:00.25Z", 1330516800.25, "2012-02-29T12:00:00.250Z"},
        {"2019-04-08T01:59:59+02:00", 1554681599.0, "2019-04-07T23:59:59.000Z"},
        {"1969-12-31T23:59:59Z", -1.0, "1969-12-31T23:59:59.000Z"},
    };
    for (const auto& c : cases) {
        double utc = 0;
        ASSERT_TRUE(ParseUtc(c.text, utc)) << c.text;
        EXPECT_DOUBLE_EQ(utc, c.utc) << c.text;
        EXPECT_EQ(FormatUtc(utc), c.written) << c.text;
    }
    for (const char* bad : {"", "2019-13-01T00:00:00Z", "2019-04-07 23:59:59Z", "2019-04-07T23:59:59+2", "yesterday"}) {
        double utc = 0;
        EXPECT_FALSE(ParseUtc(bad, utc)) << bad;
    }
}

TEST(TrackFiles, ManifestAndTrackFileReadBackAsWritten)
{
    TrackManifest manifest;
    manifest.origin = GeoPoint{60.08, 23.54};
    manifest.epoch = 1554681599.0;
    manifest.gap = 10.0;
    manifest.tracks = {{"boat", TrackRole::kMeasured, "boat.csv"}, {"depth", TrackRole::kWaterDepth, "depth.csv"}};
    const std::string text = FormatTrackManifest(manifest);
    EXPECT_EQ(text,
              "origin=60.080000,23.540000\nepoch=2019-04-07T23:59:59.000Z\ngap=10\n"
              "track=boat,measured,boat.csv\ntrack=depth,water-depth,depth.csv\n");
    TrackManifest again;
    ASSERT_TRUE(ReadTrackManifest("time=361\n" + text, again));
    EXPECT_EQ(FormatTrackManifest(again), text);

    TrackFix full;
    full.utc = 1554681599.5;
    full.where = {60.080123456, -23.540123456};
    full.depth = 12.5;
    full.quality = 2;
    full.hdop = 0.9;
    full.receivers = 10;
    full.source = "boat.log:12";
    TrackFix bare;  // a route point: no time, no values
    bare.where = {-1.5, 179.999999999};
    const std::string csv = FormatTrackCsv({full, bare});
    EXPECT_EQ(csv,
              "utc,lat,lon,depth,quality,hdop,receivers,source\n"
              "2019-04-07T23:59:59.500Z,60.080123456,-23.540123456,12.500,2,0.9,10,boat.log:12\n"
              ",-1.500000000,179.999999999,,,,,\n");
    std::vector<TrackFix> read;
    ASSERT_TRUE(ReadTrackCsv(csv, "boat.csv", read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].where.latitude, 60.080123456);
    EXPECT_EQ(read[0].source, "boat.log:12");
    EXPECT_TRUE(std::isnan(read[1].utc) && std::isnan(read[1].depth) && read[1].quality == -1);
}

TEST(TrackFiles, BadLinesAreRefusedWithTheirPlace)
{
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"origin=91,0\n", "manifest.txt:1: origin="},
        {"time=1\ntrack=a,pilot,a.csv\n", "manifest.txt:2: track="},
        {"track=a,measured,../secret.csv\n", "manifest.txt:1: a track file is a name"},
        {"epoch=soon\n", "manifest.txt:1: epoch="},
    };
    for (const auto& c : cases) {
        TrackManifest manifest;
        const Status status = ReadTrackManifest(c.text, manifest);
        EXPECT_FALSE(status) << c.text;
        EXPECT_EQ(status.reason.rfind(c.reason, 0), 0u) << status.reason;
    }
    std::vector<TrackFix> fixes;
    const Status status =
        ReadTrackCsv("utc,lat,lon,depth,quality,hdop,receivers,source\n,1,2,,,,,a:1\n,95,2,,,,,a:2\n", "t.csv", fixes);
    EXPECT_EQ(status.reason, "t.csv:3: bad lat \"95\"");
}

TEST(GeoFrame, AnOriginKeepsTheSurfaceFlatAndReversesExactly)
{
    const std::optional<GeoFrame> frame = GeoFrame::AtOrigin({60.08, 23.54});
    ASSERT_TRUE(frame);
    // 14 km east and 10 km north: still at the surface, at true distance.
    const GeoPoint far{60.17, 23.79};
    const LocalPoint p = frame->ToLocal(far, 0.0);
    EXPECT_EQ(p.y, 0.0);
    EXPECT_NEAR(p.x, 13900.0, 200.0);
    EXPECT_NEAR(p.z, 10020.0, 100.0);
    const GeoPoint back = frame->ToGeographic(frame->ToLocal(far, 30.0));
    EXPECT_NEAR(back.latitude, far.latitude, 1e-11);
    EXPECT_NEAR(back.longitude, far.longitude, 1e-11);
    EXPECT_EQ(frame->ToLocal(far, 30.0).y, -30.0);
    EXPECT_FALSE(GeoFrame::AtOrigin({95.0, 0.0}));
}

class TrackDatasetTest : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& text)
    {
        std::ofstream(scratch / name, std::ios::binary) << text;
    }
    DiveData Load()
    {
        DiveData data;
        data.Load(scratch.Path().string());
        return data;
    }
    testsupport::ScratchDir scratch{"tracks"};
};

TEST_F(TrackDatasetTest, FixesPlayAtTheirOwnTimesAndAGapShowsNoPosition)
{
    Write("manifest.txt", "origin=60.000000,24.000000\ntrack=diver,measured,diver.csv\n");
    // Fixes at 0, 1, 3 s, then 40 s of nothing (more than 5 times the median
    // interval and more than 5 s), then 43 s.
    Write("diver.csv",
          "utc,lat,lon,depth,quality,hdop,receivers,source\n"
          "2020-06-01T10:00:00.000Z,60.000000000,24.000000000,5,,,,d.log:1\n"
          "2020-06-01T10:00:01.000Z,60.000010000,24.000000000,6,,,,d.log:2\n"
          "2020-06-01T10:00:03.000Z,60.000030000,24.000000000,7,,,,d.log:3\n"
          "2020-06-01T10:00:43.000Z,60.000040000,24.000000000,7,,,,d.log:4\n");
    const DiveData data = Load();
    ASSERT_TRUE(data.Timed());
    EXPECT_EQ(data.solution_times, (std::vector<double>{0, 1, 3, 43}));
    EXPECT_DOUBLE_EQ(data.epoch, 1591005600.0);
    // At a fix's time the position is that fix, to the last digit it has.
    const GeoPoint at = data.frame.ToGeographic(data.SolutionPointAt(3.0));
    EXPECT_NEAR(at.latitude, 60.00003, 1e-10);
    EXPECT_NEAR(at.longitude, 24.0, 1e-10);
    EXPECT_DOUBLE_EQ(data.SolutionPointAt(3.0).y, -7.0);
    // Half-way between the first two: half-way between their positions.
    EXPECT_NEAR(data.SolutionPointAt(0.5).z, 0.5 * data.SolutionPointAt(1.0).z, 1e-6);
    // The gap: no position is invented, the track breaks there.
    EXPECT_FALSE(data.SolutionGapAt(2.0));
    EXPECT_TRUE(data.SolutionGapAt(20.0));
    EXPECT_FALSE(data.SolutionGapAt(43.0));
    EXPECT_EQ(data.SolutionPositionAt(20.0), data.SolutionPositionAt(3.0));
    EXPECT_EQ(data.solution_gap_before, (std::vector<uint8_t>{0, 0, 0, 1}));
    // The playback period reaches a median interval past the last fix.
    EXPECT_DOUBLE_EQ(data.Period(), 45.0);
    // Moving 1.1 m north in a second between the first fixes, not through the gap.
    EXPECT_NEAR(data.SolutionVelocityAt(0.5).z, 1.11, 0.05);
    EXPECT_EQ(data.SolutionVelocityAt(20.0).Length(), 0.0f);
}

TEST_F(TrackDatasetTest, ASingleFixLoadsAsAPoint)
{
    Write("manifest.txt", "track=one,measured,one.csv\n");
    Write("one.csv", "utc,lat,lon,depth,quality,hdop,receivers,source\n2020-06-01T10:00:00Z,20.84,-79.01,,,,,x:1\n");
    const DiveData data = Load();
    EXPECT_EQ(data.solution_positions.size(), 1u);
    EXPECT_EQ(data.Period(), 0.0);
    EXPECT_EQ(data.SolutionVelocityAt(0.0).Length(), 0.0f);
}

TEST_F(TrackDatasetTest, TheErrorIsMeasuredAgainstTheReferenceByTime)
{
    Write("manifest.txt", "origin=0.000000,0.000000\ntrack=plan,reference,plan.csv\ntrack=diver,measured,diver.csv\n");
    const char* header = "utc,lat,lon,depth,quality,hdop,receivers,source\n";
    // The plan: north along the meridian at 1 m/s, sampled every 10 s.
    Write("plan.csv", std::string(header) + "1970-01-01T00:00:00Z,0,0,10,,,,p:1\n1970-01-01T00:00:10Z,0.0000904,0,10,,,,p:2\n");
    // The diver at 5 s, 3 m east of where the plan is then.
    Write("diver.csv", std::string(header) + "1970-01-01T00:00:05Z,0.0000452,0.000027,10,,,,d:1\n");
    const DiveData data = Load();
    EXPECT_EQ(data.reference, 0);
    EXPECT_EQ(data.measured, 1);
    const DiveErrors errors = ComputeDiveErrors(data);
    ASSERT_EQ(errors.total.size(), 1u);
    EXPECT_NEAR(errors.total[0], 3.0, 0.01);

    // A route has no times: the error is the distance from its path, here
    // the same meridian, wherever along it the diver is.
    Write("plan.csv", std::string(header) + ",0,0,10,,,,p:1\n,0.0009,0,10,,,,p:2\n");
    const DiveData routed = Load();
    EXPECT_EQ(routed.reference, -1);
    const DiveErrors off = ComputeDiveErrors(routed);
    ASSERT_EQ(off.total.size(), 1u);
    EXPECT_NEAR(off.total[0], 3.0, 0.01);
    EXPECT_NEAR(off.vertical[0], 0.0, 1e-6);
}

}  // namespace
