// nerelle-dive: checks a dive dataset and simulates its positioning solution.
//
//   nerelle-dive check DIR [--at T]... [--hud]
//       loads DIR as the program does and prints its counts, the solution's
//       error statistics and, for each T, the motion position, solution
//       position and heading at playback time T, and with --hud the four
//       lines the program's HUD panel shows then.
//   nerelle-dive report DIR OUT.png [--size WxH] [--font F]
//       draws the solution's error over time as a chart into OUT.png.
//   nerelle-dive simulate MANIFEST_DIR [--seed N] [--range-noise M] [--depth-noise M]
//       writes MANIFEST_DIR/solution.txt from MANIFEST_DIR/manifest.txt.
//   nerelle-dive import LOG... --out DIR [options]
//       reads NMEA 0183, GPX, KML and CSV logs into a dataset of tracks.
//   nerelle-dive export DIR OUT
//       writes the dataset's tracks as GPX, KML or CSV, as OUT's extension says.
//   nerelle-dive --help
// Runs that take more than a second print progress lines on standard error,
// one a second; NERELLE_PROGRESS_INTERVAL=S sets S seconds for both.
#include "core/regular_file.h"
#include "core/whole_file.h"
#include "hud/hud_text.h"
#include "logs/log_export.h"
#include "logs/log_import.h"
#include "dataset/dive_data.h"
#include "dataset/dive_error.h"
#include "dive_simulator.h"
#include "error_report.h"
#include "font/font_cache.h"
#include "progress_line.h"
#include "core/report.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: nerelle-dive check DIR [--at T]... [--hud]\n"
    "       nerelle-dive report DIR OUT.png [--size WxH] [--font F]\n"
    "       nerelle-dive simulate MANIFEST_DIR [--seed N] [--range-noise M] [--depth-noise M]\n"
    "       nerelle-dive import LOG... --out DIR [--date YYYY-MM-DD] [--origin LAT,LON]\n"
    "                    [--depth-from gga-altitude] [--measured NAME] [--reference NAME]\n"
    "                    [--gap SECONDS] [--columns time=N,lat=N,lon=N,depth=N]\n"
    "                    [--depth FILE [--depth-offset SECONDS]] [--overwrite] [--strict]\n"
    "       nerelle-dive export DIR OUT\n"
    "       nerelle-dive --help\n"
    "\n"
    "check     loads DIR (manifest.txt and solution.txt) as the program does, prints its\n"
    "          counts, the solution's error (distance of fix i from motion sample i: RMS,\n"
    "          mean, 95th percentile, maximum and its time, 3-D, horizontal and vertical)\n"
    "          and, for each --at T, the motion position, solution position and heading at\n"
    "          playback time T; warns about solution lines it ignored\n"
    "  --hud           also prints, for each T, the four lines of the HUD panel\n"
    "report    draws the solution's horizontal and vertical error over time, with its\n"
    "          figures, as a PNG chart\n"
    "  --size WxH      chart size in pixels (default 1200x700, each side 320 to 8192)\n"
    "  --font F        font file or family for the text (default: the HUD's font\n"
    "                  data/fonts/cmunrm.otf when present, else the family \"CMU Serif\")\n"
    "simulate  writes MANIFEST_DIR/solution.txt from MANIFEST_DIR/manifest.txt as a\n"
    "          positioning system with 3 to 64 buoys would compute it\n"
    "  --seed N          random stream (default 1); the same seed gives the same file\n"
    "  --range-noise M   range noise, metres (default 0.15)\n"
    "  --depth-noise M   depth noise, metres (default 0.05)\n"
    "import    reads logs (NMEA 0183, GPX 1.0/1.1, KML, CSV; told by their content) into the\n"
    "          dataset DIR: one track per track of each log, a CSV file each, the logs\n"
    "          copied into DIR/source; reports every dropped line with its reason\n"
    "  --date D          the day of a log without one (NMEA without RMC or ZDA, CSV in\n"
    "                    seconds from its start: from midnight UTC of D)\n"
    "  --origin LAT,LON  the dataset's origin (default: the middle of the fixes)\n"
    "  --depth-from gga-altitude  the diver's depth is minus the GGA altitude\n"
    "  --measured NAME   the measured track (default: the first with times)\n"
    "  --reference NAME  the reference track (default: the first route)\n"
    "  --gap S           seconds without a fix that break a track (default: 5 times\n"
    "                    the median interval, at least 5)\n"
    "  --columns time=N,lat=N,lon=N,depth=N  the header names of a CSV log's columns\n"
    "                    (default: time/utc/timestamp, lat/latitude, lon/lng/longitude, depth)\n"
    "  --depth FILE      a CSV depth profile (time and depth) put on the measured track's\n"
    "                    fixes by time, interpolated; fixes outside it have no depth\n"
    "  --depth-offset S  profile time + S = track time (default 0); a profile in seconds\n"
    "                    from its start begins at the track's first fix + S\n"
    "  --overwrite       replace DIR; --strict  any dropped line is an error\n"
    "export    writes DIR's tracks to OUT as GPX 1.1 (.gpx), KML (.kml) or CSV (.csv:\n"
    "          track,utc,lat,lon,depth,quality,hdop,receivers,error)\n"
    "Runs that take more than a second print progress on standard error, one line a\n"
    "second; NERELLE_PROGRESS_INTERVAL=S in the environment sets S seconds for both\n"
    "(0: every report).\n";

const char kShortUsage[] =
    "usage: nerelle-dive check DIR [--at T]... [--hud]\n"
    "       nerelle-dive report DIR OUT.png [--size WxH] [--font F]\n"
    "       nerelle-dive simulate MANIFEST_DIR [--seed N] [--range-noise M] [--depth-noise M]\n"
    "       nerelle-dive import LOG... --out DIR [options]\n"
    "       nerelle-dive export DIR OUT\n"
    "       nerelle-dive --help\n";

void Usage()
{
    std::fprintf(stderr, "error: %s", kShortUsage);
}

// A refused command line: one line with the reason, then the usage; status
// 2, as the program's.
int Refuse(const std::string& reason)
{
    std::fprintf(stderr, "error: %s\n%s", reason.c_str(), kShortUsage);
    return 2;
}

bool ParseDouble(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

bool ParseSeed(const char* text, uint64_t& value)
{
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || text[0] == '-')
        return false;
    value = v;
    return true;
}

void PrintErrors(const DiveData& data, const DiveErrors& errors)
{
    if (data.Timed() && errors.Common() == 0) {
        std::printf("error: no reference track\n");
        return;
    }
    if (errors.Common() == 0) {
        std::printf("error: none measured (no solution fix has a motion sample)\n");
        return;
    }
    std::printf("error %s\n", DescribeErrorCoverage(errors).c_str());
    std::printf("error 3-D: %s\n", DescribeErrorFigures(errors.total_figures).c_str());
    std::printf("error horizontal: %s\n", DescribeErrorFigures(errors.horizontal_figures).c_str());
    std::printf("error vertical: %s\n", DescribeErrorFigures(errors.vertical_figures).c_str());
}

// Loads DIR as the program does; false after saying why.
bool LoadData(const char* dir, DiveData& data, double progressPeriod)
{
    ProgressLine progress(stderr, progressPeriod);
    try {
        data.Load(dir, [&progress](size_t done, size_t total) { progress.Update("sampling the motion", done, total); });
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return false;
    }
    if (data.ignored_solution_lines.count > 0)
        PrintWarning(DescribeIgnoredLines(data.ignored_solution_lines));
    return true;
}

int Check(int argc, char** argv, double progressPeriod)
{
    if (argc < 3) {
        Usage();
        return 2;
    }
    const char* dir = argv[2];
    std::vector<double> times;
    bool hud = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hud") == 0) {
            hud = true;
            continue;
        }
        double t;
        if (std::strcmp(argv[i], "--at") != 0)
            return Refuse(std::string("check takes --at T and --hud, not '") + argv[i] + "'");
        if (i + 1 >= argc)
            return Refuse("--at wants a time in seconds");
        if (!ParseDouble(argv[i + 1], t))
            return Refuse(std::string("--at wants a finite number of seconds, not '") + argv[i + 1] + "'");
        times.push_back(t);
        ++i;
    }

    DiveData data;
    if (!LoadData(dir, data, progressPeriod))
        return 1;
    std::printf("motion samples: %zu\n", data.motion_track.size());
    std::printf("solution positions: %zu\n", data.solution_positions.size());
    std::printf("solution points: %zu\n", data.solution_points.size());
    std::printf("manifest buoys: %zu\n", data.manifest_buoys.size());
    std::printf("duration: %g s (playback period %g s)\n", data.time, data.Period());
    std::printf("dt: %g s\n", data.dt);
    if (data.frame.HasOrigin())
        std::printf("origin: %.6f, %.6f\n", data.frame.Origin().latitude, data.frame.Origin().longitude);
    if (std::isfinite(data.epoch))
        std::printf("epoch: %s\n", FormatUtc(data.epoch).c_str());
    for (const DiveTrack& track : data.tracks) {
        size_t gaps = 0;
        for (const TrackFix& fix : track.fixes)
            gaps += fix.gap_before ? 1 : 0;
        std::printf("track %s (%s%s): %zu fixes", track.name.c_str(), TrackRoleName(track.role),
                    track.route ? ", a route" : "", track.fixes.size());
        if (!track.route && !track.fixes.empty())
            std::printf(", %s to %s, %zu gap%s", FormatUtc(track.fixes.front().utc).c_str(),
                        FormatUtc(track.fixes.back().utc).c_str(), gaps, gaps == 1 ? "" : "s");
        std::printf("\n");
    }
    PrintErrors(data, ComputeDiveErrors(data));
    for (double t : times) {
        Vector3 m = data.MotionPositionAt(t);
        Vector3 s = data.SolutionPositionAt(t);
        Vector3 d = data.SolutionDirectionAt(t);
        std::printf("at %g: motion (%.3f, %.3f, %.3f) solution (%.3f, %.3f, %.3f) direction (%.4f, %.4f, %.4f)\n", t,
                    m.x, m.y, m.z, s.x, s.y, s.z, d.x, d.y, d.z);
        if (hud)
            std::printf("%s\n", FormatHudText(data, t).c_str());
    }
    return 0;
}

bool ParseSize(const char* text, int& width, int& height)
{
    char x = 0, extra = 0;
    return std::sscanf(text, "%d%c%d%c", &width, &x, &height, &extra) == 3 && x == 'x';
}

int Report(int argc, char** argv, double progressPeriod)
{
    if (argc < 4)
        return Refuse("report wants a dataset directory and an output file");
    const char* dir = argv[2];
    const std::string out = argv[3];
    ReportSettings settings;
    settings.font = g_hud_fonts[0].font_file;
    FILE* hud_font = std::fopen(settings.font.c_str(), "rb");
    if (hud_font)
        std::fclose(hud_font);
    else
        settings.font = "CMU Serif";
    for (int i = 4; i < argc; i += 2) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (ok && std::strcmp(argv[i], "--size") == 0)
            ok = ParseSize(value, settings.width, settings.height);
        else if (ok && std::strcmp(argv[i], "--font") == 0)
            settings.font = value;
        else
            ok = false;
        if (!ok)
            return Refuse(std::string("report cannot use ") + argv[i] + (value ? std::string(" ") + value : ""));
    }
    DiveData data;
    if (!LoadData(dir, data, progressPeriod))
        return 1;
    const DiveErrors errors = ComputeDiveErrors(data);
    settings.title = std::string("Positioning error of ") + dir;
    std::string why;
    const BitmapPtr chart = DrawErrorReport(errors, settings, &why);
    if (!chart) {
        PrintError(why);
        return 1;
    }
    if (const Status written = WriteReportPNG(*chart, out); !written) {
        PrintError(written.reason);
        return 1;
    }
    std::printf("wrote %s (%d x %d): error %s\n", out.c_str(), settings.width, settings.height,
                DescribeErrorCoverage(errors).c_str());
    return 0;
}

bool ReadText(const std::string& path, std::string& text)
{
    FILE* f = OpenRegularFileForReading(path);
    if (!f)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

int Simulate(int argc, char** argv, double progressPeriod)
{
    if (argc < 3) {
        Usage();
        return 2;
    }
    const std::string dir = argv[2];
    DiveSimulationSettings settings;
    for (int i = 3; i < argc; i += 2) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool seed = std::strcmp(option, "--seed") == 0, range = std::strcmp(option, "--range-noise") == 0,
                   depth = std::strcmp(option, "--depth-noise") == 0;
        if (!seed && !range && !depth)
            return Refuse(std::string("simulate takes --seed, --range-noise and --depth-noise, not '") + option + "'");
        if (!value)
            return Refuse(std::string(option) + (seed ? " wants a whole number" : " wants a number of metres"));
        double& noise = range ? settings.range_noise : settings.depth_noise;
        if (seed ? !ParseSeed(value, settings.seed) : !(ParseDouble(value, noise) && noise >= 0))
            return Refuse(std::string(option) + (seed ? " wants a whole number 0 or more" : " wants a finite number 0 or more") +
                          ", not '" + value + "'");
    }

    std::string text;
    const std::string manifestPath = dir + "/manifest.txt";
    if (!ReadText(manifestPath, text)) {
        std::fprintf(stderr, "error: %s\n", DiveLoadMessage(DiveLoadError::kOpenManifest));
        return 1;
    }
    DiveManifest manifest;
    if (DiveLoadError e = manifest.Read(text); e != DiveLoadError::kNone) {
        std::fprintf(stderr, "error: %s\n", DiveLoadMessage(e));
        return 1;
    }
    DiveSimulationResult result;
    DiveLoadError motionError;
    ProgressLine progress(stderr, progressPeriod);
    auto report = [&progress](const char* stage, size_t done, size_t total) { progress.Update(stage, done, total); };
    switch (SimulateDive(manifest, settings, result, motionError, report)) {
    case SimulationError::kNone: break;
    case SimulationError::kMotion:
        std::fprintf(stderr, "error: %s\n", DiveLoadMessage(motionError));
        return 1;
    case SimulationError::kTooFewBuoys:
        std::fprintf(stderr, "error: a position fix needs at least %zu buoys; the manifest has %zu\n",
                     kMinSimulatedBuoys, manifest.buoys.size());
        return 1;
    case SimulationError::kTooManyBuoys:
        std::fprintf(stderr, "error: a simulation takes at most %zu buoys; the manifest has %zu\n",
                     kMaxSimulatedBuoys, manifest.buoys.size());
        return 1;
    }

    // Written whole or not at all, so a failed run leaves the previous
    // solution (or none), never half a file.
    const std::string solutionPath = dir + "/solution.txt";
    const Status written = WriteFileWhole(solutionPath, [&](const std::filesystem::path& temporary) {
        FILE* f = OpenRegularFileForWriting(temporary);
        if (!f)
            return false;
        const bool ok = WriteSolution(f, result, manifest.swap_y_z != 0, report);
        return std::fclose(f) == 0 && ok;
    });
    if (!written) {
        PrintError(written.reason);
        return 1;
    }
    std::printf("wrote %s: %zu fixes, %zu buoys, error rms %.3f m, max %.3f m\n", solutionPath.c_str(),
                result.fixes.size(), result.buoys.size(), result.rms_error, result.max_error);
    return 0;
}

// A wrong command line of import: one line, and status 2.
int RefuseImport(const std::string& reason)
{
    PrintError(reason);
    std::fputs("try: nerelle-dive --help\n", stderr);
    return 2;
}

int Import(int argc, char** argv)
{
    std::vector<std::string> logs;
    std::string out;
    ImportOptions options;
    bool overwrite = false, strict = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        const auto value = [&]() { return std::string(argv[++i]); };
        if (arg == "--overwrite") {
            overwrite = true;
        } else if (arg == "--strict") {
            strict = true;
        } else if (arg == "--out") {
            if (!has_value)
                return RefuseImport("--out wants a directory");
            out = value();
        } else if (IsImportOption(arg)) {
            if (!has_value)
                return RefuseImport(arg + " wants a value");
            if (const Status parsed = ParseImportOption(arg, value(), options); !parsed)
                return RefuseImport(parsed.reason);
        } else if (arg.rfind("--", 0) == 0) {
            return RefuseImport("import does not take " + arg);
        } else {
            logs.push_back(arg);
        }
    }
    if (logs.empty())
        return RefuseImport("import wants at least one log file");
    if (out.empty())
        return RefuseImport("import wants --out DIR");
    if (const Status checked = CheckImportOptions(options); !checked)
        return RefuseImport(checked.reason);

    ImportedDataset dataset;
    if (const Status imported = ImportLogs(logs, options, dataset); !imported) {
        PrintError(imported.reason);
        return 1;
    }
    std::fputs(FormatImportReport(dataset).c_str(), stderr);
    if (dataset.FixCount() == 0) {
        PrintError("no fix could be imported");
        return 1;
    }
    if (strict && dataset.DroppedCount() > 0) {
        PrintError(std::to_string(dataset.DroppedCount()) + " lines were dropped (--strict)");
        return 1;
    }
    if (const Status written = WriteImportedDataset(dataset, out, overwrite); !written) {
        PrintError(written.reason);
        return 1;
    }
    std::printf("wrote %s: %zu fixes in %zu tracks\n", out.c_str(), dataset.FixCount(), dataset.tracks.size());
    return 0;
}

int Export(int argc, char** argv, double progressPeriod)
{
    if (argc != 4)
        return Refuse("export takes DIR and OUT (.gpx, .kml or .csv)");
    ExportFormat format;
    if (!ExportFormatOf(argv[3], format))
        return Refuse(std::string("cannot tell the format of '") + argv[3] + "': give a .gpx, .kml or .csv file");
    DiveData data;
    if (!LoadData(argv[2], data, progressPeriod))
        return 1;
    const std::string text = FormatExport(data, format);
    const Status written = WriteFileWhole(argv[3], [&](const std::filesystem::path& temporary) {
        FILE* f = OpenRegularFileForWriting(temporary);
        if (!f)
            return false;
        const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        return std::fclose(f) == 0 && ok;
    });
    if (!written) {
        PrintError(written.reason);
        return 1;
    }
    std::printf("wrote %s\n", argv[3]);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    double progressPeriod;
    if (!ProgressLine::ParsePeriod(std::getenv(ProgressLine::kPeriodVariable), progressPeriod)) {
        // The value itself is not echoed: it may be long or hold line breaks.
        std::fprintf(stderr, "error: %s must be a number of seconds, 0 or more\n", ProgressLine::kPeriodVariable);
        return 1;
    }
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0)
        return Check(argc, argv, progressPeriod);
    if (argc >= 2 && std::strcmp(argv[1], "report") == 0)
        return Report(argc, argv, progressPeriod);
    if (argc >= 2 && std::strcmp(argv[1], "simulate") == 0)
        return Simulate(argc, argv, progressPeriod);
    if (argc >= 2 && std::strcmp(argv[1], "export") == 0)
        return Export(argc, argv, progressPeriod);
    if (argc >= 2 && std::strcmp(argv[1], "import") == 0)
        return Import(argc, argv);
    Usage();
    return 2;
}
