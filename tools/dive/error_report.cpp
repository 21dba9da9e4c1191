// Sections: numbers and text of the chart; the canvas (rectangles, lines,
// blending); glyphs; the chart's layout; writing.
#include "error_report.h"

#include "font/glyph_renderer.h"
#include "image/png_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

// ---------------------------------------------------------------------------
// Numbers and text

std::vector<double> NiceTicks(double top, int count)
{
    if (!(top > 0.0) || !std::isfinite(top))
        top = 1.0;
    count = std::max(count, 2);
    const double raw = top / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= raw)
            break;
    }
    std::vector<double> ticks;
    for (long k = 0;; ++k) {
        ticks.push_back(double(k) * step);
        if (double(k) * step >= top * (1.0 - 1e-9))
            break;
    }
    return ticks;
}

std::string TickLabel(double value, double step)
{
    int decimals = 0;
    while (decimals < 6 && std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) >
                                1e-6 * std::pow(10.0, decimals))
        ++decimals;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string DescribeErrorFigures(const ErrorFigures& f)
{
    char text[160];
    std::snprintf(text, sizeof text, "rms %.3f m, mean %.3f m, p95 %.3f m, max %.3f m at %.2f s", f.rms, f.mean,
                  f.p95, f.max, f.max_time);
    return text;
}

std::string DescribeErrorCoverage(const DiveErrors& errors)
{
    if (!errors.Partial())
        return "over all " + std::to_string(errors.Common()) + " steps";
    return "over the first " + std::to_string(errors.Common()) + " steps: the solution has " +
           std::to_string(errors.solution_fixes) + " fixes, the motion " + std::to_string(errors.motion_steps) +
           " samples";
}

namespace {

// ---------------------------------------------------------------------------
// Canvas

struct Colour {
    uint8_t r, g, b;
};

constexpr Colour kBackground{255, 255, 255};
constexpr Colour kInk{30, 30, 30};
constexpr Colour kGrid{225, 225, 225};
constexpr Colour kAxis{90, 90, 90};
constexpr Colour kHorizontal{31, 119, 180};
constexpr Colour kVertical{255, 127, 14};

class Canvas {
public:
    explicit Canvas(TBitmap& bitmap) : m_b(bitmap) {}

    int Width() const { return m_b.width; }
    int Height() const { return m_b.height; }

    // Mixes `c` into pixel (x, y) by `coverage` (0 to 1); outside: nothing.
    void Blend(int x, int y, Colour c, float coverage)
    {
        if (x < 0 || y < 0 || x >= m_b.width || y >= m_b.height || !(coverage > 0.0f))
            return;
        coverage = std::min(coverage, 1.0f);
        uint32_t& p = m_b.Row(y)[x];
        const auto mix = [coverage](uint32_t old, uint8_t ink) {
            return uint8_t(std::lround(float(old & 0xFF) * (1.0f - coverage) + float(ink) * coverage));
        };
        p = PackRGBA(mix(p, c.r), mix(p >> 8, c.g), mix(p >> 16, c.b), 255);
    }

    void FillRect(int x0, int y0, int x1, int y1, Colour c)
    {
        for (int y = std::max(y0, 0); y < std::min(y1, m_b.height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, m_b.width); ++x)
                m_b.Row(y)[x] = PackRGBA(c.r, c.g, c.b, 255);
    }

    // An antialiased line `width` pixels wide: every pixel near the segment
    // covered by how far its centre lies inside the line's edge.
    void Line(float x0, float y0, float x1, float y1, float width, Colour c)
    {
        const float half = 0.5f * width;
        const int left = int(std::floor(std::min(x0, x1) - half - 1)), right = int(std::ceil(std::max(x0, x1) + half + 1));
        const int top = int(std::floor(std::min(y0, y1) - half - 1)), bottom = int(std::ceil(std::max(y0, y1) + half + 1));
        const float dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
        for (int y = std::max(top, 0); y <= std::min(bottom, m_b.height - 1); ++y)
            for (int x = std::max(left, 0); x <= std::min(right, m_b.width - 1); ++x) {
                const float px = float(x) + 0.5f - x0, py = float(y) + 0.5f - y0;
                const float s = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0f, 1.0f) : 0.0f;
                const float ex = px - s * dx, ey = py - s * dy;
                const float distance = std::sqrt(ex * ex + ey * ey);
                const float coverage = std::clamp(half + 0.5f - distance, 0.0f, 1.0f);
                Blend(x, y, c, coverage);
            }
    }

private:
    TBitmap& m_b;
};

// ---------------------------------------------------------------------------
// Glyphs

class TextPen {
public:
    bool Open(const std::string& font, int pixels)
    {
        m_renderer.Start(font.c_str(), pixels, 400, false, false);
        return m_renderer.Usable();
    }

    int Ascent() const { return m_renderer.Metrics().ascent; }
    int LineHeight() const { return m_renderer.Metrics().line_spacing; }

    int Width(const std::string& text)
    {
        int width = 0;
        for (unsigned char ch : text)
            width += Get(ch).info.advance;
        return width;
    }

    // Text with its baseline at row `baseline`, starting at column x.
    void Draw(Canvas& canvas, const std::string& text, int x, int baseline, Colour c)
    {
        for (unsigned char ch : text) {
            const Glyph& g = Get(ch);
            const int left = x + g.info.bearing_x, top = baseline - g.info.bearing_y - g.box.h;
            for (int row = 0; row < g.box.h; ++row)
                for (int col = 0; col < g.box.w; ++col) {
                    const uint32_t grey = g.grey[size_t(row) * size_t(g.box.w) + size_t(col)] & 0xFF;
                    canvas.Blend(left + col, top + row, c, float(grey) / 255.0f);
                }
            x += g.info.advance;
        }
    }

private:
    struct Glyph {
        GlyphInfo info{};
        TInkBox box{0, 0, 0, 0};
        std::vector<uint32_t> grey;  // box.w x box.h, top row first
    };

    const Glyph& Get(unsigned char ch)
    {
        auto found = m_glyphs.find(ch);
        if (found != m_glyphs.end())
            return found->second;
        Glyph& g = m_glyphs[ch];
        // Only printable ASCII is ever drawn here; anything else is a blank.
        if (ch >= 32 && ch < 127 && m_renderer.Rasterise(ch, g.info, g.box) && g.box.w > 0 && g.box.h > 0) {
            g.grey.resize(size_t(g.box.w) * size_t(g.box.h));
            m_renderer.Copy(g.grey.data(), false, g.box.w, g.box);
        } else {
            g.box = {0, 0, 0, 0};
        }
        return g;
    }

    CGlyphRenderer m_renderer;
    std::map<unsigned char, Glyph> m_glyphs;
};

// ---------------------------------------------------------------------------
// Layout

struct Axis {
    std::vector<double> ticks;
    double top() const { return ticks.back(); }
    double step() const { return ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0; }
};

}  // namespace

BitmapPtr DrawErrorReport(const DiveErrors& errors, const ReportSettings& settings, std::string* why)
{
    const auto fail = [why](const std::string& reason) {
        if (why)
            *why = reason;
        return BitmapPtr();
    };
    const int w = settings.width, h = settings.height;
    if (w < kReportMinSide || h < kReportMinSide || w > kReportMaxSide || h > kReportMaxSide)
        return fail("the chart's sides must be " + std::to_string(kReportMinSide) + " to " +
                    std::to_string(kReportMaxSide) + " pixels");
    if (errors.Common() == 0)
        return fail("no solution fix has a motion sample to measure it against");
    const int unit = std::min(w, h * 16 / 9);  // text scales with the chart
    TextPen title_pen, pen;
    if (!title_pen.Open(settings.font, std::max(16, unit / 40)) || !pen.Open(settings.font, std::max(12, unit / 62)))
        return fail("cannot open the font " + settings.font);
    BitmapPtr bitmap(TBitmap::Create(w, h, false, false, 8));
    if (!bitmap)
        return fail("out of memory for a " + std::to_string(w) + " x " + std::to_string(h) + " chart");
    Canvas canvas(*bitmap);
    canvas.FillRect(0, 0, w, h, kBackground);

    // Title, then the figures of each direction and what they cover.
    const int margin = unit / 40, line = pen.LineHeight();
    int y = margin + title_pen.Ascent();
    title_pen.Draw(canvas, settings.title, margin, y, kInk);
    y += line + line / 3;
    pen.Draw(canvas, "horizontal: " + DescribeErrorFigures(errors.horizontal_figures), margin, y, kHorizontal);
    y += line;
    pen.Draw(canvas, "vertical: " + DescribeErrorFigures(errors.vertical_figures), margin, y, kVertical);
    y += line;
    pen.Draw(canvas, "3-D: " + DescribeErrorFigures(errors.total_figures) + "; " + DescribeErrorCoverage(errors),
             margin, y, kInk);

    // The plot area, with room for the tick labels left and below.
    const double duration = double(errors.Common() - 1) * errors.dt;
    const Axis x_axis{NiceTicks(duration > 0 ? duration : errors.dt, 8)};
    const Axis y_axis{NiceTicks(std::max(errors.horizontal_figures.max, errors.vertical_figures.max), 6)};
    const int plot_left = margin + pen.Width(TickLabel(y_axis.top(), y_axis.step()) + "00");
    const int plot_right = w - margin - pen.Width("00");
    const int plot_top = y + 2 * line;
    const int plot_bottom = h - margin - 2 * line - line / 2;
    if (plot_right - plot_left < 50 || plot_bottom - plot_top < 50)
        return fail("the chart is too small for its text");
    const auto px = [&](double t) { return float(plot_left + (plot_right - plot_left) * (t / x_axis.top())); };
    const auto py = [&](double e) { return float(plot_bottom - (plot_bottom - plot_top) * (e / y_axis.top())); };

    // Grid and tick labels.
    for (double t : x_axis.ticks) {
        const int x = int(std::lround(px(t)));
        canvas.FillRect(x, plot_top, x + 1, plot_bottom, kGrid);
        const std::string label = TickLabel(t, x_axis.step());
        pen.Draw(canvas, label, x - pen.Width(label) / 2, plot_bottom + line, kInk);
    }
    for (double e : y_axis.ticks) {
        const int yy = int(std::lround(py(e)));
        canvas.FillRect(plot_left, yy, plot_right, yy + 1, kGrid);
        const std::string label = TickLabel(e, y_axis.step());
        pen.Draw(canvas, label, plot_left - pen.Width(label) - line / 2, yy + pen.Ascent() / 2, kInk);
    }
    canvas.FillRect(plot_left, plot_top, plot_left + 2, plot_bottom + 1, kAxis);
    canvas.FillRect(plot_left, plot_bottom - 1, plot_right, plot_bottom + 1, kAxis);
    const std::string x_title = "playback time (s)";
    pen.Draw(canvas, x_title, (plot_left + plot_right - pen.Width(x_title)) / 2, plot_bottom + 2 * line + line / 4,
             kInk);
    pen.Draw(canvas, "error (m)", plot_left - pen.Width(TickLabel(y_axis.top(), y_axis.step())) - line / 2,
             plot_top - line / 2, kInk);

    // The two errors over time, vertical first so the larger horizontal
    // error shows on top.
    const float thickness = std::max(1.0f, float(unit) / 900.0f);
    for (const auto* list : {&errors.vertical, &errors.horizontal}) {
        const Colour c = list == &errors.vertical ? kVertical : kHorizontal;
        for (size_t i = 1; i < list->size(); ++i)
            canvas.Line(px(double(i - 1) * errors.dt), py((*list)[i - 1]), px(double(i) * errors.dt),
                        py((*list)[i]), thickness, c);
    }

    // Legend in the top right corner of the plot.
    int legend_y = plot_top + line;
    const int sample = 2 * line, legend_x = plot_right - pen.Width("horizontal") - sample - line;
    for (const auto& [name, c] : {std::pair<const char*, Colour>{"horizontal", kHorizontal}, {"vertical", kVertical}}) {
        canvas.Line(float(legend_x), float(legend_y - pen.Ascent() / 3), float(legend_x + sample),
                    float(legend_y - pen.Ascent() / 3), 2.0f * thickness, c);
        pen.Draw(canvas, name, legend_x + sample + line / 2, legend_y, kInk);
        legend_y += line;
    }
    return bitmap;
}

// ---------------------------------------------------------------------------
// Writing

Status WriteReportPNG(const TBitmap& bitmap, const std::string& path)
{
    return SavePNG(path, &bitmap, true);
}
