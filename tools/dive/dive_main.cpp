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
//   nerelle-dive --help
// Runs that take more than a second print progress lines on standard error,
// one a second; NERELLE_PROGRESS_INTERVAL=S sets S seconds for both.
#include "hud/hud_text.h"
#include "dataset/dive_data.h"
#include "dataset/dive_error.h"
#include "dive_simulator.h"
#include "error_report.h"
#include "font/font_cache.h"
#include "progress_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: nerelle-dive check DIR [--at T]... [--hud]\n"
    "       nerelle-dive report DIR OUT.png [--size WxH] [--font F]\n"
    "       nerelle-dive simulate MANIFEST_DIR [--seed N] [--range-noise M] [--depth-noise M]\n"
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
    "Runs that take more than a second print progress on standard error, one line a\n"
    "second; NERELLE_PROGRESS_INTERVAL=S in the environment sets S seconds for both\n"
    "(0: every report).\n";

void Usage()
{
    std::fprintf(stderr,
                 "error: usage: nerelle-dive check DIR [--at T]... [--hud]\n"
                 "       nerelle-dive report DIR OUT.png [--size WxH] [--font F]\n"
                 "       nerelle-dive simulate MANIFEST_DIR [--seed N] [--range-noise M] [--depth-noise M]\n"
                 "       nerelle-dive --help\n");
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

void PrintErrors(const DiveErrors& errors)
{
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
        std::fprintf(stderr, "warning: %s\n", DescribeIgnoredLines(data.ignored_solution_lines).c_str());
    return true;
}

int Check(int argc, char** argv, double progressPeriod)
{
    if (argc < 3) {
        Usage();
        return 1;
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
        if (std::strcmp(argv[i], "--at") != 0 || i + 1 >= argc || !ParseDouble(argv[i + 1], t)) {
            Usage();
            return 1;
        }
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
    std::printf("duration: %g s (playback period %g s)\n", data.time, data.time - 1.0);
    std::printf("dt: %g s\n", data.dt);
    PrintErrors(ComputeDiveErrors(data));
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
    if (argc < 4) {
        Usage();
        return 1;
    }
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
        if (!ok) {
            Usage();
            return 1;
        }
    }
    DiveData data;
    if (!LoadData(dir, data, progressPeriod))
        return 1;
    const DiveErrors errors = ComputeDiveErrors(data);
    settings.title = std::string("Positioning error of ") + dir;
    std::string why;
    const BitmapPtr chart = DrawErrorReport(errors, settings, &why);
    if (!chart) {
        std::fprintf(stderr, "error: %s\n", why.c_str());
        return 1;
    }
    if (const Status written = WriteReportPNG(*chart, out); !written) {
        std::fprintf(stderr, "error: %s\n", written.reason.c_str());
        return 1;
    }
    std::printf("wrote %s (%d x %d): error %s\n", out.c_str(), settings.width, settings.height,
                DescribeErrorCoverage(errors).c_str());
    return 0;
}

bool ReadText(const std::string& path, std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "r");
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
        return 1;
    }
    const std::string dir = argv[2];
    DiveSimulationSettings settings;
    for (int i = 3; i < argc; i += 2) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (ok && std::strcmp(option, "--seed") == 0)
            ok = ParseSeed(value, settings.seed);
        else if (ok && std::strcmp(option, "--range-noise") == 0)
            ok = ParseDouble(value, settings.range_noise) && settings.range_noise >= 0;
        else if (ok && std::strcmp(option, "--depth-noise") == 0)
            ok = ParseDouble(value, settings.depth_noise) && settings.depth_noise >= 0;
        else
            ok = false;
        if (!ok) {
            Usage();
            return 1;
        }
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

    // Written under a temporary name and renamed when whole, so a failed run
    // leaves the previous solution (or none), never half a file.
    const std::string solutionPath = dir + "/solution.txt";
    const std::string partialPath = solutionPath + ".partial";
    FILE* f = std::fopen(partialPath.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "error: cannot write %s\n", partialPath.c_str());
        return 1;
    }
    bool written = WriteSolution(f, result, manifest.swap_y_z != 0, report);
    written = (std::fclose(f) == 0) && written;
    if (!written || std::rename(partialPath.c_str(), solutionPath.c_str()) != 0) {
        std::fprintf(stderr, "error: cannot write %s\n", written ? solutionPath.c_str() : partialPath.c_str());
        std::remove(partialPath.c_str());
        return 1;
    }
    std::printf("wrote %s: %zu fixes, %zu buoys, error rms %.3f m, max %.3f m\n", solutionPath.c_str(),
                result.fixes.size(), result.buoys.size(), result.rms_error, result.max_error);
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
    Usage();
    return 1;
}
