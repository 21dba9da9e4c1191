#include "logs/nmea_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A sentence with its checksum, the XOR of every byte between '$' and '*'.
std::string S(const std::string& body, char start = '$')
{
    unsigned sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return start + body + tail;
}

std::string Gga(const std::string& time)
{
    return S("GPGGA," + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}

std::string Rmc(const std::string& time, const std::string& ddmmyy)
{
    return S("GPRMC," + time + ",A,4807.038,N,01131.000,E,,," + ddmmyy + ",,");
}

struct Read {
    Status status;
    LogReading reading;
    const std::vector<LogFix>& Fixes() const { return reading.tracks.at(0).fixes; }
};

NmeaOptions On(const char* day)
{
    NmeaOptions options;
    options.date.emplace();
    EXPECT_TRUE(ParseDate(day, *options.date));
    return options;
}

Read ReadLines(const std::vector<std::string>& lines, const NmeaOptions& options = {})
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    std::istringstream in(text);
    Read read;
    read.status = ReadNmea(in, options, read.reading);
    return read;
}

const double k2020_03_18 = 1584489600;  // date -u -d 2020-03-18 +%s
const double k2020_03_19 = 1584576000;

TEST(NmeaReader, DropsBadSentencesWithTheirReasonAndReadsOn)
{
    const struct {
        std::string line;
        const char* reason;
    } cases[] = {
        {"$INDPT,2.2,0.0*46", "bad checksum"},  // humminbird-M37.log has *47
        {S("GPGGA,123519,4807.038,N$GPRMC,123519,A"), "sentences glued together"},
        {"$GPGGA,123519,4807.038,N,01131.0", "cut off"},
        {S("GPGGA,123519,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,"), "no fix (quality 0)"},
        {S("GPRMC,123519,V,4807.038,N,01131.000,E,,,230394,,"), "no fix (status V)"},
        {S("GPGLL,4916.45,N,12311.12,W,225444,V"), "no fix (status V)"},
        {S("GNGNS,123519,4807.038,N,01131.000,E,NN,08,0.9,545.4,46.9,,"), "no fix (mode N)"},
        {S("GPGGA,123519,,,,,1,08,0.9,545.4,M,46.9,M,,"), "empty position"},
        {S("GPGGA,123519,4867.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), "bad position"},
        {Gga("126519"), "bad time"},
        {Rmc("123519", "310294"), "bad date"},
        {"12:35:19 " + Gga("123519"), "not a sentence"},
        {"$GPTXT," + std::string(1 << 20, 'x'), "line too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 80));
        const Read read = ReadLines({"# a header", c.line, Gga("123520")}, On("1994-03-23"));
        ASSERT_TRUE(read.status.ok) << read.status.reason;
        EXPECT_EQ(read.reading.dropped_count, (std::map<std::string, size_t>{{c.reason, 1}}));
        ASSERT_EQ(read.reading.dropped.size(), 1u);
        EXPECT_EQ(read.reading.dropped[0].line, 2u);
        EXPECT_LE(read.reading.dropped[0].excerpt.size(), LogReading::kExcerptBytes);
        ASSERT_EQ(read.Fixes().size(), 1u);
        EXPECT_EQ(read.Fixes()[0].line, 3u);
    }
}

TEST(NmeaReader, SkipsCommentsAndOtherSentencesSilently)
{
    const std::vector<std::string> cases[] = {
        {"", "\r"},
        {"# Name: Generic depth sounder", "#"},
        {S("INVTG,77.5,T,93.3,M,5.2,N,9.7,K") + "\r", S("INMTW,17.9,C")},
        {S("PGRME,15.0,M,45.0,M,25.0,M"), S("AIVDM,1,1,,A,15M67FC000G?ufbE`FepT@3n00Sa,0", '!')},
        {S("GPZDA,,,,,,"), S("GPGSA,A,1,,,,,,,,,,,,,,,")},
    };
    for (const auto& lines : cases) {
        SCOPED_TRACE(lines[0]);
        const Read read = ReadLines(lines);
        ASSERT_TRUE(read.status.ok);
        EXPECT_TRUE(read.reading.dropped.empty());
        EXPECT_EQ(read.Fixes().size(), 0u);
        EXPECT_EQ(read.reading.lines, 2u);
    }
}

TEST(NmeaReader, ReadsAndCountsSentencesWithoutChecksum)
{
    std::string bare = Gga("123519");
    bare.resize(bare.size() - 3);
    const Read read = ReadLines({bare, Gga("123520")}, On("1994-03-23"));
    EXPECT_EQ(read.Fixes().size(), 2u);
    EXPECT_EQ(read.reading.without_checksum, 1u);
}

TEST(NmeaReader, OneEpochFromSeveralTalkersIsOneFix)
{
    const Read read = ReadLines({
        S("GNGGA,132819.60,4134.49795459,N,09345.03431408,W,4,12,0.7,278.161,M,-31.442,M,,"),
        S("GPGGA,132819.60,4134.50000000,N,09345.00000000,W,2,05,1.9,270.000,M,-31.442,M,,"),
        S("GNRMC,132819.60,A,4134.40000000,N,09345.03431408,W,0.148,124.888,180320,11.5985,E,D"),
        S("GLGLL,4134.40000000,N,09345.00000000,W,132819.60,A,A"),
    });
    ASSERT_TRUE(read.status.ok) << read.status.reason;
    ASSERT_EQ(read.Fixes().size(), 1u);
    const LogFix& fix = read.Fixes()[0];
    EXPECT_DOUBLE_EQ(fix.latitude, 41 + 34.49795459 / 60);
    EXPECT_DOUBLE_EQ(fix.longitude, -(93 + 45.03431408 / 60));
    EXPECT_NEAR(fix.utc, k2020_03_18 + 13 * 3600 + 28 * 60 + 19.6, 1e-6);
    EXPECT_EQ(std::make_tuple(fix.quality, fix.receivers, fix.hdop, fix.altitude, fix.line),
              std::make_tuple(4, 12, 0.7, 278.161, uint64_t{1}));
}

TEST(NmeaReader, GllGivesThePositionOfAnEpochWithoutGga)
{
    const Read read = ReadLines({S("ECGLL,5119.881,S,00125.169,W,164326,A,D")}, On("2012-01-19"));
    ASSERT_EQ(read.Fixes().size(), 1u);
    EXPECT_DOUBLE_EQ(read.Fixes()[0].latitude, -(51 + 19.881 / 60));
    EXPECT_DOUBLE_EQ(read.Fixes()[0].longitude, -(1 + 25.169 / 60));
    EXPECT_EQ(read.Fixes()[0].quality, -1);
}

TEST(NmeaReader, DatesTimesAcrossMidnightAndDropsTimeRunningBackwards)
{
    const struct {
        const char* name;
        std::vector<std::string> lines;
        const char* date;
        std::vector<double> utcs;
    } cases[] = {
        {"midnight", {Rmc("235959", "180320"), Gga("000001")}, nullptr, {k2020_03_19 - 1, k2020_03_19 + 1}},
        {"backwards",
         {Rmc("120010", "180320"), Gga("120005"), Gga("120011")},
         nullptr,
         {k2020_03_18 + 43210, k2020_03_18 + 43211}},
        {"dated back",
         {Gga("235958"), Gga("000000"), Rmc("000001", "190320")},
         nullptr,
         {k2020_03_19 - 2, k2020_03_19, k2020_03_19 + 1}},
        {"date given", {Gga("235959"), Gga("000001")}, "2020-03-18", {k2020_03_19 - 1, k2020_03_19 + 1}},
        {"the log's date wins", {Rmc("000001", "190320")}, "2000-02-29", {k2020_03_19 + 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Read read = ReadLines(c.lines, c.date ? On(c.date) : NmeaOptions{});
        ASSERT_TRUE(read.status.ok) << read.status.reason;
        ASSERT_EQ(read.Fixes().size(), c.utcs.size());
        for (size_t i = 0; i < c.utcs.size(); ++i)
            EXPECT_NEAR(read.Fixes()[i].utc, c.utcs[i], 1e-6) << i;
        std::map<std::string, size_t> dropped;  // every line but these is a fix
        if (c.lines.size() > c.utcs.size())
            dropped["time runs backwards"] = c.lines.size() - c.utcs.size();
        EXPECT_EQ(read.reading.dropped_count, dropped);
    }
}

TEST(NmeaReader, LogWithoutDateFailsWithOneLine)
{
    const Read read = ReadLines({Gga("123519")});
    EXPECT_FALSE(read.status.ok);
    EXPECT_EQ(read.status.reason,
              "the log has no date (no RMC or ZDA sentence with one): give one with --date YYYY-MM-DD");
}

TEST(NmeaReader, StreamErrorFails)
{
    struct Failing : std::stringbuf {
        Failing() : std::stringbuf(Gga("123519") + "\n$GPG") {}
        int_type underflow() override { throw std::runtime_error("disk gone"); }
    } buffer;
    std::istream in(&buffer);
    LogReading reading;
    EXPECT_FALSE(ReadNmea(in, On("1994-03-23"), reading).ok);
}

TEST(NmeaReader, WaterDepthsInMetresAtTheLastTime)
{
    const struct {
        std::string sentence;
        double metres;
    } cases[] = {
        {S("SDDBT,7.7,f,2.3,M,1.3,F"), 2.3},
        {S("SDDBT,10.0,f,,M,,F"), 3.048},
        {S("INDPT,2.2,0.5"), 2.7},
        {S("INDPT,2.2,-1.0"), 2.2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sentence);
        const Read read = ReadLines({c.sentence, Gga("000010"), c.sentence}, On("2020-03-18"));
        ASSERT_EQ(read.reading.water_depths.size(), 2u);
        EXPECT_TRUE(std::isnan(read.reading.water_depths[0].utc));
        EXPECT_DOUBLE_EQ(read.reading.water_depths[1].depth, c.metres);
        EXPECT_NEAR(read.reading.water_depths[1].utc, k2020_03_18 + 10, 1e-6);
        EXPECT_TRUE(std::isnan(read.Fixes().at(0).depth));
    }
    // While the log's time is behind, its depths belong to no kept time: a
    // log repeated end to end keeps one copy of them, not one per repeat.
    const std::string depth = S("SDDBT,7.7,f,2.3,M,1.3,F");
    const Read repeated =
        ReadLines({Gga("000010"), depth, Gga("000011"), depth, Gga("000010"), depth, Gga("000011"), depth},
                  On("2020-03-18"));
    EXPECT_EQ(repeated.reading.water_depths.size(), 2u);
}

TEST(NmeaReader, DiverDepthIsMinusTheGgaAltitudeOnlyWhenAsked)
{
    for (bool asked : {false, true}) {
        NmeaOptions options = On("2020-03-18");
        options.depth_from_gga_altitude = asked;
        const Read read = ReadLines({S("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,-12.5,M,,M,,")}, options);
        ASSERT_EQ(read.Fixes().size(), 1u);
        EXPECT_EQ(read.Fixes()[0].altitude, -12.5);
        EXPECT_EQ(std::isnan(read.Fixes()[0].depth), !asked);
        EXPECT_EQ(read.Fixes()[0].depth == 12.5, asked);
    }
}

TEST(NmeaReader, ParsesDatesOfTheCalendar)
{
    Date date;
    ASSERT_TRUE(ParseDate("2000-02-29", date));
    EXPECT_EQ(date.year * 10000 + date.month * 100 + date.day, 20000229);
    for (const char* bad : {"1900-02-29", "2012-1-19", "2012-13-01", "2012-04-31", "", "2012-01-19x"})
        EXPECT_FALSE(ParseDate(bad, date)) << bad;
}

// gpsbabel's reading of the same logs (tests/data/realdata/README.md): each of
// its points must be a fix here, at the same time where its times are the
// log's, except where its track steps back in time, which is dropped here.
TEST(NmeaReader, RealLogsAgreeWithGpsbabel)
{
    const struct {
        const char* name;
        const char* date;  // none in the log; gpsbabel was given the same
        bool same_times;   // false where gpsbabel stamps GGA with a later RMC's time
        std::vector<std::pair<std::string, uint64_t>> dropped;  // among those kept
    } logs[] = {
        {"humminbird-M37", nullptr, false, {{"time runs backwards", 85}}},
        {"sounder", "2012-01-19", true, {}},
        {"firefly-II", nullptr, true, {{"bad checksum", 6}, {"bad checksum", 9}, {"bad checksum", 18}}},
        {"nmea-rtk", nullptr, true, {}},
        {"telit-he910", nullptr, true, {{"time runs backwards", 267}, {"no fix (quality 0)", 11}}},
    };
    const std::string dir = std::string(NERELLE_SOURCE_DIR) + "/tests/data/realdata/";
    for (const auto& log : logs) {
        SCOPED_TRACE(log.name);
        std::ifstream in(dir + log.name + ".log", std::ios::binary);
        LogReading reading;
        const Status status = ReadNmea(in, log.date ? On(log.date) : NmeaOptions{}, reading);
        ASSERT_TRUE(in.eof() && status.ok) << status.reason;
        const std::vector<LogFix>& fixes = reading.tracks.at(0).fixes;
        for (const auto& [reason, line] : log.dropped)
            EXPECT_TRUE(std::any_of(reading.dropped.begin(), reading.dropped.end(),
                                    [&](const DroppedLine& d) { return d.reason == reason && d.line == line; }))
                << reason << " at line " << line;

        // unicsv: No,Latitude,Longitude,...,Date,Time with CR LF
        std::ifstream csv(dir + log.name + ".csv");
        size_t points = 0;
        double latest = 0;
        for (std::string row; std::getline(csv, row);) {
            std::tm tm{};
            double latitude = 0, longitude = 0, seconds = 0;
            const size_t date = row.rfind(',', row.rfind(',') - 1) + 1;
            if (std::sscanf(row.c_str(), "%*d,%lf,%lf", &latitude, &longitude) != 2)
                continue;  // the header
            ASSERT_EQ(std::sscanf(row.c_str() + date, "%d/%d/%d,%d:%d:%lf", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                                  &tm.tm_hour, &tm.tm_min, &seconds),
                      6);
            tm.tm_year -= 1900;
            tm.tm_mon -= 1;
            const double utc = static_cast<double>(timegm(&tm)) + seconds;
            if (utc < latest)
                continue;
            latest = utc;
            ++points;
            EXPECT_TRUE(std::any_of(fixes.begin(), fixes.end(), [&](const LogFix& fix) {
                return std::fabs(fix.latitude - latitude) <= 5.1e-7 && std::fabs(fix.longitude - longitude) <= 5.1e-7 &&
                       (!log.same_times || std::fabs(fix.utc - utc) < 1e-3);
            })) << row;
        }
        EXPECT_GT(points, 0u);
    }
}

}  // namespace
