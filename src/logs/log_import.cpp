#include "logs/log_import.h"

#include "core/regular_file.h"
#include "logs/xml_track_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// GPX and KML are read whole; a log this big is no track a device wrote.
constexpr uintmax_t kMaxXmlBytes = uintmax_t(512) << 20;

std::string Stem(const std::string& path)
{
    return fs::path(path).stem().string();
}

// A name a track file and a manifest line can carry: letters, digits, dot,
// dash and underscore; anything else becomes a dash.
std::string Safe(const std::string& name)
{
    std::string safe;
    for (char c : name)
        safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-') ? c : '-';
    return safe.empty() ? std::string("track") : safe;
}

enum class Format { kUnknown, kNmea, kXml, kCsv };

constexpr char kCsvFormat[] = "CSV";
constexpr char kDepthProfileFormat[] = "CSV depth profile";

Format Detect(const std::string& head)
{
    size_t at = 0;
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0)
        at = 3;
    while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at])))
        ++at;
    if (at == head.size())
        return Format::kUnknown;
    if (head[at] == '<')
        return LooksLikeXmlTrack(head) ? Format::kXml : Format::kUnknown;
    // gpsd's logs begin with comment lines; NMEA sentences with $ or !.
    const size_t dollar = head.find('$', at);
    if (head[at] == '$' || head[at] == '!' || (head[at] == '#' && dollar != std::string::npos))
        return Format::kNmea;
    return LooksLikeCsvTrack(head) ? Format::kCsv : Format::kUnknown;
}

// The first bytes of a regular file, for telling its format.
Status ReadHead(const std::string& path, std::string& head)
{
    bool not_regular = false;
    std::FILE* probe = OpenRegularFileForReading(path, &not_regular);
    if (!probe)
        return Status::Failure("cannot read " + path + (not_regular ? ": not a regular file" : ": no such file"));
    head.assign(4096, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), probe));
    std::fclose(probe);
    return Status::Ok();
}

Status ReadCsv(const std::string& path, const CsvColumns& columns, ImportedFile& file)
{
    std::ifstream in(path, std::ios::binary);
    if (const Status read = ReadCsvTrack(in, columns, file.reading); !read)
        return Status::Failure(path + ": " + read.reason);
    return Status::Ok();
}

// Relative CSV times in a track count from midnight UTC of --date.
Status DateCsvTrack(const std::string& path, const std::optional<Date>& date, LogReading& reading)
{
    if (!reading.relative_times || reading.FixCount() == 0)
        return Status::Ok();
    if (!date)
        return Status::Failure(path + ": the times are seconds from an unknown start: give the day they count "
                                      "from with --date YYYY-MM-DD");
    const double midnight = double(DaysFromCivil(date->year, date->month, date->day)) * 86400.0;
    for (LogTrack& track : reading.tracks)
        for (LogFix& fix : track.fixes)
            fix.utc += midnight;
    reading.relative_times = false;
    return Status::Ok();
}

Status ReadLog(const std::string& path, const ImportOptions& options, ImportedFile& file)
{
    file.path = path;
    std::string head;
    if (const Status read = ReadHead(path, head); !read)
        return read;

    switch (Detect(head)) {
    case Format::kNmea: {
        file.format = "NMEA 0183";
        std::ifstream in(path, std::ios::binary);
        if (const Status read = ReadNmea(in, options.nmea, file.reading); !read)
            return Status::Failure(path + ": " + read.reason);
        return Status::Ok();
    }
    case Format::kXml: {
        std::error_code ec;
        const uintmax_t size = fs::file_size(path, ec);
        if (ec || size > kMaxXmlBytes)
            return Status::Failure(path + ": too large for a GPX or KML file (more than 512 MiB)");
        std::ifstream in(path, std::ios::binary);
        std::string text(size_t(size), '\0');
        in.read(text.data(), std::streamsize(size));
        text.resize(size_t(in.gcount()));
        const bool kml = text.find("<kml") != std::string::npos;
        file.format = kml ? "KML" : "GPX";
        if (const Status read = ReadXmlTracks(text, file.reading); !read)
            return Status::Failure(path + ": " + read.reason);
        return Status::Ok();
    }
    case Format::kCsv: {
        file.format = kCsvFormat;
        if (const Status read = ReadCsv(path, options.columns, file); !read)
            return read;
        if (file.reading.tracks.empty())
            return Status::Failure(path + ": a depth profile (times and depths, no positions): give it with --depth");
        return DateCsvTrack(path, options.nmea.date, file.reading);
    }
    case Format::kUnknown: break;
    }
    return Status::Failure("cannot tell the format of " + path + ": not NMEA 0183, GPX, KML or CSV");
}

Status ReadDepthProfile(const std::string& path, const CsvColumns& columns, ImportedFile& file)
{
    file.path = path;
    file.format = kDepthProfileFormat;
    std::string head;
    if (const Status read = ReadHead(path, head); !read)
        return read;
    if (!LooksLikeCsvTrack(head))
        return Status::Failure("cannot read " + path + " as a depth profile: not a CSV file with a header row");
    if (const Status read = ReadCsv(path, columns, file); !read)
        return read;
    if (!file.reading.tracks.empty())
        return Status::Failure(path + ": has positions: a track, not a depth profile (give it as a log)");
    if (file.reading.depth_profile.empty())
        return Status::Failure(path + ": no depth could be read from the depth profile");
    return Status::Ok();
}

// The profile's depths on the track's fixes (see log_import.h); how many got one.
size_t MergeDepthProfile(const LogReading& profile, double offset, DiveTrack& track)
{
    const std::vector<DepthSample>& samples = profile.depth_profile;
    double first_fix = kNoValue;
    for (const TrackFix& fix : track.fixes)
        if (std::isnan(first_fix) && std::isfinite(fix.utc))
            first_fix = fix.utc;
    size_t merged = 0;
    for (TrackFix& fix : track.fixes) {
        // The profile time of the fix; relative: from its first sample.
        const double at = profile.relative_times ? samples.front().time + (fix.utc - first_fix) - offset
                                                 : fix.utc - offset;
        fix.depth = kNoValue;
        if (!(at >= samples.front().time && at <= samples.back().time))
            continue;
        const auto after = std::lower_bound(samples.begin(), samples.end(), at,
                                            [](const DepthSample& s, double t) { return s.time < t; });
        if (after->time == at) {
            fix.depth = after->depth;
        } else {
            const DepthSample& before = *(after - 1);
            fix.depth = before.depth + (after->depth - before.depth) * (at - before.time) / (after->time - before.time);
        }
        ++merged;
    }
    return merged;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

TrackFix FixOf(const LogFix& f, const std::string& source_name)
{
    TrackFix fix;
    fix.utc = f.utc;
    fix.where = {f.latitude, f.longitude};
    fix.depth = f.depth;
    fix.quality = f.quality;
    fix.hdop = f.hdop;
    fix.receivers = f.receivers;
    fix.source = source_name + ":" + std::to_string(f.line);
    return fix;
}

// Water depths as a track: each at the position of the last fix before it
// (or the first after it), since a sounder has no position of its own.
DiveTrack WaterDepthTrack(const std::string& name, const std::vector<WaterDepth>& depths, const LogTrack& positions,
                          const std::string& source_name)
{
    DiveTrack track;
    track.name = name;
    track.role = TrackRole::kWaterDepth;
    const std::vector<LogFix>& fixes = positions.fixes;
    size_t k = 0;
    for (const WaterDepth& d : depths) {
        if (fixes.empty() || !std::isfinite(d.utc))
            continue;
        while (k + 1 < fixes.size() && fixes[k + 1].utc <= d.utc)
            ++k;
        LogFix at = fixes[k];
        at.utc = d.utc;
        at.depth = d.depth;
        at.quality = -1;
        at.hdop = kNoValue;
        at.receivers = -1;
        at.line = d.line;
        track.fixes.push_back(FixOf(at, source_name));
    }
    return track;
}

bool Seconds(const std::string& text, double& seconds)
{
    char* end = nullptr;
    seconds = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(seconds);
}

}  // namespace

bool IsImportOption(const std::string& name)
{
    for (const char* known : {"--date", "--origin", "--depth-from", "--measured", "--reference", "--gap", "--columns",
                              "--depth", "--depth-offset"})
        if (name == known)
            return true;
    return false;
}

Status ParseImportOption(const std::string& name, const std::string& value, ImportOptions& options)
{
    if (name == "--date") {
        Date date;
        if (!ParseDate(value, date))
            return Status::Failure("--date wants YYYY-MM-DD, not '" + value + "'");
        options.nmea.date = date;
    } else if (name == "--origin") {
        GeoPoint origin;
        char extra = 0;
        if (std::sscanf(value.c_str(), "%lf,%lf%c", &origin.latitude, &origin.longitude, &extra) != 2 ||
            !(std::fabs(origin.latitude) <= 90.0) || !(std::fabs(origin.longitude) <= 180.0))
            return Status::Failure("--origin wants LAT,LON in degrees, not '" + value + "'");
        options.origin = origin;
    } else if (name == "--depth-from") {
        if (value != "gga-altitude")
            return Status::Failure("--depth-from takes gga-altitude, not '" + value + "'");
        options.nmea.depth_from_gga_altitude = true;
    } else if (name == "--measured") {
        options.measured = value;
    } else if (name == "--reference") {
        options.reference = value;
    } else if (name == "--gap") {
        double gap = 0.0;
        if (!Seconds(value, gap) || !(gap > 0.0))
            return Status::Failure("--gap wants a positive number of seconds, not '" + value + "'");
        options.gap = gap;
    } else if (name == "--columns") {
        return ParseCsvColumns(value, options.columns);
    } else if (name == "--depth") {
        if (value.empty())
            return Status::Failure("--depth wants a depth profile file");
        options.depth = value;
    } else if (name == "--depth-offset") {
        double offset = 0.0;
        if (!Seconds(value, offset))
            return Status::Failure("--depth-offset wants a number of seconds, not '" + value + "'");
        options.depth_offset = offset;
    } else {
        return Status::Failure("not an import option: " + name);
    }
    return Status::Ok();
}

Status CheckImportOptions(const ImportOptions& options)
{
    if (options.depth_offset && options.depth.empty())
        return Status::Failure("--depth-offset belongs to --depth FILE");
    if (!options.depth.empty() && options.nmea.depth_from_gga_altitude)
        return Status::Failure("--depth and --depth-from both give the diver's depth: choose one");
    return Status::Ok();
}

size_t ImportedDataset::FixCount() const
{
    size_t n = 0;
    for (const DiveTrack& track : tracks)
        if (track.role != TrackRole::kWaterDepth)
            n += track.fixes.size();
    return n;
}

size_t ImportedDataset::DroppedCount() const
{
    size_t n = 0;
    for (const ImportedFile& file : files)
        for (const auto& [reason, count] : file.reading.dropped_count)
            n += count;
    return n;
}

Status ImportLogs(const std::vector<std::string>& paths, const ImportOptions& options, ImportedDataset& dataset)
{
    dataset = ImportedDataset();
    if (const Status checked = CheckImportOptions(options); !checked)
        return checked;
    std::set<std::string> names;
    const auto unique = [&names](std::string name) {
        name = Safe(name);
        std::string candidate = name;
        for (int n = 2; !names.insert(candidate).second; ++n)
            candidate = name + "-" + std::to_string(n);
        return candidate;
    };
    std::vector<size_t> first_track;  // of each file in dataset.tracks
    for (const std::string& path : paths) {
        first_track.push_back(dataset.tracks.size());
        ImportedFile file;
        if (const Status read = ReadLog(path, options, file); !read)
            return read;
        const std::string source_name = fs::path(path).filename().string();
        const LogReading& reading = file.reading;
        for (size_t t = 0; t < reading.tracks.size(); ++t) {
            const LogTrack& log_track = reading.tracks[t];
            if (log_track.fixes.empty())
                continue;
            DiveTrack track;
            const std::string suffix =
                reading.tracks.size() == 1 ? "" : "-" + (log_track.name.empty() ? std::to_string(t + 1) : log_track.name);
            track.name = unique(Stem(path) + suffix);
            track.route = log_track.route;
            for (const LogFix& f : log_track.fixes)
                track.fixes.push_back(FixOf(f, source_name));
            dataset.tracks.push_back(std::move(track));
        }
        if (!reading.water_depths.empty() && !reading.tracks.empty())
            dataset.tracks.push_back(WaterDepthTrack(unique(Stem(path) + "-water-depth"), reading.water_depths,
                                                     reading.tracks.front(), source_name));
        dataset.files.push_back(std::move(file));
    }
    first_track.push_back(dataset.tracks.size());

    // Roles: as asked, else the first track with times is measured and the
    // first route the reference.
    const auto find = [&](const std::string& name) -> DiveTrack* {
        for (DiveTrack& track : dataset.tracks)
            if (track.name == name)
                return &track;
        return nullptr;
    };
    DiveTrack* measured = nullptr;
    DiveTrack* reference = nullptr;
    if (!options.measured.empty() && !(measured = find(options.measured)))
        return Status::Failure("--measured " + options.measured + " names no track");
    if (!options.reference.empty() && !(reference = find(options.reference)))
        return Status::Failure("--reference " + options.reference + " names no track");
    for (DiveTrack& track : dataset.tracks) {
        if (track.role == TrackRole::kWaterDepth)
            continue;
        if (!measured && !track.route && options.measured.empty())
            measured = &track;
        if (!reference && track.route && options.reference.empty())
            reference = &track;
    }
    for (DiveTrack& track : dataset.tracks) {
        if (&track == measured)
            track.role = TrackRole::kMeasured;
        else if (&track == reference)
            track.role = TrackRole::kReference;
        else if (track.role != TrackRole::kWaterDepth)
            track.role = TrackRole::kOther;
    }

    if (!options.depth.empty()) {
        ImportedFile profile;
        if (const Status read = ReadDepthProfile(options.depth, options.columns, profile); !read)
            return read;
        if (!measured)
            return Status::Failure("--depth " + options.depth + ": no measured track to put its depths on");
        const double offset = options.depth_offset.value_or(0.0);
        const size_t merged = MergeDepthProfile(profile.reading, offset, *measured);
        const size_t fixes = measured->fixes.size();
        dataset.notes.push_back(
            options.depth + ": depths on " + std::to_string(merged) + " of " + std::to_string(fixes) + " fixes of " +
            measured->name + " (depth offset " + Number(offset) + " s" +
            (profile.reading.relative_times ? "; its first sample at the track's first fix plus the offset" : "") + ")" +
            (merged == 0 ? ": the profile and the track do not meet in time (--depth-offset?)"
             : merged < fixes ? "; the " + std::to_string(fixes - merged) + " outside the profile have none"
                              : ""));
        dataset.files.push_back(std::move(profile));
    }
    for (size_t f = 0; f + 1 < first_track.size(); ++f) {
        bool any_depth = false;
        for (size_t t = first_track[f]; t < first_track[f + 1]; ++t)
            for (const TrackFix& fix : dataset.tracks[t].fixes)
                any_depth = any_depth || (dataset.tracks[t].role != TrackRole::kWaterDepth && std::isfinite(fix.depth));
        if (dataset.files[f].reading.FixCount() > 0 && !any_depth)
            dataset.notes.push_back(dataset.files[f].path +
                                    ": the log has no diver depth: its fixes are at the surface (depth 0)");
    }

    // The origin: as given, else the middle of the fixes' box.
    double south = 90, north = -90, west = 180, east = -180;
    for (const DiveTrack& track : dataset.tracks)
        for (const TrackFix& fix : track.fixes) {
            south = std::min(south, fix.where.latitude);
            north = std::max(north, fix.where.latitude);
            west = std::min(west, fix.where.longitude);
            east = std::max(east, fix.where.longitude);
        }
    if (options.origin)
        dataset.manifest.origin = options.origin;
    else if (south <= north)
        dataset.manifest.origin =
            GeoPoint{std::round((south + north) * 0.5e6) / 1e6, std::round((west + east) * 0.5e6) / 1e6};
    // Playback time 0 is the first fix.
    const DiveTrack* first = measured;
    for (const DiveTrack& track : dataset.tracks)
        if (!first && !track.route && !track.fixes.empty())
            first = &track;
    if (first && !first->fixes.empty())
        dataset.manifest.epoch = first->fixes.front().utc;
    dataset.manifest.gap = options.gap;
    for (DiveTrack& track : dataset.tracks) {
        track.file = track.name + ".csv";
        dataset.manifest.tracks.push_back({track.name, track.role, track.file});
    }
    return Status::Ok();
}

std::string FormatImportReport(const ImportedDataset& dataset)
{
    std::string text;
    for (const ImportedFile& file : dataset.files) {
        const LogReading& r = file.reading;
        size_t dropped = 0;
        for (const auto& [reason, count] : r.dropped_count)
            dropped += count;
        const std::string counts =
            file.format == kDepthProfileFormat
                ? std::to_string(r.depth_profile.size()) + " depths"
                : std::to_string(r.FixCount()) + " fixes in " + std::to_string(r.tracks.size()) + " track" +
                      (r.tracks.size() == 1 ? "" : "s") + ", " + std::to_string(r.water_depths.size()) + " water depths";
        text += file.path + ": " + file.format + ", " + counts + ", " + std::to_string(dropped) +
                " dropped" + (r.without_checksum ? ", " + std::to_string(r.without_checksum) + " without a checksum" : "") +
                "\n";
        for (const auto& [reason, count] : r.dropped_count) {
            size_t shown = 0;
            for (const DroppedLine& line : r.dropped)
                if (line.reason == reason) {
                    text += file.path + ":" + std::to_string(line.line) + ": " + reason + ": \"" + line.excerpt + "\"\n";
                    ++shown;
                }
            if (count > shown)
                text += "  and " + std::to_string(count - shown) + " more\n";
        }
        for (const auto& [reason, count] : r.dropped_count)
            text += "  " + reason + ": " + std::to_string(count) + "\n";
    }
    for (const std::string& note : dataset.notes)
        text += note + "\n";
    return text;
}

namespace {

Status WriteText(const fs::path& path, const std::string& text)
{
    std::FILE* f = OpenRegularFileForWriting(path);
    if (!f)
        return Status::Failure("cannot write " + path.string() + ": " + std::strerror(errno));
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed)
        return Status::Failure("cannot write " + path.string() + ": " + std::strerror(errno));
    return Status::Ok();
}

}  // namespace

Status WriteImportedDataset(const ImportedDataset& dataset, const std::string& directory, bool overwrite)
{
    const fs::path final_path = fs::path(directory).lexically_normal();
    std::error_code ec;
    const bool exists = fs::exists(final_path, ec);
    if (exists && !overwrite)
        return Status::Failure(directory + " exists already; give --overwrite to replace it");
    if (exists && !fs::is_directory(final_path, ec))
        return Status::Failure(directory + " is not a directory");
    // Built beside the final directory under a name of this process's own,
    // so the rename cannot cross file systems and two imports never meet.
    const fs::path part = final_path.parent_path() /
                          (final_path.filename().string() + ".part-" + std::to_string(::getpid()));
    fs::remove_all(part, ec);
    const auto fail = [&](const std::string& why) {
        std::error_code ignored;
        fs::remove_all(part, ignored);
        return Status::Failure(why);
    };
    if (!fs::create_directories(part / "source", ec))
        return fail("cannot create " + part.string() + ": " + ec.message());
    std::string manifest = FormatTrackManifest(dataset.manifest);
    if (Status s = WriteText(part / "manifest.txt", manifest); !s)
        return fail(s.reason);
    for (const DiveTrack& track : dataset.tracks)
        if (Status s = WriteText(part / track.file, FormatTrackCsv(track.fixes)); !s)
            return fail(s.reason);
    for (const ImportedFile& file : dataset.files) {
        fs::copy_file(file.path, part / "source" / fs::path(file.path).filename(), fs::copy_options::overwrite_existing,
                      ec);
        if (ec)
            return fail("cannot copy " + file.path + " into the dataset: " + ec.message());
    }
    // An old dataset goes only once the new one is whole.
    const fs::path old = final_path.parent_path() / (final_path.filename().string() + ".old-" + std::to_string(::getpid()));
    if (exists) {
        fs::rename(final_path, old, ec);
        if (ec)
            return fail("cannot replace " + directory + ": " + ec.message());
    }
    fs::rename(part, final_path, ec);
    if (ec) {
        if (exists) {
            std::error_code ignored;
            fs::rename(old, final_path, ignored);
        }
        return fail("cannot write " + directory + ": " + ec.message());
    }
    if (exists)
        fs::remove_all(old, ec);
    return Status::Ok();
}
