// Importing the real logs into datasets and exporting them again: positions
// come back as the logs have them, gpsbabel reads the export, the HUD shows a
// fix's own latitude and longitude, and a dataset is written whole or not
// at all.
#include "logs/log_export.h"
#include "logs/log_import.h"

#include "dataset/dive_data.h"
#include "hud/hud_text.h"
#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string RealData(const std::string& name)
{
    return std::string(NERELLE_SOURCE_DIR) + "/tests/data/realdata/" + name;
}

struct Point {
    std::string track;
    double latitude, longitude;
};

// The (track, lat, lon) columns of an export or a gpsbabel unicsv file.
std::vector<Point> CsvPoints(const std::string& text, int track_column, int lat_column, int lon_column)
{
    std::vector<Point> points;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');)
            f.push_back(field);
        if (int(f.size()) <= std::max(lat_column, lon_column))
            continue;
        points.push_back({track_column >= 0 ? f[size_t(track_column)] : "", std::stod(f[size_t(lat_column)]),
                          std::stod(f[size_t(lon_column)])});
    }
    return points;
}

// gpsbabel's reading of `data` exported as `format` into `file`, read with
// the input options `reader`; the points in the order it gives them.
std::vector<Point> ReadBackByGpsbabel(const DiveData& data, ExportFormat format, const testsupport::ScratchDir& scratch,
                                      const std::string& file, const std::string& reader)
{
    std::ofstream(scratch / file) << FormatExport(data, format);
    const testsupport::ToolRun babel = testsupport::RunTool(
        "gpsbabel", reader + " -f " + scratch.File(file) + " -o unicsv,utc=0 -F " + scratch.File("read.csv"),
        scratch.Path());
    EXPECT_EQ(babel.status, 0) << babel.err;
    return CsvPoints(testsupport::ReadFileText(scratch / "read.csv"), -1, 1, 2);
}

ImportedDataset Import(const std::vector<std::string>& logs, const char* date = nullptr)
{
    ImportOptions options;
    if (date) {
        EXPECT_TRUE(ParseImportOption("--date", date, options));
    }
    ImportedDataset dataset;
    const Status imported = ImportLogs(logs, options, dataset);
    EXPECT_TRUE(imported) << imported.reason;
    return dataset;
}

TEST(LogImport, EveryRealLogComesBackAsItWasAndGpsbabelReadsTheExport)
{
    const struct {
        const char* log;
        const char* date;
        size_t tracks;  // of fixes, water depths apart
    } cases[] = {
        {"humminbird-M37.log", nullptr, 1}, {"sounder.log", "2012-01-19", 1}, {"firefly-II.log", nullptr, 1},
        {"nmea-rtk.log", nullptr, 1},       {"telit-he910.log", nullptr, 1},   {"run.gpx", nullptr, 1},
        {"multitrackgpx.gpx", nullptr, 3},  {"gxtrack.kml", nullptr, 1},       {"linestring.kml", nullptr, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        testsupport::ScratchDir scratch("import");
        const ImportedDataset imported = Import({RealData(c.log)}, c.date);
        ASSERT_TRUE(WriteImportedDataset(imported, scratch.File("dive"), false));
        DiveData data;
        ASSERT_NO_THROW(data.Load(scratch.File("dive")));
        size_t fix_tracks = 0;
        for (const DiveTrack& track : data.tracks)
            fix_tracks += track.role != TrackRole::kWaterDepth;
        EXPECT_EQ(fix_tracks, c.tracks);
        EXPECT_TRUE(fs::exists(scratch / "dive" / "source" / c.log));

        // The export's positions are the imported fixes', to 1e-7 degrees.
        const std::vector<Point> exported = CsvPoints(FormatExport(data, ExportFormat::kCsv), 0, 2, 3);
        std::vector<Point> expected;
        for (const DiveTrack& track : imported.tracks)
            for (const TrackFix& fix : track.fixes)
                expected.push_back({track.name, fix.where.latitude, fix.where.longitude});
        ASSERT_EQ(exported.size(), expected.size());
        for (size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(exported[k].track, expected[k].track);
            EXPECT_NEAR(exported[k].latitude, expected[k].latitude, 1e-7) << k;
            EXPECT_NEAR(exported[k].longitude, expected[k].longitude, 1e-7) << k;
        }

        // gpsbabel, another reader, finds the same points in the GPX.
        const std::vector<Point> read = ReadBackByGpsbabel(data, ExportFormat::kGpx, scratch, "out.gpx", "-t -i gpx");
        ASSERT_EQ(read.size(), expected.size());
        for (size_t k = 0; k < read.size(); ++k)
            EXPECT_NEAR(read[k].latitude, expected[k].latitude, 5.1e-7) << k;
    }
}

TEST(LogImport, GpsbabelReadsTheKmlAndCsvExportsToo)
{
    testsupport::ScratchDir scratch("babel");
    const ImportedDataset imported = Import({RealData("nmea-rtk.log")});
    ASSERT_TRUE(WriteImportedDataset(imported, scratch.File("dive"), false));
    DiveData data;
    data.Load(scratch.File("dive"));
    const std::vector<TrackFix>& fixes = data.tracks[0].fixes;
    const struct {
        ExportFormat format;
        const char* file;
        const char* reader;
    } cases[] = {{ExportFormat::kKml, "out.kml", "-t -i kml"}, {ExportFormat::kCsv, "out.csv", "-i unicsv"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<Point> read = ReadBackByGpsbabel(data, c.format, scratch, c.file, c.reader);
        ASSERT_EQ(read.size(), fixes.size());
        for (size_t k = 0; k < read.size(); ++k) {
            EXPECT_NEAR(read[k].latitude, fixes[k].where.latitude, 5.1e-7) << k;
            EXPECT_NEAR(read[k].longitude, fixes[k].where.longitude, 5.1e-7) << k;
        }
    }
}

TEST(LogImport, TheHudAtAFixsTimeShowsThatFixAsTheLogHasIt)
{
    testsupport::ScratchDir scratch("hud");
    const ImportedDataset imported = Import({RealData("nmea-rtk.log")});
    ASSERT_TRUE(WriteImportedDataset(imported, scratch.File("dive"), false));
    DiveData data;
    data.Load(scratch.File("dive"));
    const TrackFix& fix = data.tracks[size_t(data.measured)].fixes[37];
    // The log's minutes with 8 decimals, as degrees, minutes and seconds.
    const HudReading shown = HudReadingAt(data.frame, data.SolutionPointAt(fix.t), {});
    EXPECT_NEAR(shown.latitude, fix.where.latitude, 1e-10);
    EXPECT_NEAR(shown.longitude, fix.where.longitude, 1e-10);
    const auto position_lines = [](const std::string& text) { return text.substr(0, text.find("\ndepth")); };
    EXPECT_EQ(position_lines(FormatHudText(data, fix.t)),
              position_lines(FormatHudText(HudReading{fix.where.latitude, fix.where.longitude, 0, 0})));
}

TEST(LogImport, RolesOriginAndTimeBase)
{
    const ImportedDataset d = Import({RealData("linestring.kml"), RealData("gxtrack.kml")});
    ASSERT_EQ(d.manifest.tracks.size(), 3u);
    // The first track with times is measured, the first route the reference.
    EXPECT_EQ(d.manifest.tracks[2].role, TrackRole::kMeasured);
    EXPECT_EQ(d.manifest.tracks[0].role, TrackRole::kReference);
    EXPECT_EQ(d.manifest.tracks[1].role, TrackRole::kOther);
    EXPECT_EQ(d.manifest.epoch, d.tracks[2].fixes.front().utc);
    ASSERT_TRUE(d.manifest.origin);
    EXPECT_EQ(d.manifest.origin->latitude, std::round(d.manifest.origin->latitude * 1e6) / 1e6);

    ImportOptions options;
    ASSERT_TRUE(ParseImportOption("--measured", "nothing-of-that-name", options));
    ImportedDataset none;
    EXPECT_EQ(ImportLogs({RealData("gxtrack.kml")}, options, none).reason, "--measured nothing-of-that-name names no track");
}

TEST(LogImport, BadInputIsRefusedWithOneLine)
{
    testsupport::ScratchDir scratch("bad");
    std::ofstream(scratch / "notes.txt") << "just some words\n";
    std::ofstream(scratch / "relative.csv") << "time,lat,lon\n0,60,23\n";
    std::ofstream(scratch / "profile.csv") << "time,depth\n0,1\n";
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {scratch.File("notes.txt"),
         "cannot tell the format of " + scratch.File("notes.txt") + ": not NMEA 0183, GPX, KML or CSV"},
        {scratch.File("relative.csv"), scratch.File("relative.csv") +
                                           ": the times are seconds from an unknown start: give the day they count "
                                           "from with --date YYYY-MM-DD"},
        {scratch.File("profile.csv"),
         scratch.File("profile.csv") + ": a depth profile (times and depths, no positions): give it with --depth"},
        {scratch.File("missing.log"), "cannot read " + scratch.File("missing.log") + ": no such file"},
        {scratch.Path().string(), "cannot read " + scratch.Path().string() + ": not a regular file"},
        {RealData("sounder.log"), RealData("sounder.log") +
                                      ": the log has no date (no RMC or ZDA sentence with one): give one with --date "
                                      "YYYY-MM-DD"},
    };
    for (const auto& c : cases) {
        ImportedDataset dataset;
        EXPECT_EQ(ImportLogs({c.path}, {}, dataset).reason, c.reason);
    }
}

TEST(LogImport, ADepthProfilePutsItsDepthsOnTheMeasuredFixesByTime)
{
    testsupport::ScratchDir scratch("depth");
    // Fixes at 10:00:00, :10, :20 and :30, the second one with a depth of its own.
    std::ofstream(scratch / "float.csv") << "time,lat,lon,depth\n2019-04-07T10:00:00Z,60,23\n2019-04-07T10:00:10Z,60,23,"
                                            "9\n2019-04-07T10:00:20Z,60,23\n2019-04-07T10:00:30Z,60,23\n";
    const std::string at_5_15_25 = "utc,depth\n2019-04-07T10:00:05Z,1\n2019-04-07T10:00:15Z,3\n2019-04-07T10:00:25Z,5\n";
    const std::string from_start = "time,depth\n0,1\n10,3\n20,5\n";
    const double none = kNoValue;
    const struct {
        std::string profile;
        const char* offset;
        std::vector<double> depths;  // of the four fixes, worked out by hand
        const char* count;
    } cases[] = {
        {at_5_15_25, nullptr, {none, 2, 4, none}, "depths on 2 of 4 fixes"},
        {at_5_15_25, "5", {none, 1, 3, 5}, "depths on 3 of 4 fixes"},
        {at_5_15_25, "-20", {4, none, none, none}, "depths on 1 of 4 fixes"},
        {from_start, nullptr, {1, 3, 5, none}, "depths on 3 of 4 fixes"},
        {from_start, "15", {none, none, 2, 4}, "depths on 2 of 4 fixes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile + (c.offset ? c.offset : ""));
        std::ofstream(scratch / "computer.csv") << c.profile;
        ImportOptions options;
        ASSERT_TRUE(ParseImportOption("--depth", scratch.File("computer.csv"), options));
        if (c.offset) {
            ASSERT_TRUE(ParseImportOption("--depth-offset", c.offset, options));
        }
        ImportedDataset dataset;
        ASSERT_TRUE(ImportLogs({scratch.File("float.csv")}, options, dataset));
        ASSERT_EQ(dataset.tracks.size(), 1u);
        ASSERT_EQ(dataset.tracks[0].fixes.size(), c.depths.size());
        for (size_t k = 0; k < c.depths.size(); ++k)
            EXPECT_THAT(dataset.tracks[0].fixes[k].depth, testing::NanSensitiveDoubleEq(c.depths[k])) << k;
        EXPECT_NE(FormatImportReport(dataset).find(scratch.File("computer.csv") + ": " + c.count), std::string::npos)
            << FormatImportReport(dataset);
    }
}

TEST(LogImport, ADatasetIsWrittenWholeAndAnOldOneOnlyReplacedOnRequest)
{
    testsupport::ScratchDir scratch("whole");
    const ImportedDataset first = Import({RealData("gxtrack.kml")});
    const ImportedDataset second = Import({RealData("run.gpx")});
    ASSERT_TRUE(WriteImportedDataset(first, scratch.File("dive"), false));
    EXPECT_EQ(WriteImportedDataset(second, scratch.File("dive"), false).reason,
              scratch.File("dive") + " exists already; give --overwrite to replace it");
    EXPECT_TRUE(fs::exists(scratch / "dive" / "gxtrack.csv"));
    ASSERT_TRUE(WriteImportedDataset(second, scratch.File("dive"), true));
    EXPECT_FALSE(fs::exists(scratch / "dive" / "gxtrack.csv"));
    EXPECT_TRUE(fs::exists(scratch / "dive" / "run.csv"));
    // Nothing of the work is left beside it.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

}  // namespace
