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


[[noreturn]] void Fail(const std::string& reason)
{
    throw std::runtime_error(reason);
}

// The heading of each fix: towards the next one (the last keeps the one
// before it), level, so the submersible points along its track.
std::vector<Vector3> Headings(const std::vector<Vector3>& positions)
{
    std::vector<Vector3> headings(positions.size(), Vector3(0, 0, 1));
    Vector3 last(0, 0, 1);
    for (size_t k = positions.size(); k-- > 0;) {
        if (k + 1 < positions.size()) {
            const Vector3 d = positions[k + 1] - positions[k];
            if (d.x != 0.0f || d.z != 0.0f)
                last = math::Normalise(Vector3(d.x, 0.0f, d.z));
        }
        headings[k] = last;
    }
    return headings;
}

double MedianInterval(const std::vector<double>& times)
{
    std::vector<double> intervals;
    for (size_t k = 1; k < times.size(); ++k)
        intervals.push_back(times[k] - times[k - 1]);
    if (intervals.empty())
        return 0.0;
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    return intervals[intervals.size() / 2];
}

}  // namespace

void DiveData::Load(const std::string& directory, const DiveProgress& progress)
{
    *this = DiveData();
    std::string manifest_text;
    const FileRead manifest_read = ReadWholeFile(directory + "/manifest.txt", manifest_text);
    TrackManifest tracks_manifest;
    if (manifest_read == FileRead::kOk) {
        if (const Status read = ReadTrackManifest(manifest_text, tracks_manifest); !read)
            Fail(read.reason);
    }
    const bool of_tracks = !tracks_manifest.Empty();

    std::string text;
    switch (ReadWholeFile(directory + "/solution.txt", text)) {
    case FileRead::kOpenFailed:
        // A dataset of tracks needs no solution file: it only adds buoys.
        if (!of_tracks)
            Fail(DiveLoadError::kOpenSolution);
        text.clear();
        break;
    case FileRead::kReadFailed: Fail(DiveLoadError::kReadSolution);
    case FileRead::kOk: break;
    }
    if (DiveLoadError e = ReadSolutionText(text, *this); e != DiveLoadError::kNone)
        Fail(e);

    switch (manifest_read) {
    case FileRead::kOpenFailed: Fail(DiveLoadError::kOpenManifest);
    case FileRead::kReadFailed: Fail(DiveLoadError::kReadManifest);
    case FileRead::kOk: break;
    }
    if (of_tracks) {
        LoadTracks(directory, manifest_text, tracks_manifest, progress);
        return;
    }
    DiveManifest manifest;
    if (DiveLoadError e = manifest.Read(manifest_text); e != DiveLoadError::kNone)
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

void DiveData::LoadTracks(const std::string& directory, const std::string& manifest_text,
                          const TrackManifest& manifest, const DiveProgress& progress)
{
    if (manifest.origin) {
        const std::optional<GeoFrame> at = GeoFrame::AtOrigin(*manifest.origin);
        if (!at)
            Fail("this program cannot place a dataset with a geographic origin (origin=): open it in the desktop "
                 "program");
        frame = *at;
    }
    // Planned motion as expressions, besides the tracks: sampled as today,
    // each sample at its step's playback time.
    std::vector<double> expression_times;
    if (manifest_text.rfind("time=", 0) == 0) {
        DiveManifest expressions;
        if (DiveLoadError e = expressions.Read(manifest_text); e != DiveLoadError::kNone)
            Fail(e);
        manifest_buoys = expressions.buoys;
        if (DiveLoadError e = expressions.Sample(motion_track, progress); e != DiveLoadError::kNone)
            Fail(e);
        for (size_t k = 0; k < motion_track.size(); ++k)
            expression_times.push_back(double(k) * expressions.dt);
    }

    for (const TrackManifest::Entry& entry : manifest.tracks) {
        std::string text;
        if (ReadWholeFile(directory + "/" + entry.file, text) != FileRead::kOk)
            Fail("cannot read track file " + entry.file + " of track " + entry.name);
        DiveTrack track;
        track.name = entry.name;
        track.role = entry.role;
        track.file = entry.file;
        if (const Status read = ReadTrackCsv(text, entry.file, track.fixes); !read)
            Fail(read.reason);
        track.route = !track.fixes.empty() && std::none_of(track.fixes.begin(), track.fixes.end(),
                                                           [](const TrackFix& f) { return std::isfinite(f.utc); });
        for (size_t k = 1; k < track.fixes.size() && !track.route; ++k)
            if (!(track.fixes[k].utc >= track.fixes[k - 1].utc))
                Fail(entry.file + ":" + std::to_string(k + 2) + ": times must not run backwards");
        tracks.push_back(std::move(track));
    }

    // Playback time 0: the epoch, else the first fix of the measured track
    // (of any track with times when none is measured).
    epoch = manifest.epoch;
    for (size_t k = 0; k < tracks.size(); ++k) {
        if (measured < 0 && tracks[k].role == TrackRole::kMeasured)
            measured = int(k);
        if (reference < 0 && tracks[k].role == TrackRole::kReference && !tracks[k].route)
            reference = int(k);
    }
    if (!std::isfinite(epoch)) {
        for (int pass = 0; pass < 2 && !std::isfinite(epoch); ++pass)
            for (size_t k = 0; k < tracks.size() && !std::isfinite(epoch); ++k)
                if ((pass == 1 || int(k) == measured) && !tracks[k].route && !tracks[k].fixes.empty())
                    epoch = tracks[k].fixes.front().utc;
    }

    const double threshold =
        manifest.gap ? *manifest.gap : measured >= 0 ? DefaultGapThreshold(tracks[size_t(measured)].fixes) : 5.0;
    gap = threshold;
    for (DiveTrack& track : tracks) {
        for (size_t k = 0; k < track.fixes.size(); ++k) {
            TrackFix& fix = track.fixes[k];
            fix.t = track.route ? kNoTime : fix.utc - epoch;
            fix.local = frame.ToLocal(fix.where, std::isfinite(fix.depth) ? fix.depth : 0.0);
            fix.gap_before = k > 0 && !track.route && fix.t - track.fixes[k - 1].t > threshold;
        }
    }

    // The period covers every track with times, so each plays to its end.
    double span = expression_times.empty() ? 0.0 : expression_times.back();
    for (const DiveTrack& track : tracks)
        if (!track.route && !track.fixes.empty() && track.role != TrackRole::kWaterDepth)
            span = std::max(span, track.fixes.back().t);
    const auto fill = [&](const DiveTrack& track, std::vector<Vector3>& positions, std::vector<double>& times) {
        positions.clear();
        times.clear();
        for (const TrackFix& fix : track.fixes) {
            positions.emplace_back(float(fix.local.x), float(fix.local.y), float(fix.local.z));
            times.push_back(fix.t);
        }
        if (!times.empty())
            span = std::max(span, times.back());
    };
    if (measured >= 0)
        FillSolution(size_t(measured));
    if (reference >= 0) {
        fill(tracks[size_t(reference)], motion_track, motion_times);
        for (const TrackFix& fix : tracks[size_t(reference)].fixes)
            motion_gap_before.push_back(fix.gap_before ? 1 : 0);
    } else
        motion_times = expression_times;
    for (double t : solution_times)
        span = std::max(span, t);
    // A step of the median interval past the last fix, so the last fix shows
    // before the playback starts again.
    dt = MedianInterval(solution_times.empty() ? motion_times : solution_times);
    time = span + dt + 1.0;
    if (!(span > 0.0))
        time = 1.0;  // one fix: a point, no wrap
}

bool DiveData::Selectable(size_t k) const
{
    return k < tracks.size() && tracks[k].role != TrackRole::kWaterDepth && !tracks[k].route &&
           !tracks[k].fixes.empty();
}

bool DiveData::SelectTrack(size_t k)
{
    if (!Selectable(k))
        return false;
    measured = int(k);
    FillSolution(k);
    return true;
}

void DiveData::FillSolution(size_t k)
{
    const DiveTrack& track = tracks[k];
    solution_positions.clear();
    solution_times.clear();
    solution_gap_before.clear();
    for (const TrackFix& fix : track.fixes) {
        solution_positions.emplace_back(float(fix.local.x), float(fix.local.y), float(fix.local.z));
        solution_times.push_back(fix.t);
        solution_gap_before.push_back(fix.gap_before ? 1 : 0);
    }
    solution_directions = Headings(solution_positions);
}

// ---------------------------------------------------------------------------
// Time queries

double DiveData::Wrapped(double t) const
{
    if (!(t > 0.0))
        return 0.0;
    const double period = Period();
    if (!(period > 0.0))
        return std::isfinite(t) ? t : 0.0;
    const double a = std::fmod(t, period);
    return a >= 0.0 ? a : 0.0;  // an infinite t
}

bool DiveData::Lookup(double t, size_t count, size_t& i, size_t& j, float& f, const std::vector<double>* times) const
{
    if (count == 0)
        return false;
    if (times && times->size() >= count) {
        // By time: the last entry at or before t, and the next one.
        const double a = Wrapped(t);
        const auto end = times->begin() + std::ptrdiff_t(count);
        const auto after = std::upper_bound(times->begin(), end, a);
        i = after == times->begin() ? 0 : size_t(after - times->begin()) - 1;
        j = std::min(i + 1, count - 1);
        const double span = (*times)[j] - (*times)[i];
        f = static_cast<float>(j > i && span > 0.0 && a > (*times)[i] ? std::min((a - (*times)[i]) / span, 1.0) : 0.0);
        return true;
    }
    if (!(t > 0.0))
        t = 0.0;
    double period = Period();
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

Vector3 Interpolate(const DiveData& data, const std::vector<Vector3>& list, const std::vector<double>& times,
                    double t)
{
    size_t i, j;
    float f;
    if (!data.Lookup(t, list.size(), i, j, f, times.empty() ? nullptr : &times))
        return {0, 0, 0};
    return list[i] + (list[j] - list[i]) * f;
}

}  // namespace

Vector3 DiveData::SolutionPositionAt(double t) const
{
    // In a gap the diver stays at the last fix: nothing between is invented.
    if (SolutionGapAt(t)) {
        size_t i, j;
        float f;
        Lookup(t, solution_positions.size(), i, j, f, &solution_times);
        return solution_positions[i];
    }
    return Interpolate(*this, solution_positions, solution_times, t);
}

LocalPoint DiveData::SolutionPointAt(double t) const
{
    if (!Timed() || measured < 0) {
        const Vector3 p = SolutionPositionAt(t);
        return {double(p.x), double(p.y), double(p.z)};
    }
    const std::vector<TrackFix>& fixes = tracks[size_t(measured)].fixes;
    size_t i, j;
    float f;
    if (!Lookup(t, fixes.size(), i, j, f, &solution_times))
        return {};
    if (SolutionGapAt(t))
        return fixes[i].local;
    // The fraction again in double, so a time between two fixes is placed as
    // finely as the fixes are.
    const double a = Wrapped(t);
    const double span = fixes[j].t - fixes[i].t;
    const double g = j > i && span > 0.0 && a > fixes[i].t ? std::min((a - fixes[i].t) / span, 1.0) : 0.0;
    const LocalPoint& p = fixes[i].local;
    const LocalPoint& q = fixes[j].local;
    return {p.x + (q.x - p.x) * g, p.y + (q.y - p.y) * g, p.z + (q.z - p.z) * g};
}

bool DiveData::SolutionGapAt(double t) const
{
    if (!Timed())
        return false;
    size_t i, j;
    float f;
    if (!Lookup(t, solution_times.size(), i, j, f, &solution_times) || j == i)
        return false;
    return j < solution_gap_before.size() && solution_gap_before[j] && Wrapped(t) > solution_times[i];
}

Vector3 DiveData::MotionPositionAt(double t) const
{
    return Interpolate(*this, motion_track, motion_times, t);
}

bool DiveData::SolutionStepAt(double t, Vector3& from, Vector3& to) const
{
    size_t i, j;
    float f;
    if (!Lookup(t, solution_positions.size(), i, j, f, Timed() ? &solution_times : nullptr))
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
    if (Timed())
        return TimedVelocityAt(t);
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
    if (!Lookup(t, count, i, j, f, Timed() ? &solution_times : nullptr))
        return {0, 0, 0};
    // A zero direction normalises to zero rather than dividing by zero.
    Vector3 u = math::Normalise(solution_directions[i]);
    Vector3 v = math::Normalise(solution_directions[j]);
    return math::Normalise(u + (v - u) * f);
}

Vector3 DiveData::TimedVelocityAt(double t) const
{
    size_t i, j;
    float f;
    const size_t count = solution_positions.size();
    if (!Lookup(t, count, i, j, f, &solution_times) || i == j || SolutionGapAt(t))
        return {0, 0, 0};
    // The fixes within kSolutionVelocityReach of the two that bracket t,
    // those two always, and never across a gap: fixes come at any interval.
    const std::vector<double>& times = solution_times;
    size_t first = i, last = j;
    while (first > 0 && !solution_gap_before[first] && times[i] - times[first - 1] <= kSolutionVelocityReach)
        --first;
    while (last + 1 < count && !solution_gap_before[last + 1] && times[last + 1] - times[j] <= kSolutionVelocityReach)
        ++last;
    double mean_t = 0.0;
    for (size_t k = first; k <= last; ++k)
        mean_t += times[k];
    mean_t /= double(last - first + 1);
    double tt = 0.0, tp[3] = {0.0, 0.0, 0.0};
    for (size_t k = first; k <= last; ++k) {
        const double tk = times[k] - mean_t;
        const Vector3& p = solution_positions[k];
        tt += tk * tk;
        tp[0] += tk * double(p.x);
        tp[1] += tk * double(p.y);
        tp[2] += tk * double(p.z);
    }
    if (!(tt > 0.0))
        return {0, 0, 0};
    return {float(tp[0] / tt), float(tp[1] / tt), float(tp[2] / tt)};
}
