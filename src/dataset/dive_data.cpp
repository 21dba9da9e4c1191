// Reading the two dataset files and answering the time queries.
//
// Sections: messages; a small cursor that reads the manifest the way C's
// formatted input reads it; the manifest; the solution; loading; queries.
#include "dataset/dive_data.h"

#include "core/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

const char* DiveLoadMessage(DiveLoadError error)
{
    switch (error) {
    case DiveLoadError::kNone: return "";
    case DiveLoadError::kOpenSolution: return "failed to open solution";
    case DiveLoadError::kReadSolution: return "failed to read solution";
    case DiveLoadError::kOpenManifest: return "failed to open manifest";
    case DiveLoadError::kReadManifest: return "failed to read manifest";
    case DiveLoadError::kInterpretMotion: return "failed to interpret diver motion";
    case DiveLoadError::kCalculateMotion: return "failed to calculate diver motion";
    }
    return "";
}

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Formatted input over a zero-terminated text: literal characters match one by
// one and stop at the first mismatch, white space in a format matches any run
// of white space, and conversions skip leading white space.
class FormatCursor {
public:
    explicit FormatCursor(const std::string& text) : s(text.c_str()), size(text.size()) {}

    size_t Position() const { return p; }
    size_t Remaining() const { return size - p; }
    const char* Here() const { return s + p; }
    void Advance(size_t n) { p += n; }

    void SkipSpace()
    {
        while (p < size && IsSpace(s[p]))
            ++p;
    }
    bool Literal(const char* text)
    {
        for (; *text; ++text, ++p)
            if (p >= size || s[p] != *text)
                return false;
        return true;
    }
    bool Double(double& value)
    {
        SkipSpace();
        char* end = nullptr;
        double v = std::strtod(s + p, &end);
        if (end == s + p)
            return false;
        p = static_cast<size_t>(end - s);
        value = v;
        return true;
    }
    bool Float(float& value)
    {
        SkipSpace();
        char* end = nullptr;
        float v = std::strtof(s + p, &end);
        if (end == s + p)
            return false;
        p = static_cast<size_t>(end - s);
        value = v;
        return true;
    }
    // An int that does not fit is a failure, not a wrapped value.
    bool Int(int& value)
    {
        SkipSpace();
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(s + p, &end, 10);
        if (end == s + p || errno == ERANGE || v < INT_MIN || v > INT_MAX)
            return false;
        p = static_cast<size_t>(end - s);
        value = static_cast<int>(v);
        return true;
    }

private:
    const char* s;
    size_t size;
    size_t p = 0;
};

void SwapYZ(std::vector<Vector3>& list)
{
    for (Vector3& v : list)
        std::swap(v.y, v.z);
}

// The shortest buoy line, "buoy[0]=(0,0,0", bounds how many buoys a text can hold.
constexpr size_t kShortestBuoyLine = 14;

}  // namespace

// ---------------------------------------------------------------------------
// Manifest

DiveLoadError DiveManifest::Read(const std::string& text)
{
    for (CExpression& e : motion)
        e.Compile("");
    buoys.clear();
    swap_y_z = 0;

    FormatCursor in(text);
    if (!in.Literal("time=") || !in.Double(time))
        return DiveLoadError::kReadManifest;
    in.SkipSpace();
    if (!in.Literal("dt=") || !in.Double(dt))
        return DiveLoadError::kReadManifest;
    in.SkipSpace();
    // A step of zero or less, or a period (time - 1) of zero or less, would
    // make sampling endless or the playback wrap undefined.
    if (!std::isfinite(time) || !std::isfinite(dt) || !(dt > 0.0) || !(time > 1.0) ||
        !((time - 1.0) / dt < static_cast<double>(kMaxMotionSamples)))
        return DiveLoadError::kReadManifest;

    // The motion line, cut at its line feed; a carriage return before it is
    // part of the line end, as text mode reads it.
    const char* lineStart = in.Here();
    size_t length = 0;
    while (length < in.Remaining() && lineStart[length] != '\n')
        ++length;
    in.Advance(length < in.Remaining() ? length + 1 : length);
    std::string line(lineStart, length);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.compare(0, 7, "diver=(") != 0 || line.back() != ')')
        return DiveLoadError::kReadManifest;

    int count = 0;
    if (!in.Literal("buoy_num=") || !in.Int(count))
        return DiveLoadError::kReadManifest;
    in.SkipSpace();
    if (count < 0 || static_cast<size_t>(count) > in.Remaining() / kShortestBuoyLine)
        return DiveLoadError::kReadManifest;

    // Between the first "(" and the last ")", split at every ",".
    size_t open = line.find('(');
    std::string inner = line.substr(open + 1, line.size() - open - 2);
    // Count before splitting, so a line of a million commas costs no memory.
    if (std::count(inner.begin(), inner.end(), ',') != 2)
        return DiveLoadError::kInterpretMotion;
    std::vector<std::string> pieces;
    size_t from = 0;
    for (;;) {
        size_t comma = inner.find(',', from);
        pieces.push_back(inner.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    if (pieces.size() != 3)
        return DiveLoadError::kInterpretMotion;
    for (int k = 0; k < 3; ++k) {
        // A zero byte would cut the text short: such a piece does not compile.
        if (pieces[k].find('\0') != std::string::npos || !motion[k].Compile(pieces[k].c_str()) ||
            motion[k].VariableCount() >= 2)
            return DiveLoadError::kInterpretMotion;
    }

    buoys.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        char prefix[64];
        std::snprintf(prefix, sizeof prefix, "buoy[%d]=(", i);
        Vector3 b;
        if (!in.Literal(prefix) || !in.Float(b.x) || !in.Literal(",") || (in.SkipSpace(), !in.Float(b.y)) ||
            !in.Literal(",") || (in.SkipSpace(), !in.Float(b.z)))
            return DiveLoadError::kReadManifest;
        buoys.push_back(b);
        // The closing ")" and line feed are not required; a mismatch leaves the
        // cursor where the next line's match starts.
        if (in.Literal(")"))
            in.SkipSpace();
    }

    if (in.Literal("swap_y_z=")) {
        int flag = 0;
        if (in.Int(flag))
            swap_y_z = flag;
    }
    if (swap_y_z)
        SwapYZ(buoys);
    return DiveLoadError::kNone;
}

DiveLoadError DiveManifest::PositionAt(double t, double position[3])
{
    for (int k = 0; k < 3; ++k) {
        if (motion[k].VariableCount() > 0 && !motion[k].SetTime(t))
            return DiveLoadError::kCalculateMotion;
        position[k] = motion[k].Evaluate();
    }
    if (swap_y_z)
        std::swap(position[1], position[2]);
    return DiveLoadError::kNone;
}

size_t DiveManifest::SampleCount() const
{
    if (!(dt > 0.0) || !std::isfinite(time))
        return 0;
    // The same repeated addition as Sample, so rounding agrees; Read bounds it.
    size_t n = 0;
    for (double t = 1.0; t < time + 0.5 * dt && n <= kMaxMotionSamples + 1; t += dt)
        ++n;
    return n;
}

DiveLoadError DiveManifest::Sample(std::vector<Vector3>& track, const DiveProgress& progress)
{
    if (!(dt > 0.0))
        return DiveLoadError::kReadManifest;
    // Reporting every few samples keeps the callback's cost out of sight for
    // cheap expressions and still frequent for slow ones.
    constexpr size_t kReportEvery = 64;
    const size_t total = progress ? SampleCount() : 0;
    size_t n = 0;
    for (double t = 1.0; t < time + 0.5 * dt; t += dt) {
        // Read guarantees the bound; this keeps the loop finite for any caller.
        if (++n > kMaxMotionSamples + 1)
            return DiveLoadError::kReadManifest;
        double p[3];
        if (DiveLoadError e = PositionAt(t, p); e != DiveLoadError::kNone)
            return e;
        track.emplace_back(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]));
        if (progress && n % kReportEvery == 0)
            progress(n, std::max(n, total));
    }
    if (progress && (n == 0 || n % kReportEvery != 0))
        progress(n, n);
    return DiveLoadError::kNone;
}

// ---------------------------------------------------------------------------
// Solution

DiveLoadError ReadSolutionText(const std::string& text, DiveData& data)
{
    const char* s = text.data();
    const size_t size = text.size();
    std::string piece;
    size_t lineStart = 0;
    size_t lineNumber = 0;
    while (lineStart < size) {
        ++lineNumber;
        size_t lineEnd = lineStart;
        while (lineEnd < size && s[lineEnd] != '\n')
            ++lineEnd;
        size_t next = lineEnd + 1;
        size_t a = lineStart, b = lineEnd;
        while (a < b && IsSpace(s[a]))
            ++a;
        while (b > a && IsSpace(s[b - 1]))
            --b;

        // Count the pieces first (only up to seven matter), so a very long
        // line of an ignored kind costs one pass and no memory.
        size_t starts[6];
        size_t ends[6];
        int pieces = 0;
        for (size_t q = a; q < b && pieces <= 6;) {
            if (s[q] == ' ') {
                ++q;
                continue;
            }
            size_t e = q;
            while (e < b && s[e] != ' ')
                ++e;
            if (pieces < 6) {
                starts[pieces] = q;
                ends[pieces] = e;
            }
            ++pieces;
            q = e;
        }

        if (pieces == 3 || pieces == 6) {
            float v[6];
            for (int k = 0; k < pieces; ++k) {
                // Each piece is read on its own, so a number cannot run into the next piece.
                piece.assign(s + starts[k], ends[k] - starts[k]);
                char* end = nullptr;
                v[k] = std::strtof(piece.c_str(), &end);
                if (end == piece.c_str())
                    return DiveLoadError::kReadSolution;
            }
            if (pieces == 3) {
                data.solution_points.emplace_back(v[0], v[1], v[2]);
            } else {
                data.solution_positions.emplace_back(v[0], v[1], v[2]);
                data.solution_directions.emplace_back(v[3], v[4], v[5]);
            }
        } else if (pieces > 0) {
            IgnoredLines& ignored = data.ignored_solution_lines;
            if (ignored.count++ == 0) {
                ignored.first_number = lineNumber;
                ignored.first_cut = b - a > IgnoredLines::kMaxExcerpt;
                ignored.first_text.assign(s + a, std::min(b - a, IgnoredLines::kMaxExcerpt));
            }
        }
        lineStart = next;
    }
    return DiveLoadError::kNone;
}

std::string DescribeIgnoredLines(const IgnoredLines& ignored)
{
    std::string text = std::to_string(ignored.count) +
                       (ignored.count == 1 ? " solution line" : " solution lines") +
                       " ignored (neither 3 nor 6 numbers separated by spaces)";
    if (ignored.count == 0)
        return text;
    text += "; the first, line " + std::to_string(ignored.first_number) + ": \"";
    for (char c : ignored.first_text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else if (u < 0x20 || u == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
            text += escaped;
        } else {
            text += c;
        }
    }
    text += ignored.first_cut ? "...\"" : "\"";
    return text;
}

// ---------------------------------------------------------------------------
// Loading

namespace {

enum class FileRead { kOk, kOpenFailed, kReadFailed };

FileRead ReadWholeFile(const std::string& path, std::string& text)
{
    // A FIFO or device in the file's place is refused, not waited on.
    FILE* f = OpenRegularFileForReading(path);
    if (!f)
        return FileRead::kOpenFailed;
    text.clear();
    char buffer[65536];
    size_t n;
    bool failed = false;
    try {
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    failed = failed || std::ferror(f) != 0;
    std::fclose(f);
    return failed ? FileRead::kReadFailed : FileRead::kOk;
}

[[noreturn]] void Fail(DiveLoadError error)
{
    throw std::runtime_error(DiveLoadMessage(error));
}

}  // namespace

void DiveData::Load(const std::string& directory, const DiveProgress& progress)
{
    *this = DiveData();
    std::string text;
    switch (ReadWholeFile(directory + "/solution.txt", text)) {
    case FileRead::kOpenFailed: Fail(DiveLoadError::kOpenSolution);
    case FileRead::kReadFailed: Fail(DiveLoadError::kReadSolution);
    case FileRead::kOk: break;
    }
    if (DiveLoadError e = ReadSolutionText(text, *this); e != DiveLoadError::kNone)
        Fail(e);

    switch (ReadWholeFile(directory + "/manifest.txt", text)) {
    case FileRead::kOpenFailed: Fail(DiveLoadError::kOpenManifest);
    case FileRead::kReadFailed: Fail(DiveLoadError::kReadManifest);
    case FileRead::kOk: break;
    }
    DiveManifest manifest;
    if (DiveLoadError e = manifest.Read(text); e != DiveLoadError::kNone)
        Fail(e);
    time = manifest.time;
    dt = manifest.dt;
    manifest_buoys = manifest.buoys;
    if (DiveLoadError e = manifest.Sample(motion_track, progress); e != DiveLoadError::kNone)
        Fail(e);
    if (manifest.swap_y_z) {
        SwapYZ(solution_points);
        SwapYZ(solution_positions);
        SwapYZ(solution_directions);
    }
}

// ---------------------------------------------------------------------------
// Time queries

bool DiveData::Lookup(double t, size_t count, size_t& i, size_t& j, float& f) const
{
    if (count == 0)
        return false;
    if (!(t > 0.0))
        t = 0.0;
    const double period = Period();
    double a = 0.0;
    double k = 0.0;
    if (period > 0.0 && dt > 0.0) {
        a = std::fmod(t, period);
        if (!(a >= 0.0))
            a = 0.0;  // an infinite t
        k = std::floor(a / dt);
    }
    // The fraction comes from the unwrapped step, so a list shorter than the
    // period repeats itself instead of extrapolating past its ends.
    i = static_cast<size_t>(std::fmod(k, static_cast<double>(count)));
    j = std::min(i + 1, count - 1);
    f = static_cast<float>(dt > 0.0 ? (a - k * dt) / dt : 0.0);
    return true;
}

namespace {

Vector3 Interpolate(const DiveData& data, const std::vector<Vector3>& list, double t)
{
    size_t i, j;
    float f;
    if (!data.Lookup(t, list.size(), i, j, f))
        return {0, 0, 0};
    return list[i] + (list[j] - list[i]) * f;
}

}  // namespace

Vector3 DiveData::SolutionPositionAt(double t) const
{
    return Interpolate(*this, solution_positions, t);
}

Vector3 DiveData::MotionPositionAt(double t) const
{
    return Interpolate(*this, motion_track, t);
}

bool DiveData::SolutionStepAt(double t, Vector3& from, Vector3& to) const
{
    size_t i, j;
    float f;
    if (!Lookup(t, solution_positions.size(), i, j, f))
        return false;
    from = solution_positions[i];
    to = solution_positions[j];
    return true;
}

Vector3 DiveData::SolutionVelocityAt(double t) const
{
    size_t i, j;
    float f;
    const size_t count = solution_positions.size();
    if (!(dt > 0.0) || !std::isfinite(dt) || !Lookup(t, count, i, j, f) || i == j)
        return {0, 0, 0};
    // The slack keeps a reach of a whole number of steps from losing its last
    // position to rounding; the bound keeps a tiny dt from overflowing.
    const size_t extra = static_cast<size_t>(std::min(std::floor(kSolutionVelocityReach / dt + 1e-9), double(count)));
    const size_t first = i - std::min(i, extra);
    const size_t last = std::min(count - 1, j + extra);
    // Times measured from the middle of the window sum to zero, so the slope
    // is sum(t p) / sum(t t); last > first since i < j.
    const double middle = 0.5 * double(first + last);
    double tt = 0.0, tp[3] = {0.0, 0.0, 0.0};
    for (size_t k = first; k <= last; ++k) {
        const double tk = (double(k) - middle) * dt;
        const Vector3& p = solution_positions[k];
        tt += tk * tk;
        tp[0] += tk * double(p.x);
        tp[1] += tk * double(p.y);
        tp[2] += tk * double(p.z);
    }
    return {float(tp[0] / tt), float(tp[1] / tt), float(tp[2] / tt)};
}

Vector3 DiveData::SolutionDirectionAt(double t) const
{
    size_t i, j;
    float f;
    size_t count = std::min(solution_positions.size(), solution_directions.size());
    if (!Lookup(t, count, i, j, f))
        return {0, 0, 0};
    // A zero direction normalises to zero rather than dividing by zero.
    Vector3 u = math::Normalise(solution_directions[i]);
    Vector3 v = math::Normalise(solution_directions[j]);
    return math::Normalise(u + (v - u) * f);
}
