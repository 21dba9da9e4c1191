#include "logs/csv_track_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr double k10h = 1554631200;  // 2019-04-07T10:00:00Z, from a calendar outside this code

struct Read {
    Status status;
    LogReading reading;
};

Read ReadText(const std::string& text, const std::string& columns = "")
{
    CsvColumns parsed;
    if (!columns.empty()) {
        EXPECT_TRUE(ParseCsvColumns(columns, parsed)) << columns;
    }
    std::istringstream in(text);
    Read read;
    read.status = ReadCsvTrack(in, parsed, read.reading);
    return read;
}

// The fixes as "utc-k10h lat lon depth;" ("-" for no depth).
std::string Fixes(const LogReading& reading)
{
    std::ostringstream text;
    for (const LogTrack& track : reading.tracks)
        for (const LogFix& f : track.fixes) {
            text << f.utc - k10h << " " << f.latitude << " " << f.longitude << " ";
            (std::isnan(f.depth) ? text << "-" : text << f.depth) << ";";
        }
    return text.str();
}

TEST(ReadCsvTrack, ReadsEachSeparatorQuotedFieldsAndTimeForm)
{
    const std::pair<std::string, const char*> cases[] = {
        {"time,lat,lon,depth\n2019-04-07T10:00:00Z,60.5,23.25,12.5\n", "0 60.5 23.25 12.5;"},
        {"time;lat;lon;depth\r\n2019-04-07T12:00:01+02:00;60,5;-23,25;+12,5\r\n", "1 60.5 -23.25 12.5;"},
        {"\xEF\xBB\xBFtime\tlat\tlon\n2019-04-07 10:00:02\t60.5\t23.25\n", "2 60.5 23.25 -;"},
        {"\"time\",\"note\",\"lat\",\"lon\"\n\"2019-04-07T10:00:03.5Z\",\"by the \"\"red\"\", buoy\", \"60.5\" ,23.25\n",
         "3.5 60.5 23.25 -;"},
        {"time;\"a,b,c\";lat;lon\n1554631204;x;60.5;23.25\n", "4 60.5 23.25 -;"},
        {"time,lat,lon,depth\n1554631205,60.5,23.25,\n", "5 60.5 23.25 -;"},
    };
    for (const auto& [text, fixes] : cases) {
        const Read r = ReadText(text);
        ASSERT_TRUE(r.status) << r.status.reason;
        EXPECT_EQ(Fixes(r.reading), fixes) << text;
        EXPECT_TRUE(r.reading.dropped.empty()) << text;
    }
}

TEST(ReadCsvTrack, FindsColumnsByTheirUsualNamesOrAsColumnsSays)
{
    const struct {
        const char* header;
        const char* columns;
        const char* fixes;
    } cases[] = {
        {"Timestamp,Latitude,Longitude,Depth_m", "", "0 1 2 3;"},
        {" date time , LAT,Lng,DEPTH (M)", "", "0 1 2 3;"},
        {"DateTime,lat,long,depth,utc", "", "0 1 2 3;"},  // the first time column
        {"Zeit,Breite,Laenge,Tiefe", "time=zeit,lat=Breite,lon=Laenge,depth=TIEFE", "0 1 2 3;"},
        {"time,lat,lon,depth,x", "depth=x", "0 1 2 4;"},
        {"time,lat,lon,depth", "time=Zeit", "0 1 2 3;"},  // named but absent: the usual names
    };
    for (const auto& c : cases) {
        const Read r = ReadText(std::string(c.header) + "\n2019-04-07T10:00:00Z,1,2,3,4\n", c.columns);
        ASSERT_TRUE(r.status) << c.header << ": " << r.status.reason;
        EXPECT_EQ(Fixes(r.reading), c.fixes) << c.header;
    }
}

TEST(ParseCsvColumns, TakesKnownKeysOnceEach)
{
    const std::pair<const char*, bool> cases[] = {
        {"time=t,lat=y,lon=x,depth=d", true}, {" LAT = y ", true}, {"lat=a,lat=b", false}, {"north=y", false},
        {"time", false},  {"time=", false},  {"time=t,", false},   {"", false},
    };
    for (const auto& [text, good] : cases) {
        CsvColumns columns;
        EXPECT_EQ(bool(ParseCsvColumns(text, columns)), good) << text;
    }
}

TEST(ReadCsvTrack, DropsBadRowsWithTheirLinesAndReasons)
{
    const std::pair<std::string, const char*> rows[] = {
        {"2019-04-07T10:00:01Z,91,23", "bad latitude"},
        {"2019-04-07T10:00:01Z,60,-180.5", "bad longitude"},
        {"10:00:01,60,23", "bad time"},
        {"100,60,23", "bad time"},  // relative seconds among dates
        {"2019-04-07T10:00:01Z,60", "missing field"},
        {",60,23", "missing field"},
        {"2019-04-07T10:00:01Z,60,23,deep", "bad depth"},
        {"2019-04-07T10:00:01Z,60,23,12001", "bad depth"},
        {"\"2019-04-07T10:00:01Z,60,23", "bad quotes"},
        {"2019-04-07T10:00:00Z,60,23", "repeated time"},
        {"2019-04-07T09:59:59Z,60,23", "time runs backwards"},
        {std::string(5000, '9'), "line too long"},
    };
    std::string text = "time,lat,lon,depth\n2019-04-07T10:00:00Z,60,23\n";
    for (const auto& [row, reason] : rows)
        text += row + "\n";
    text += "# a comment\n\n2019-04-07T10:00:01Z,60,23\n";
    const Read r = ReadText(text);
    ASSERT_TRUE(r.status) << r.status.reason;
    EXPECT_EQ(Fixes(r.reading), "0 60 23 -;1 60 23 -;");
    EXPECT_EQ(r.reading.lines, std::size(rows) + 5);
    std::vector<std::pair<uint64_t, std::string>> dropped, expected;
    for (const DroppedLine& line : r.reading.dropped)
        dropped.emplace_back(line.line, line.reason);
    for (size_t k = 0; k < std::size(rows); ++k)
        expected.emplace_back(k + 3, rows[k].second);
    std::sort(dropped.begin(), dropped.end());
    EXPECT_EQ(dropped, expected);
}

TEST(ReadCsvTrack, RefusesAHeaderItCannotUseWithOneLine)
{
    const std::string no_header = "the first row is no header: it should name the columns, such as time,lat,lon,depth, "
                                  "separated by commas, semicolons or tabs";
    const std::pair<std::string, std::string> cases[] = {
        {"# only a comment\n", "no header row (such as time,lat,lon,depth)"},
        {"time lat lon\n", no_header},
        {"1554631200,60,23\n", no_header},
        {std::string(5000, 'a') + ",b\n", "the header row is longer than 4096 bytes"},
        {"lat,lon,depth\n", "no time column in the header (time, utc, timestamp, date time, datetime; or --columns "
                            "time=NAME)"},
        {"time,lat,depth\n", "a latitude column without a longitude column in the header"},
        {"time,lon\n", "a longitude column without a latitude column in the header"},
        {"time,note\n", "neither latitude and longitude nor depth columns in the header (or --columns "
                        "lat=NAME,lon=NAME,depth=NAME)"},
    };
    for (const auto& [text, reason] : cases) {
        const Read r = ReadText(text);
        EXPECT_EQ(r.status.reason, reason);
        EXPECT_TRUE(r.reading.tracks.empty() && r.reading.depth_profile.empty());
    }
}

TEST(ReadCsvTrack, TimesAndDepthsWithoutPositionsAreADepthProfile)
{
    const std::tuple<const char*, bool, double> cases[] = {
        {"time;depth (m)\n0;0,5\n10,5;2\n", true, 0.0},
        {"utc,depth\n2019-04-07T10:00:00Z,0.5\n2019-04-07T10:00:10.5Z,2\n", false, k10h},
    };
    for (const auto& [text, relative, first_time] : cases) {
        const Read r = ReadText(text);
        ASSERT_TRUE(r.status && r.reading.tracks.empty()) << r.status.reason;
        EXPECT_EQ(r.reading.relative_times, relative);
        ASSERT_EQ(r.reading.depth_profile.size(), 2u);
        const DepthSample& second = r.reading.depth_profile[1];
        EXPECT_EQ(r.reading.depth_profile[0].time, first_time);
        EXPECT_EQ(std::tie(second.time, second.depth, second.line), std::make_tuple(first_time + 10.5, 2.0, uint64_t(3)));
    }
}

TEST(LooksLikeCsvTrack, WantsAHeaderRowFirst)
{
    const std::pair<const char*, bool> cases[] = {
        {"time,lat,lon\n1,2,3\n", true}, {"\n# logger 2\ntime;depth\n", true}, {"time\tdepth", true},
        {"just some words\n", false},    {"1554631200,60,23\n", false},       {"$GPGGA,123519,4807.038,N\n", false},
        {"time,\x01\n", false},
    };
    for (const auto& [head, csv] : cases)
        EXPECT_EQ(LooksLikeCsvTrack(head), csv) << head;
}

}  // namespace
