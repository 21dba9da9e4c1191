#include "logs/csv_track_reader.h"

#include "dataset/dive_tracks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <vector>

namespace {

// A plain number of seconds above this is since 1970 (1973-03-03 on): no
// dive lasts three years, and no log of a date goes back that far.
constexpr double kEpochSecondsFrom = 1e8;
constexpr double kMaxDepth = 12000.0;  // deeper than any sea

constexpr char kBadQuotes[] = "bad quotes";
constexpr char kMissingField[] = "missing field";
constexpr char kBadTime[] = "bad time";

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s)
{
    std::string lower(s);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return lower;
}

// A decimal number without exponent; with `decimal_comma` a comma may stand
// for the point.
bool ParseNumber(std::string_view s, bool decimal_comma, double& value)
{
    s = Trim(s);
    if (s.size() > 1 && s[0] == '+' && s[1] != '-')
        s.remove_prefix(1);
    std::string pointed;
    if (decimal_comma && s.find('.') == std::string_view::npos) {
        pointed = s;
        for (char& c : pointed)
            c = c == ',' ? '.' : c;
        s = pointed;
    }
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value, std::chars_format::fixed);
    return !s.empty() && ec == std::errc() && ptr == end && std::isfinite(value);
}

// Splits a row at `separator` outside double quotes, trimming unquoted
// fields. False when a quote is left open or text follows a closing quote.
bool SplitRow(std::string_view row, char separator, std::vector<std::string>& fields)
{
    fields.clear();
    size_t at = 0;
    for (;;) {
        while (at < row.size() && row[at] == ' ')
            ++at;
        std::string field;
        if (at < row.size() && row[at] == '"') {
            for (++at;; ++at) {
                if (at >= row.size())
                    return false;
                if (row[at] == '"' && (at + 1 >= row.size() || row[at + 1] != '"'))
                    break;
                at += row[at] == '"';  // "" is one quote
                field += row[at];
            }
            for (++at; at < row.size() && (row[at] == ' ' || row[at] == '\r');)
                ++at;
            if (at < row.size() && row[at] != separator)
                return false;
        } else {
            const size_t end = std::min(row.find(separator, at), row.size());
            field = Trim(row.substr(at, end - at));
            at = end;
        }
        fields.push_back(std::move(field));
        if (at >= row.size())
            return true;
        ++at;
    }
}

// The separator the header holds most often outside quotes, or 0.
char FindSeparator(std::string_view header)
{
    size_t counts[3] = {0, 0, 0};
    const char candidates[3] = {'\t', ';', ','};
    bool quoted = false;
    for (char c : header) {
        quoted = quoted != (c == '"');
        for (int k = 0; k < 3 && !quoted; ++k)
            counts[k] += c == candidates[k];
    }
    int best = 0;
    for (int k = 1; k < 3; ++k)
        if (counts[k] > counts[best])
            best = k;
    return counts[best] > 0 ? candidates[best] : 0;
}

// A header row: two names or more, none a number and none with a control
// byte, lowered in `names`.
bool SplitHeader(std::string_view line, char& separator, std::vector<std::string>& names)
{
    separator = FindSeparator(line);
    if (!separator || !SplitRow(line, separator, names))
        return false;
    size_t named = 0;
    for (std::string& name : names) {
        double number = 0.0;
        if (ParseNumber(name, separator != ',', number))
            return false;
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return false;
        name = Lower(Trim(name));
        named += !name.empty();
    }
    return named >= 2;
}

bool SkippedLine(std::string_view line)
{
    line = Trim(line);
    return line.empty() || line.front() == '#';
}

std::string_view WithoutByteOrderMark(std::string_view text)
{
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

// The column `named` (when the header has it), else the first with one of
// the usual names; -1 when none.
int FindColumn(const std::vector<std::string>& names, const std::string& named,
               std::initializer_list<const char*> usual)
{
    const std::string wanted = Lower(Trim(named));
    for (size_t k = 0; k < names.size() && !wanted.empty(); ++k)
        if (names[k] == wanted)
            return int(k);
    for (size_t k = 0; k < names.size(); ++k)
        for (const char* name : usual)
            if (names[k] == name)
                return int(k);
    return -1;
}

class CsvReader {
public:
    CsvReader(const CsvColumns& columns, LogReading& reading) : columns_(columns), reading_(reading) {}

    bool Line(std::string_view text, bool too_long)
    {
        ++line_;
        ++reading_.lines;
        if (header_done_) {
            if (too_long)
                reading_.Drop(line_, "line too long", std::string(text.substr(0, LogReading::kExcerptBytes)));
            else if (!SkippedLine(text))
                Row(text);
            return true;
        }
        if (line_ == 1)
            text = WithoutByteOrderMark(text);
        if (too_long)
            status_ = Status::Failure("the header row is longer than " + std::to_string(kCsvMaxLine) + " bytes");
        else if (!SkippedLine(text))
            status_ = Header(text);
        return status_.ok;
    }

    Status Finish()
    {
        if (status_ && !header_done_)
            return Status::Failure("no header row (such as time,lat,lon,depth)");
        reading_.relative_times = kind_ == Kind::kRelative;
        return status_;
    }

private:
    enum class Kind { kUnknown, kAbsolute, kRelative };

    Status Header(std::string_view text)
    {
        std::vector<std::string> names;
        if (!SplitHeader(text, separator_, names))
            return Status::Failure("the first row is no header: it should name the columns, such as time,lat,lon,depth, "
                                   "separated by commas, semicolons or tabs");
        time_ = FindColumn(names, columns_.time, {"time", "utc", "timestamp", "date time", "datetime"});
        latitude_ = FindColumn(names, columns_.latitude, {"lat", "latitude"});
        longitude_ = FindColumn(names, columns_.longitude, {"lon", "lng", "long", "longitude"});
        depth_ = FindColumn(names, columns_.depth, {"depth", "depth_m", "depth (m)"});
        if (time_ < 0)
            return Status::Failure("no time column in the header (time, utc, timestamp, date time, datetime; or "
                                   "--columns time=NAME)");
        if ((latitude_ < 0) != (longitude_ < 0))
            return Status::Failure(std::string("a ") + (latitude_ < 0 ? "longitude" : "latitude") +
                                   " column without a " + (latitude_ < 0 ? "latitude" : "longitude") +
                                   " column in the header");
        if (latitude_ < 0 && depth_ < 0)
            return Status::Failure("neither latitude and longitude nor depth columns in the header (or --columns "
                                   "lat=NAME,lon=NAME,depth=NAME)");
        for (int column : {time_, latitude_, longitude_, latitude_ < 0 ? depth_ : time_})
            needed_ = std::max(needed_, size_t(column + 1));
        if (latitude_ >= 0)
            reading_.tracks.emplace_back();
        header_done_ = true;
        return Status::Ok();
    }

    void Row(std::string_view text)
    {
        const std::string row(text);
        const auto drop = [&](const char* reason) { reading_.Drop(line_, reason, row); };
        if (!SplitRow(text, separator_, fields_))
            return drop(kBadQuotes);
        const bool track = latitude_ >= 0;
        if (fields_.size() < needed_ || fields_[size_t(time_)].empty() ||
            (track && (fields_[size_t(latitude_)].empty() || fields_[size_t(longitude_)].empty())) ||
            (!track && fields_[size_t(depth_)].empty()))
            return drop(kMissingField);
        double time = 0.0;
        Kind kind = Kind::kUnknown;
        const bool comma = separator_ != ',';
        if (!ParseTime(fields_[size_t(time_)], comma, time, kind) || (kind_ != Kind::kUnknown && kind != kind_))
            return drop(kBadTime);
        LogFix fix;
        if (track && (!ParseNumber(fields_[size_t(latitude_)], comma, fix.latitude) || std::fabs(fix.latitude) > 90.0))
            return drop("bad latitude");
        if (track && (!ParseNumber(fields_[size_t(longitude_)], comma, fix.longitude) || std::fabs(fix.longitude) > 180.0))
            return drop("bad longitude");
        if (depth_ >= 0 && size_t(depth_) < fields_.size() && !fields_[size_t(depth_)].empty() &&
            (!ParseNumber(fields_[size_t(depth_)], comma, fix.depth) || std::fabs(fix.depth) > kMaxDepth))
            return drop("bad depth");
        if (time == last_time_)
            return drop("repeated time");
        if (time < last_time_)
            return drop("time runs backwards");
        kind_ = kind;
        last_time_ = time;
        if (track) {
            fix.utc = time;
            fix.line = line_;
            reading_.tracks.back().fixes.push_back(fix);
        } else {
            reading_.depth_profile.push_back({time, fix.depth, line_});
        }
    }

    static bool ParseTime(const std::string& text, bool comma, double& time, Kind& kind)
    {
        std::string iso = text;
        if (iso.size() > 10 && iso[10] == ' ')
            iso[10] = 'T';  // "2019-04-07 23:59:59", as spreadsheets write it
        if (ParseUtc(iso, time)) {
            kind = Kind::kAbsolute;
            return true;
        }
        if (!ParseNumber(text, comma, time) || time < 0.0)
            return false;
        kind = time > kEpochSecondsFrom ? Kind::kAbsolute : Kind::kRelative;
        return true;
    }

    const CsvColumns& columns_;
    LogReading& reading_;
    Status status_;
    bool header_done_ = false;
    uint64_t line_ = 0;
    char separator_ = ',';
    int time_ = -1, latitude_ = -1, longitude_ = -1, depth_ = -1;
    size_t needed_ = 0;  // fields a row needs; a track's depth may be left out
    Kind kind_ = Kind::kUnknown;
    double last_time_ = -std::numeric_limits<double>::infinity();
    std::vector<std::string> fields_;
};

}  // namespace

Status ParseCsvColumns(const std::string& text, CsvColumns& columns)
{
    const Status wrong = Status::Failure("--columns wants time=NAME,lat=NAME,lon=NAME,depth=NAME (any of them, each "
                                         "once), not '" + text + "'");
    CsvColumns parsed;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find(',', at), text.size());
        const std::string_view pair = std::string_view(text).substr(at, end - at);
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos)
            return wrong;
        const std::string key = Lower(Trim(pair.substr(0, equals)));
        const std::string_view name = Trim(pair.substr(equals + 1));
        std::string* slot = key == "time" ? &parsed.time
                            : key == "lat" ? &parsed.latitude
                            : key == "lon" ? &parsed.longitude
                            : key == "depth" ? &parsed.depth
                                              : nullptr;
        if (!slot || !slot->empty() || name.empty())
            return wrong;
        *slot = name;
        at = end + 1;
    }
    columns = parsed;
    return Status::Ok();
}

Status ReadCsvTrack(std::istream& in, const CsvColumns& columns, LogReading& reading)
{
    CsvReader reader(columns, reading);
    const Status read = ForEachLine(in, kCsvMaxLine, [&reader](std::string_view text, bool too_long) {
        return reader.Line(text, too_long);
    });
    return read ? reader.Finish() : read;
}

bool LooksLikeCsvTrack(const std::string& head)
{
    std::string_view rest = WithoutByteOrderMark(head);
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        if (end >= kCsvMaxLine)
            return false;
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (SkippedLine(line))
            continue;
        char separator = 0;
        std::vector<std::string> names;
        return SplitHeader(line, separator, names);
    }
    return false;
}
