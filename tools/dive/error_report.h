// The error report of `nerelle-dive report`: the solution's error over
// time, horizontal and vertical, as a chart in a PNG file.
//
// Drawn in plain C++ into an RGBA bitmap (lines, rectangles and text), with
// the text rasterised by the project's FreeType glyph renderer, and written
// with the project's PNG writer: no GL and no plotting package, so the tool
// runs wherever the program builds. The chart: a title, the statistics line,
// axes with "nice" ticks (1, 2 or 5 times a power of ten) and their labels,
// the horizontal error in blue and the vertical in orange, and a legend.
#pragma once

#include "core/status.h"
#include "dataset/dive_error.h"
#include "image/bitmap.h"

#include <string>
#include <vector>

// Smallest and largest chart the tool draws, per side, in pixels.
inline constexpr int kReportMinSide = 320;
inline constexpr int kReportMaxSide = 8192;
inline constexpr int kReportDefaultWidth = 1200;
inline constexpr int kReportDefaultHeight = 700;

// Tick values from 0 up to at least `top`, 1, 2 or 5 times a power of ten
// apart, about `count` of them (at least two: 0 and one above `top`).
std::vector<double> NiceTicks(double top, int count);

// A tick value as its label: as few decimals as the step needs ("0", "0.25", "120").
std::string TickLabel(double value, double step);

// The statistics line of the report and of `check`: RMS, mean, 95th
// percentile, maximum and its time, for one list of errors, e.g.
// "rms 0.216 m, mean 0.191 m, p95 0.386 m, max 0.675 m at 337.25 s".
std::string DescribeErrorFigures(const ErrorFigures& figures);

// "over all N steps" or "over the first N steps: the solution has S fixes,
// the motion M samples" when the two differ.
std::string DescribeErrorCoverage(const DiveErrors& errors);

struct ReportSettings {
    int width = kReportDefaultWidth;
    int height = kReportDefaultHeight;
    std::string title;  // first line of the chart
    // Font for the text: a file, or a family name fontconfig resolves.
    std::string font;
};

// Draws the chart into a new bitmap of the settings' size; null (with the
// reason) when the size is outside kReportMinSide..kReportMaxSide, there are
// no errors to plot, or the font cannot be opened.
BitmapPtr DrawErrorReport(const DiveErrors& errors, const ReportSettings& settings, std::string* why);

// Writes the bitmap as PNG to `path` through a temporary file beside it,
// renamed when whole, so a failure leaves the old file (or none).
Status WriteReportPNG(const TBitmap& bitmap, const std::string& path);
