#include "app/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Largest image side we accept: beyond the GL limits of any context, far
// below an allocation that could not be made.
constexpr long kMaxSide = 16384;

bool ParseSize(const std::string& text, ImageSize& size)
{
    const size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    const std::string w = text.substr(0, x), h = text.substr(x + 1);
    for (const std::string& part : {w, h})
        if (part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos)
            return false;
    const long width = std::strtol(w.c_str(), nullptr, 10), height = std::strtol(h.c_str(), nullptr, 10);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return false;
    size = {int(width), int(height)};
    return true;
}

bool ParseTime(const std::string& text, double& time)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0)
        return false;
    time = value;
    return true;
}

bool ParseFrameNumber(const std::string& text, unsigned& n)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    n = unsigned(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

bool ParseFrames(const std::string& text, std::pair<unsigned, unsigned>& range)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    unsigned a = 0, b = 0;
    if (!ParseFrameNumber(text.substr(0, colon), a) || !ParseFrameNumber(text.substr(colon + 1), b) || a >= b)
        return false;
    range = {a, b};
    return true;
}

// "A,B" in metres with 0 < A < B; a bound keeps the colours meaningful and
// the text short.
bool ParseThresholds(const std::string& text, std::pair<float, float>& thresholds)
{
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    double low = 0, high = 0;
    if (!ParseTime(text.substr(0, comma), low) || !ParseTime(text.substr(comma + 1), high))
        return false;
    if (!(low > 0.0) || !(high > low) || high > 1e6)
        return false;
    thresholds = {float(low), float(high)};
    return float(thresholds.second) > float(thresholds.first);
}

}  // namespace

ParsedOptions ParseOptions(int argc, const char* const* argv)
{
    ParsedOptions parsed;
    Options& o = parsed.options;
    o.window_arguments.push_back(argc > 0 && argv[0] ? argv[0] : "nerelle");
    auto fail = [&](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };
    bool out_given = false, time_given = false, png_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            // Not ours: the window system's (GLUT reads -display, -geometry, ...).
            o.window_arguments.push_back(arg);
            continue;
        }
        if (arg == "--help") {
            o.help = true;
            continue;
        }
        if (arg == "--headless") {
            o.headless = true;
            continue;
        }
        if (arg == "--overwrite") {
            o.overwrite = true;
            continue;
        }
        if (arg == "--follow") {
            o.follow = true;
            continue;
        }
        if (arg == "--error-view") {
            o.error_view = true;
            continue;
        }
        const char* const with_value[] = {"--data", "--screenshot", "--time", "--size", "--keys",
                                          "--record", "--out",       "--frames", "--video",
                                          "--error-thresholds", "--png-compression", "--date", "--origin",
                                          "--depth-from", "--measured", "--reference", "--gap", "--columns",
                                          "--depth", "--depth-offset", "--track"};
        bool known = false;
        for (const char* name : with_value)
            known = known || arg == name;
        if (!known)
            return fail("unknown option " + arg);
        if (i + 1 >= argc || !argv[i + 1] || !*argv[i + 1])
            return fail(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--data") {
            o.data = value;
        } else if (arg == "--track") {
            o.track = value;
        } else if (arg == "--date" || arg == "--origin" || arg == "--depth-from" || arg == "--measured" ||
                   arg == "--reference" || arg == "--gap" || arg == "--columns" || arg == "--depth" ||
                   arg == "--depth-offset") {
            o.import_options.emplace_back(arg, value);
        } else if (arg == "--screenshot") {
            o.screenshot = value;
        } else if (arg == "--keys") {
            o.keys = value;
        } else if (arg == "--record") {
            o.record = value;
        } else if (arg == "--video") {
            o.video = value;
        } else if (arg == "--png-compression") {
            if (value != "fast" && value != "default")
                return fail("--png-compression wants fast or default: " + value);
            o.png_default_compression = value == "default";
            png_given = true;
        } else if (arg == "--out") {
            o.out = value;
            out_given = true;
        } else if (arg == "--time") {
            if (!ParseTime(value, o.time))
                return fail("--time wants a number of seconds, 0 or more: " + value);
            time_given = true;
        } else if (arg == "--size") {
            ImageSize size;
            if (!ParseSize(value, size))
                return fail("--size wants WIDTHxHEIGHT, each 1 to " + std::to_string(kMaxSide) + ": " + value);
            o.size = size;
        } else if (arg == "--error-thresholds") {
            std::pair<float, float> thresholds;
            if (!ParseThresholds(value, thresholds))
                return fail("--error-thresholds wants A,B in metres with 0 < A < B: " + value);
            o.error_thresholds = thresholds;
        } else if (arg == "--frames") {
            std::pair<unsigned, unsigned> range;
            if (!ParseFrames(value, range))
                return fail("--frames wants A:B with frame numbers A < B: " + value);
            o.frames = range;
        }
    }
    if (o.help)
        return parsed;
    const bool screenshot = !o.screenshot.empty(), record = !o.record.empty();
    if ((time_given || !o.keys.empty()) && !screenshot)
        return fail(std::string(time_given ? "--time" : "--keys") + " belongs to --screenshot");
    if ((out_given || o.frames || !o.video.empty() || o.overwrite) && !record)
        return fail(std::string(out_given ? "--out" : o.frames ? "--frames" : o.overwrite ? "--overwrite" : "--video") +
                    " belongs to --record");
    if (!o.import_options.empty() && o.data.empty())
        return fail(o.import_options.front().first + " belongs to --data LOG");
    if (png_given && !screenshot && !record)
        return fail("--png-compression belongs to --screenshot or --record");
    if (screenshot && record && o.size)
        return fail("--size is ambiguous with both --screenshot and --record; run them one at a time");
    if (o.headless && !screenshot && !record)
        return fail("--headless renders only what --screenshot or --record asks for");
    if (screenshot || record)
        o.headless = true;
    if (screenshot) {
        const std::string& s = o.screenshot;
        const auto ends = [&](const char* ext) {
            const std::string e = ext;
            return s.size() > e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
        };
        if (!ends(".tga") && !ends(".png") && !ends(".TGA") && !ends(".PNG"))
            return fail("--screenshot writes .tga or .png files: " + s);
    }
    if (o.headless && o.window_arguments.size() > 1)
        return fail("no window, so no window-system argument: " + o.window_arguments[1]);
    return parsed;
}

std::string UsageText(const std::string& key_usage)
{
    return "usage: nerelle [--data DIR|LOG [IMPORT]] [VIEW] [window-system arguments]\n"
           "       nerelle [--data DIR] [VIEW] --screenshot FILE [--time T] [--size WxH] [--keys FILE]\n"
           "       nerelle [--data DIR] [VIEW] --record KEYS [--out DIR] [--frames A:B] [--size WxH] [--video FILE]\n"
           "               [--overwrite]\n"
           "  VIEW: [--follow] [--error-view] [--error-thresholds A,B] [--track NAME]\n"
           "  IMPORT (with --data LOG): [--date YYYY-MM-DD] [--origin LAT,LON]\n"
           "          [--depth-from gga-altitude] [--measured NAME] [--reference NAME] [--gap S]\n"
           "          [--columns time=N,lat=N,lon=N,depth=N] [--depth FILE [--depth-offset S]]\n"
           "\n"
           "Without --screenshot or --record the program opens its window; with them it renders\n"
           "without one (no display needed) and exits.\n"
           "\n"
           "  --data DIR|LOG     the dive dataset directory (default data/spiral_long), or a\n"
           "                     track log (NMEA 0183, GPX, KML, CSV) imported as nerelle-dive import\n"
           "                     does, with the IMPORT options it takes\n"
           "  --headless         no window (implied by --screenshot and --record)\n"
           "  --screenshot FILE  one image, TGA or PNG by extension, 4096 x 3072 unless --size\n"
           "  --time T           its playback time in seconds (default 0)\n"
           "  --keys FILE        its view from these camera keys at T (default: the free camera's start)\n"
           "  --record KEYS      the camera animation of a key file at 23.976 frames per second,\n"
           "                     1280 x 720 unless --size, as DIR/frame_NNNNN.png\n"
           "  --out DIR          where the frames go (default frames)\n"
           "  --frames A:B       only frames A to B - 1, named by their frame numbers, so a long\n"
           "                     recording can be split over processes or machines\n"
           "  --video FILE       an H.264 MP4 at 23.976 fps through ffmpeg instead of frames\n"
           "  --png-compression fast|default\n"
           "                     how PNG frames and screenshots are compressed: fast (the default;\n"
           "                     files no larger on rendered frames) or libpng's default (slower)\n"
           "  --overwrite        replace frames already in DIR (without it a directory holding\n"
           "                     frames the recording would write, or any frames at all for a\n"
           "                     whole recording, is refused: old and new would mix)\n"
           "  --follow           the follow camera (key c): behind and above the diver\n"
           "  --error-view       the error view (key e): the solution track coloured by its\n"
           "                     distance from the motion, and the error on the HUD\n"
           "  --error-thresholds A,B\n"
           "                     its colours: green below A metres, yellow below B, red above\n"
           "                     (default 0.25,0.5)\n"
           "  --track NAME       the track of a dataset of several to follow (key Tab): the\n"
           "                     HUD, the follow camera and the error view show it\n"
           "  --help             this text\n"
           "\n"
           "Keys in the window:\n" +
           key_usage +
           "Mouse: left drag turns (yaw, pitch), right drag rolls.\n";
}
