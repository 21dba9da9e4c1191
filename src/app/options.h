// The program's command line. Without options of its own the program opens
// its window and hands every argument to the window system, as it always
// has; options are read before that, so the window system never sees them.
//
//   nerelle [--data DIR|LOG [IMPORT]] [VIEW]     the window
//   nerelle [--data DIR] [VIEW] --screenshot FILE [--time T] [--size WxH] [--keys FILE]
//   nerelle [--data DIR] [VIEW] --record KEYS [--out DIR] [--frames A:B] [--size WxH] [--video FILE] [--overwrite]
//   VIEW: [--follow] [--error-view] [--error-thresholds A,B] [--track NAME]
//   IMPORT (with --data LOG): [--date D] [--origin LAT,LON] [--depth-from gga-altitude]
//          [--measured NAME] [--reference NAME] [--gap S]
//
// --screenshot and --record render without a window (an EGL context on
// Mesa's surfaceless platform); --headless says so explicitly. Plain C++,
// no GL: parsed and tested without a context.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ImageSize {
    int width = 0, height = 0;
};

struct Options {
    bool help = false;
    bool headless = false;           // no window: render and exit
    std::string data;                // dataset directory or track log; empty: the default
    // Options of a log's import (name, value), read by the importer.
    std::vector<std::pair<std::string, std::string>> import_options;
    std::string screenshot;          // one image to write (.tga or .png); empty: none
    double time = 0;                 // playback time of the screenshot, seconds
    std::optional<ImageSize> size;   // image or frame size; empty: the defaults
    std::string keys;                // camera keys for the screenshot's view
    std::string record;              // camera keys to record; empty: no recording
    std::string out = "frames";      // directory of the recorded frames
    bool overwrite = false;          // frames already there may be replaced
    std::optional<std::pair<unsigned, unsigned>> frames;  // frames A to B - 1 only
    std::string video;               // H.264 MP4 instead of frames; empty: frames
    bool png_default_compression = false;  // libpng's slower default, not the fast setting
    bool follow = false;             // the follow camera (key c) from the start
    bool error_view = false;         // the error view (key e) from the start
    std::string track;               // the track to follow (key Tab); empty: the measured one
    std::optional<std::pair<float, float>> error_thresholds;  // metres: green below the first, red from the second
    std::vector<std::string> window_arguments;  // argv[0] and what the window system gets
};

struct ParsedOptions {
    Options options;
    std::string error;  // why the command line is refused; empty when it is not
};

ParsedOptions ParseOptions(int argc, const char* const* argv);

// The usage text: the options and every key of the window.
std::string UsageText(const std::string& key_usage);
