#include "logs/xml_track_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// One track point, on line 3.
std::string Gpx(const std::string& point)
{
    return "<gpx version='1.1' xmlns='http://www.topografix.com/GPX/1/1'\n xmlns:tpx='http://www.garmin.com/xmlschemas/"
           "TrackPointExtension/v2' xmlns:h='http://www.humminbird.com/' "
           "xmlns:x='http://example.com/x'><trk><trkseg>\n" +
           point + "\n</trkseg></trk></gpx>";
}

std::string Kml(const std::string& placemarks)
{
    return "<kml xmlns='http://www.opengis.net/kml/2.2' xmlns:gx='http://www.google.com/kml/ext/2.2'><Document>" +
           placemarks + "</Document></kml>";
}

// The values a fix has, in a fixed order; latitude and longitude always.
std::string Show(const LogFix& f)
{
    std::ostringstream text;
    text << "lat " << f.latitude << " lon " << f.longitude;
    const std::pair<const char*, double> values[] = {
        {"utc", f.utc},      {"depth", f.depth},
        {"alt", f.altitude}, {"quality", f.quality < 0 ? kNoValue : f.quality},
        {"hdop", f.hdop},    {"sat", f.receivers < 0 ? kNoValue : f.receivers}};
    for (const auto& [name, value] : values)
        if (!std::isnan(value))
            text << " " << name << " " << std::setprecision(12) << value;
    return text.str();
}

TEST(ReadXmlTracks, ReadsTheValuesOfGpxAndKmlPoints)
{
    const std::string p = "<trkpt lat='1' lon='2'>", ext = p + "<extensions>", end = "</extensions></trkpt>";
    const std::string coords = "<coordinates>\n -122.5,37.25,50\n</coordinates>";
    // clang-format off
    const std::pair<std::string, const char*> cases[] = {
        {Gpx("<trkpt lat='90' lon='-180'><ele>-3.5</ele><hdop>0.9</hdop><sat>7</sat><fix>3d</fix></trkpt>"),
         "lat 90 lon -180 alt -3.5 quality 1 hdop 0.9 sat 7"},
        {Gpx("<trkpt lat=' -90 ' lon='+180'><fix>2d</fix><ele>high</ele><sat>-1</sat></trkpt>"),
         "lat -90 lon 180 quality 1"},
        {Gpx(p + "<fix>dgps</fix></trkpt>"), "lat 1 lon 2 quality 2"},
        {Gpx(p + "<fix>pps</fix></trkpt>"), "lat 1 lon 2 quality 3"},
        {Gpx(ext + "<tpx:TrackPointExtension><tpx:depth>4.5</tpx:depth></tpx:TrackPointExtension>" + end),
         "lat 1 lon 2 depth 4.5"},
        {Gpx(ext + "<depth>4.5</depth>" + end), "lat 1 lon 2 depth 4.5"},
        {Gpx(ext + "<h:depth>1250</h:depth>" + end), "lat 1 lon 2 depth 12.5"},
        {Gpx(ext + "<x:depth>4</x:depth><y:depth>4</y:depth>" + end), "lat 1 lon 2"},
        {Kml("<Placemark><gx:Track><when>1970-01-01T00:00:01Z</when><gx:coord>-122.5 37.25 156</gx:coord></gx:Track>"
             "</Placemark>"), "lat 37.25 lon -122.5 utc 1 alt 156"},
        {Kml("<Placemark><LineString><altitudeMode>relativeToGround</altitudeMode>" + coords + "</LineString>"
             "</Placemark>"),
         "lat 37.25 lon -122.5 alt 50"},
        {Kml("<Placemark><LineString><coordinates>8,48</coordinates></LineString></Placemark>"), "lat 48 lon 8"},
    };
    // clang-format on
    for (const auto& [document, expected] : cases) {
        LogReading reading;
        ASSERT_TRUE(ReadXmlTracks(document, reading)) << document;
        ASSERT_EQ(reading.FixCount(), 1u) << document;
        EXPECT_EQ(Show(reading.tracks[0].fixes[0]), expected) << document;
    }
}

// Expected values from `date -u -d TEXT +%s`; NaN: dropped as "bad time".
TEST(ReadXmlTracks, ReadsIsoTimesAsUtcSecondsAndDropsTheUnreadable)
{
    // clang-format off
    const std::pair<const char*, double> cases[] = {
        {"2012-10-24T23:29:40Z", 1351121380}, {"2012-10-24T23:29:40.250Z", 1351121380.25},
        {" 2000-02-29T12:00:00Z ", 951825600}, {"2016-12-31T23:59:59", 1483228799}, {"1969-12-31T23:59:59Z", -1},
        {"2024-03-10T01:30:00+02:00", 1710027000}, {"2024-03-10T01:30:00-05:30", 1710054000},
        {"2021-06-15T08:00:00+0100", 1623740400}, {"2100-03-01T00:00:00Z", 4107542400},
        {"2100-02-29T00:00:00Z", kNoValue}, {"2012-13-01T00:00:00Z", kNoValue}, {"2012-10-24T24:00:00Z", kNoValue},
        {"2012-10-24T23:29:40.Z", kNoValue}, {"2012-10-24", kNoValue}, {"2012-10-24T23:29:40Z junk", kNoValue},
        {"", kNoValue},
    };
    // clang-format on
    for (const auto& [text, utc] : cases) {
        LogReading reading;
        ASSERT_TRUE(
            ReadXmlTracks(Gpx("<trkpt lat='1' lon='2'><time>" + std::string(text) + "</time></trkpt>"), reading));
        const double read = reading.tracks.empty() ? kNoValue : reading.tracks[0].fixes.at(0).utc;
        EXPECT_EQ(Show({.utc = read}), Show({.utc = utc})) << text;
        EXPECT_EQ(reading.dropped_count["bad time"], std::isnan(utc) ? 1u : 0u) << text;
    }
}

TEST(ReadXmlTracks, DropsUnusablePointsWithTheirLineReasonAndText)
{
    const std::string when = "<when>2012-10-24T23:29:40Z</when>", coord = "<gx:coord>1 2</gx:coord>";
    const std::string line = "<Placemark><LineString><coordinates>\n\n";
    const std::string end = "</coordinates></LineString></Placemark>";
    // clang-format off
    const std::tuple<std::string, const char*, const char*> cases[] = {
        {Gpx("<trkpt lon='2'/>"), "bad latitude", "<trkpt lon='2'/>"},
        {Gpx("<trkpt lat='90.000001' lon='2'/>"), "bad latitude", "<trkpt lat="},
        {Gpx("<trkpt lat='nan' lon='2'/>"), "bad latitude", "<trkpt lat="},
        {Gpx("<trkpt lat='1' lon='-180.5'/>"), "bad longitude", "<trkpt lat="},
        {Gpx("<trkpt lat='1' lon='2,5'/>"), "bad longitude", "<trkpt lat="},
        {Gpx("<trkpt lat='1' lon='2'><fix>none</fix></trkpt>"), "no fix", "<trkpt lat='1' lon='2'><fix>none</fix>"},
        {"<gpx>\r\n<rte>\r<rtept lat='1' lon='2'/><rtept lat='1' lon='x'/>\r\n</rte></gpx>", "bad longitude",
         "<rtept lat='1' lon='x'/>"},
        {Kml(line + " 3" + end), "bad coordinates", "3"},
        {Kml(line + "1,91" + end), "bad latitude", "1,91"},
        {Kml("<Placemark><gx:Track><when>x</when>\n\n" + coord + "</gx:Track></Placemark>"), "bad time", coord.c_str()},
        {Kml("<Placemark><gx:Track>" + when + coord + "\n\n<when/></gx:Track></Placemark>"), "when without coord",
         "<when/>"},
        {Kml("<Placemark><gx:Track>" + when + "\n\n" + when + "\n\n" + coord + "</gx:Track></Placemark>"),
         "when without coord", "<when>"},
        {Kml("<Placemark><gx:Track>\n\n" + coord + "</gx:Track></Placemark>"), "coord without when", "<gx:coord>"},
    };
    // clang-format on
    for (const auto& [document, reason, excerpt] : cases) {
        SCOPED_TRACE(document);
        LogReading reading;
        ASSERT_TRUE(ReadXmlTracks(document, reading));
        ASSERT_EQ(reading.dropped.size(), 1u);
        EXPECT_EQ(reading.dropped[0].reason, reason);
        EXPECT_EQ(reading.dropped[0].line, 3u);
        EXPECT_EQ(reading.dropped[0].excerpt.rfind(excerpt, 0), 0u) << reading.dropped[0].excerpt;
        EXPECT_EQ(reading.lines, reading.FixCount() + 1);
    }
}

TEST(ReadXmlTracks, MakesOneTrackOfEachTrkRteAndKmlGeometry)
{
    const std::string point = "<trkpt lat='1' lon='2'/>", seg = "<trkseg>" + point + "</trkseg>";
    const std::string track = "<gx:Track><when>2012-10-24T23:29:40Z</when><gx:coord>1 2</gx:coord></gx:Track>";
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"<gpx xmlns='http://www.topografix.com/GPX/1/0'><wpt lat='1' lon='2'/><trk><name> A </name>" + seg + seg +
         seg + "</trk><trk><name>empty</name></trk><trk>" + seg + "</trk><rte><name>R</name><rtept lat='1' lon='2'/>"
         "</rte></gpx>",
         "A track 3|track 1|R route 1|"},
        {"<g:gpx xmlns:g='http://www.topografix.com/GPX/1/1'><g:trk><g:trkseg><g:trkpt lat='1' lon='2'/></g:trkseg>"
         "</g:trk><trk>" + seg + "</trk></g:gpx>", "track 1|"},
        {Kml("<Folder><Placemark><name>T</name><gx:MultiTrack>" + track + track + "</gx:MultiTrack></Placemark>"
             "</Folder>"
             "<Placemark><name>L</name><MultiGeometry><LineString><coordinates>1,2 3,4</coordinates></LineString>"
             "<LineString><coordinates>5,6</coordinates></LineString></MultiGeometry></Placemark>"),
         "T track 2|L route 2|L route 1|"},
    };
    // clang-format on
    for (const auto& [document, shapes] : cases) {
        LogReading reading;
        ASSERT_TRUE(ReadXmlTracks(document, reading)) << document;
        std::string read;
        for (const LogTrack& t : reading.tracks)
            read += t.name + (t.name.empty() ? "" : " ") + (t.route ? "route " : "track ") +
                    std::to_string(t.fixes.size()) + "|";
        EXPECT_EQ(read, shapes) << document;
    }
}

// LooksLikeXmlTrack tells from a head what ReadXmlTracks reads; "" for a
// document it reads, else the start of its refusal.
TEST(XmlTrackDocuments, AreToldByTheirRootElement)
{
    // clang-format off
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"/>", true, ""}, {"  <kml:kml xmlns:kml='k'/>", true, ""},
        {"\xEF\xBB\xBF<!-- exported --><!DOCTYPE kml [<!ENTITY a 'b'>]>\n<kml xmlns=\"x\"/>", true, ""},
        {"<gpx><trk>\n</gpx>", true, "not XML: "}, {"<gpx", false, "not XML: "},
        {"<?xml version='1.0'?>\n<html><body/></html>", false, "neither GPX nor KML: the root element is <html>"},
        {"<gpxdata/>", false, "neither GPX nor KML: the root element is <gpxdata>"},
        {"<?xml version=\"1.0\"", false, "not XML: "},
        {"$GPGGA,123519,4807.038,N", false, "not XML: "}, {"", false, "not XML: "},
    };
    // clang-format on
    for (const auto& [document, looks, refusal] : cases) {
        LogReading reading;
        const Status status = ReadXmlTracks(document, reading);
        EXPECT_EQ(LooksLikeXmlTrack(document), looks) << document;
        EXPECT_EQ(status.ok, *refusal == 0) << document;
        EXPECT_EQ(status.reason.rfind(refusal, 0), 0u) << status.reason;
    }
}

// gpsbabel's reading of each file as unicsv (6 decimals, 1 for altitudes,
// UTC) must be ours, point for point and in order.
TEST(ReadXmlTracks, AgreesWithGpsbabelOnRealFiles)
{
    const std::filesystem::path dir = std::filesystem::path(NERELLE_SOURCE_DIR) / "tests/data/realdata";
    const std::pair<const char*, size_t> files[] = {
        {"run.gpx", 1}, {"multitrackgpx.gpx", 3}, {"unique_trkpt.gpx", 1}, {"gxtrack.kml", 1}, {"linestring.kml", 2}};
    for (const auto& [name, tracks] : files) {
        SCOPED_TRACE(name);
        std::ifstream in(dir / name, std::ios::binary);
        LogReading reading;
        ASSERT_TRUE(ReadXmlTracks(std::string(std::istreambuf_iterator<char>(in), {}), reading));
        EXPECT_EQ(reading.tracks.size(), tracks);
        EXPECT_TRUE(reading.dropped.empty());
        std::vector<LogFix> fixes;
        for (const LogTrack& track : reading.tracks)
            fixes.insert(fixes.end(), track.fixes.begin(), track.fixes.end());

        std::ifstream csv(dir / std::filesystem::path(name).replace_extension(".csv"));
        std::string line;
        std::getline(csv, line);
        const bool timed = line.find(",Date,Time") != std::string::npos;  // the last two columns
        size_t i = 0;
        for (; std::getline(csv, line); ++i) {
            std::replace(line.begin(), line.end(), ',', ' ');  // no field of these files holds a blank
            std::istringstream fields(line);
            const std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
            ASSERT_LT(i, fixes.size());
            EXPECT_NEAR(fixes[i].latitude, std::stod(f.at(1)), 5.1e-7) << line;
            EXPECT_NEAR(fixes[i].longitude, std::stod(f.at(2)), 5.1e-7) << line;
            EXPECT_NEAR(fixes[i].altitude, std::stod(f.at(3)), 0.05 + 1e-9) << line;
            std::tm tm{};
            if (timed &&
                std::istringstream(f.at(f.size() - 2) + " " + f.back()) >> std::get_time(&tm, "%Y/%m/%d %H:%M:%S"))
                EXPECT_EQ(fixes[i].utc, static_cast<double>(timegm(&tm))) << line;
            else
                EXPECT_TRUE(!timed && std::isnan(fixes[i].utc)) << line;
        }
        EXPECT_EQ(i, fixes.size());
    }
}

}  // namespace
