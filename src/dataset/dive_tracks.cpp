#include "dataset/dive_tracks.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kRoleNames[] = {"measured", "reference", "other", "water-depth"};
constexpr char kCsvHeader[] = "utc,lat,lon,depth,quality,hdop,receivers,source";

// The lines of a text without their line ends ("\n" or "\r\n").
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        from = end + 1;
    }
    return lines;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(separator, from);
        pieces.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return pieces;
        from = at + 1;
    }
}

// A whole field as a finite double; false for anything else. strtod, not
// from_chars: the web page's library has no floating-point from_chars.
bool Number(const std::string& text, double& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

bool Integer(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

Status LineFailure(const std::string& file, size_t line, const std::string& why)
{
    return Status::Failure(file + ":" + std::to_string(line) + ": " + why);
}

bool ParseGeoPoint(const std::string& text, GeoPoint& point)
{
    const std::vector<std::string> parts = Split(text, ',');
    return parts.size() == 2 && Number(parts[0], point.latitude) && Number(parts[1], point.longitude) &&
           std::fabs(point.latitude) <= 90.0 && std::fabs(point.longitude) <= 180.0;
}

std::string Degrees(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9f", value);
    return text;
}

}  // namespace

const char* TrackRoleName(TrackRole role)
{
    return kRoleNames[size_t(role)];
}

bool ParseTrackRole(const std::string& text, TrackRole& role)
{
    for (size_t r = 0; r < std::size(kRoleNames); ++r)
        if (text == kRoleNames[r]) {
            role = TrackRole(r);
            return true;
        }
    return false;
}

int64_t DaysFromCivil(int year, int month, int day)
{
    // Days since 1970-01-01 of a proleptic Gregorian date, counted in eras of
    // 400 years so it holds for any year without a time zone or a library.
    const int64_t y = int64_t(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t year_of_era = y - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

bool ParseUtc(const std::string& text, double& utc)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    char tail[64] = {0};
    int used = 0;
    if (text.size() < 19 || text.size() > 40 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%n", &year, &month, &day, &hour, &minute, &used) != 5 ||
        used != 17)
        return false;
    // Seconds with any fraction, then Z or an offset.
    size_t at = 17;
    size_t digits_end = at;
    while (digits_end < text.size() && (std::isdigit(static_cast<unsigned char>(text[digits_end])) || text[digits_end] == '.'))
        ++digits_end;
    double seconds = 0.0;
    if (!Number(text.substr(at, digits_end - at), seconds) || seconds < 0.0 || seconds >= 61.0)
        return false;
    const std::string zone = text.substr(digits_end);
    double offset = 0.0;
    if (zone == "Z" || zone.empty()) {
        offset = 0.0;
    } else {
        int zh = 0, zm = 0;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':' ||
            std::sscanf(zone.c_str() + 1, "%2d:%2d%63s", &zh, &zm, tail) != 2 || zh > 23 || zm > 59)
            return false;
        offset = (zone[0] == '-' ? -1.0 : 1.0) * (zh * 3600.0 + zm * 60.0);
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || year < 0)
        return false;
    utc = double(DaysFromCivil(year, month, day)) * 86400.0 + hour * 3600.0 + minute * 60.0 + seconds - offset;
    return true;
}

std::string FormatUtc(double utc)
{
    if (!std::isfinite(utc))
        return "";
    const int64_t millis = int64_t(std::llround(utc * 1000.0));
    int64_t days = millis >= 0 ? millis / 86400000 : -((-millis + 86399999) / 86400000);
    const int64_t in_day = millis - days * 86400000;
    // Civil date of a day count (the reverse of DaysFromCivil).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    char text[160];
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64
                                     ":%02" PRId64 ".%03" PRId64 "Z",
                  year, month, day, in_day / 3600000, in_day / 60000 % 60, in_day / 1000 % 60, in_day % 1000);
    return text;
}

Status ReadTrackManifest(const std::string& text, TrackManifest& manifest)
{
    manifest = TrackManifest();
    const std::vector<std::string> lines = Lines(text);
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const auto value = [&](const char* key) { return line.substr(std::char_traits<char>::length(key)); };
        if (line.rfind("origin=", 0) == 0) {
            GeoPoint origin;
            if (!ParseGeoPoint(value("origin="), origin))
                return LineFailure("manifest.txt", n + 1, "origin= needs LAT,LON in degrees");
            manifest.origin = origin;
        } else if (line.rfind("epoch=", 0) == 0) {
            if (!ParseUtc(value("epoch="), manifest.epoch))
                return LineFailure("manifest.txt", n + 1, "epoch= needs a UTC time such as 2019-04-07T23:59:59.000Z");
        } else if (line.rfind("gap=", 0) == 0) {
            double gap = 0.0;
            if (!Number(value("gap="), gap) || gap <= 0.0)
                return LineFailure("manifest.txt", n + 1, "gap= needs a positive number of seconds");
            manifest.gap = gap;
        } else if (line.rfind("track=", 0) == 0) {
            const std::vector<std::string> parts = Split(value("track="), ',');
            TrackManifest::Entry entry;
            if (parts.size() != 3 || parts[0].empty() || parts[2].empty() || !ParseTrackRole(parts[1], entry.role))
                return LineFailure("manifest.txt", n + 1,
                                   "track= needs NAME,ROLE,FILE with ROLE measured, reference, other or water-depth");
            // Track files live in the dataset directory, never outside it.
            if (parts[2].find('/') != std::string::npos || parts[2] == "." || parts[2] == "..")
                return LineFailure("manifest.txt", n + 1, "a track file is a name in the dataset directory");
            entry.name = parts[0];
            entry.file = parts[2];
            manifest.tracks.push_back(std::move(entry));
        }
    }
    return Status::Ok();
}

std::string FormatTrackManifest(const TrackManifest& manifest)
{
    std::string text;
    if (manifest.origin) {
        char line[96];
        std::snprintf(line, sizeof line, "origin=%.6f,%.6f\n", manifest.origin->latitude, manifest.origin->longitude);
        text += line;
    }
    if (std::isfinite(manifest.epoch))
        text += "epoch=" + FormatUtc(manifest.epoch) + "\n";
    if (manifest.gap) {
        char line[48];
        std::snprintf(line, sizeof line, "gap=%g\n", *manifest.gap);
        text += line;
    }
    for (const TrackManifest::Entry& entry : manifest.tracks)
        text += "track=" + entry.name + "," + TrackRoleName(entry.role) + "," + entry.file + "\n";
    return text;
}

Status ReadTrackCsv(const std::string& text, const std::string& file, std::vector<TrackFix>& fixes)
{
    fixes.clear();
    const std::vector<std::string> lines = Lines(text);
    if (lines.empty() || lines[0] != kCsvHeader)
        return LineFailure(file, 1, std::string("the header must be ") + kCsvHeader);
    for (size_t n = 1; n < lines.size(); ++n) {
        if (lines[n].empty())
            continue;
        const std::vector<std::string> f = Split(lines[n], ',');
        if (f.size() != 8)
            return LineFailure(file, n + 1, "8 fields expected, " + std::to_string(f.size()) + " found");
        TrackFix fix;
        if (!f[0].empty() && !ParseUtc(f[0], fix.utc))
            return LineFailure(file, n + 1, "bad utc \"" + f[0] + "\"");
        if (!Number(f[1], fix.where.latitude) || std::fabs(fix.where.latitude) > 90.0)
            return LineFailure(file, n + 1, "bad lat \"" + f[1] + "\"");
        if (!Number(f[2], fix.where.longitude) || std::fabs(fix.where.longitude) > 180.0)
            return LineFailure(file, n + 1, "bad lon \"" + f[2] + "\"");
        if (!f[3].empty() && !Number(f[3], fix.depth))
            return LineFailure(file, n + 1, "bad depth \"" + f[3] + "\"");
        if (!f[4].empty() && !Integer(f[4], fix.quality))
            return LineFailure(file, n + 1, "bad quality \"" + f[4] + "\"");
        if (!f[5].empty() && !Number(f[5], fix.hdop))
            return LineFailure(file, n + 1, "bad hdop \"" + f[5] + "\"");
        if (!f[6].empty() && !Integer(f[6], fix.receivers))
            return LineFailure(file, n + 1, "bad receivers \"" + f[6] + "\"");
        fix.source = f[7];
        fixes.push_back(std::move(fix));
    }
    return Status::Ok();
}

std::string FormatFixCsvFields(const TrackFix& fix)
{
    char number[40];
    std::string text = FormatUtc(fix.utc) + "," + Degrees(fix.where.latitude) + "," + Degrees(fix.where.longitude) + ",";
    if (std::isfinite(fix.depth)) {
        std::snprintf(number, sizeof number, "%.3f", fix.depth);
        text += number;
    }
    text += ",";
    if (fix.quality >= 0)
        text += std::to_string(fix.quality);
    text += ",";
    if (std::isfinite(fix.hdop)) {
        std::snprintf(number, sizeof number, "%g", fix.hdop);
        text += number;
    }
    text += ",";
    if (fix.receivers >= 0)
        text += std::to_string(fix.receivers);
    return text;
}

std::string FormatTrackCsv(const std::vector<TrackFix>& fixes)
{
    std::string text = std::string(kCsvHeader) + "\n";
    for (const TrackFix& fix : fixes) {
        // A comma in a file name would shift the fields: it never reaches the file.
        std::string source = fix.source;
        std::replace(source.begin(), source.end(), ',', ';');
        text += FormatFixCsvFields(fix) + "," + source + "\n";
    }
    return text;
}

double DefaultGapThreshold(const std::vector<TrackFix>& fixes)
{
    std::vector<double> intervals;
    for (size_t k = 1; k < fixes.size(); ++k)
        if (std::isfinite(fixes[k].utc) && std::isfinite(fixes[k - 1].utc))
            intervals.push_back(fixes[k].utc - fixes[k - 1].utc);
    if (intervals.empty())
        return 5.0;
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    return std::max(5.0, 5.0 * intervals[intervals.size() / 2]);
}
