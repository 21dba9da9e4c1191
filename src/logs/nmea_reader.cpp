#include "logs/nmea_reader.h"

#include "dataset/dive_tracks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr int64_t kHalfDayKeys = 43200 * 100;  // in the hundredths of Epoch::key
constexpr double kMetresPerFoot = 0.3048;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view s)
{
    for (char c : s)
        if (!IsDigit(c))
            return false;
    return !s.empty();
}

// Digits with at most one '.', and at least one digit: what NMEA writes for
// times, coordinates and depths. from_chars alone would take "inf" or "1e5".
bool DecimalDigits(std::string_view s)
{
    bool point = false, digit = false;
    for (char c : s) {
        if (c == '.' && !point)
            point = true;
        else if (IsDigit(c))
            digit = true;
        else
            return false;
    }
    return digit;
}

bool ParseDouble(std::string_view s, double& value)
{
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseInt(std::string_view s, int& value)
{
    if (!AllDigits(s) || s.size() > 9)
        return false;
    std::from_chars(s.data(), s.data() + s.size(), value);
    return true;
}

bool LeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool ValidDay(int year, int month, int day)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
}

// hhmmss with any decimals, in seconds of the day.
bool ParseTimeOfDay(std::string_view s, double& seconds)
{
    if (s.size() < 6 || !AllDigits(s.substr(0, 6)))
        return false;
    double fraction = 0.0;
    if (s.size() > 6 && (s[6] != '.' || (s.size() > 7 && !AllDigits(s.substr(7)))))
        return false;
    if (s.size() > 7)
        ParseDouble(s.substr(6), fraction);
    const int hours = (s[0] - '0') * 10 + (s[1] - '0');
    const int minutes = (s[2] - '0') * 10 + (s[3] - '0');
    const int secs = (s[4] - '0') * 10 + (s[5] - '0');
    if (hours > 23 || minutes > 59 || secs > 59)
        return false;
    seconds = hours * 3600 + minutes * 60 + secs + fraction;
    return true;
}

enum class Field { kEmpty, kBad, kGood };

// ddmm.mmmm (dddmm.mmmm for longitudes) and its hemisphere letter.
Field ParseCoordinate(std::string_view value, std::string_view hemisphere, char positive, char negative,
                      double max_degrees, double& degrees)
{
    if (value.empty())
        return Field::kEmpty;
    double number = 0.0;
    if (!DecimalDigits(value) || !ParseDouble(value, number) || hemisphere.size() != 1)
        return Field::kBad;
    const double whole = std::floor(number / 100);
    const double minutes = number - whole * 100;
    degrees = whole + minutes / 60;
    if (minutes >= 60 || degrees > max_degrees)
        return Field::kBad;
    if (hemisphere[0] == negative)
        degrees = -degrees;
    else if (hemisphere[0] != positive)
        return Field::kBad;
    return Field::kGood;
}

// The reasons a line is dropped, as LogReading counts them.
const char kLineTooLong[] = "line too long";
const char kNotSentence[] = "not a sentence";
const char kGlued[] = "sentences glued together";
const char kBadChecksum[] = "bad checksum";
const char kCutOff[] = "cut off";
const char kBadAddress[] = "bad address";
const char kNoFixQuality[] = "no fix (quality 0)";
const char kNoFixStatus[] = "no fix (status V)";
const char kNoFixMode[] = "no fix (mode N)";
const char kEmptyPosition[] = "empty position";
const char kBadPosition[] = "bad position";
const char kNoTime[] = "no time";
const char kBadTime[] = "bad time";
const char kBadDate[] = "bad date";
const char kBadField[] = "bad field";
const char kEmptyDepth[] = "empty depth";
const char kBackwards[] = "time runs backwards";

// Where an epoch's position and fix details come from, best first.
enum Source { kGga, kGns, kRmc, kGll, kNone };

// What one sentence says about its epoch.
struct Report {
    double time_of_day = 0.0;
    std::optional<int64_t> day;  // days since 1970-01-01, when the sentence has a date
    Source position = kNone;
    double latitude = 0.0, longitude = 0.0;
    Source details = kNone;  // quality, receivers, HDOP, altitude
    int quality = -1;
    int receivers = -1;
    double hdop = kNoValue;
    double altitude = kNoValue;
};

struct Epoch {
    int64_t day = 0;  // relative to the first epoch until the log is dated
    double time_of_day = 0.0;
    int64_t key = 0;  // time of day in hundredths of a second
    Report merged;
    uint64_t line = 0;  // of the sentence that gave the position
};

class NmeaReader {
public:
    NmeaReader(const NmeaOptions& options, LogReading& reading)
        : options_(options), reading_(reading), first_depth_(reading.water_depths.size())
    {}

    void TooLong(std::string_view start)
    {
        ++line_;
        ++reading_.lines;
        reading_.Drop(line_, kLineTooLong, std::string(start.substr(0, LogReading::kExcerptBytes)));
    }

    void Line(std::string_view text);
    Status Finish();

private:
    void Sentence(std::string_view body);
    void Drop(const char* reason)
    {
        dropped_ = true;
        reading_.Drop(line_, reason, std::string(text_));
    }

    void Gga();
    void Rmc();
    void Gll();
    void Gns();
    void Zda();
    void WithDetails(Source source, int quality);
    bool Active(size_t fields, size_t status);
    void Depth(double metres);

    bool Enough(size_t fields);
    bool TimeAndPosition(size_t time_field, size_t latitude_field, Source source, Report& report);
    bool OptionalNumber(size_t field, double& value);
    bool OptionalCount(size_t field, int& value);
    void Take(const Report& report);
    bool Place(const Report& report);
    void EndEpoch();
    void ShiftDays(int64_t days);

    const NmeaOptions& options_;
    LogReading& reading_;
    const size_t first_depth_;
    LogTrack track_;
    uint64_t line_ = 0;
    std::string_view text_;
    std::vector<std::string_view> fields_;  // after the address
    bool dropped_ = false;
    bool dated_ = false;  // days are days since 1970, not since the first epoch
    bool timed_ = false;  // a fix or a depth has a time to date
    bool behind_ = false; // the log's time went back and has not passed the last epoch again
    uint64_t epochs_ = 0; // epochs begun
    std::optional<Epoch> epoch_;
};

void NmeaReader::Line(std::string_view text)
{
    ++line_;
    ++reading_.lines;
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    text_ = text;
    dropped_ = false;
    if (text.empty() || text[0] == '#')
        return;
    if (text[0] != '$' && text[0] != '!')
        return Drop(kNotSentence);
    if (text.find_first_of("$!", 1) != std::string_view::npos)
        return Drop(kGlued);

    std::string_view body = text.substr(1);
    const size_t star = body.find('*');
    if (star != std::string_view::npos) {
        const std::string_view given = body.substr(star + 1);
        body = body.substr(0, star);
        unsigned sum = 0, expected = 0;
        for (char c : body)
            sum ^= static_cast<unsigned char>(c);
        const auto [ptr, ec] = std::from_chars(given.data(), given.data() + given.size(), expected, 16);
        if (given.size() != 2 || ec != std::errc() || ptr != given.data() + 2 || expected != sum)
            return Drop(kBadChecksum);
    }
    if (text[0] == '$')
        Sentence(body);
    if (star == std::string_view::npos && !dropped_)
        ++reading_.without_checksum;
}

void NmeaReader::Sentence(std::string_view body)
{
    const size_t comma = body.find(',');
    if (comma == std::string_view::npos)
        return Drop(kCutOff);
    const std::string_view address = body.substr(0, comma);
    if (!address.empty() && address[0] == 'P')
        return;  // proprietary
    if (address.size() != 5)
        return Drop(kBadAddress);
    for (char c : address)
        if (!IsDigit(c) && (c < 'A' || c > 'Z'))
            return Drop(kBadAddress);

    fields_.clear();
    for (size_t start = comma + 1;;) {
        const size_t end = body.find(',', start);
        fields_.push_back(body.substr(start, end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    const std::string_view type = address.substr(2);
    if (type == "GGA")
        Gga();
    else if (type == "RMC")
        Rmc();
    else if (type == "GLL")
        Gll();
    else if (type == "GNS")
        Gns();
    else if (type == "ZDA")
        Zda();
    else if (type == "DBT" && Enough(6)) {
        // feet, f, metres, M, fathoms, F
        const bool metres = !fields_[2].empty();
        double depth = 0.0;
        if (!metres && fields_[0].empty())
            Drop(kEmptyDepth);
        else if (!ParseDouble(fields_[metres ? 2 : 0], depth))
            Drop(kBadField);
        else
            Depth(metres ? depth : depth * kMetresPerFoot);
    } else if (type == "DPT" && Enough(2)) {
        // depth below the transducer, offset of the transducer[, range]
        double depth = 0.0, offset = 0.0;
        if (fields_[0].empty())
            Drop(kEmptyDepth);
        else if (!ParseDouble(fields_[0], depth) || (!fields_[1].empty() && !ParseDouble(fields_[1], offset)))
            Drop(kBadField);
        else
            Depth(depth + std::max(offset, 0.0));
    }
}

// The oldest layouts' field counts: fewer means the line was cut.
bool NmeaReader::Enough(size_t fields)
{
    if (fields_.size() >= fields)
        return true;
    Drop(kCutOff);
    return false;
}

bool NmeaReader::TimeAndPosition(size_t time_field, size_t latitude_field, Source source, Report& report)
{
    const size_t i = latitude_field;
    const Field latitude = ParseCoordinate(fields_[i], fields_[i + 1], 'N', 'S', 90, report.latitude);
    const Field longitude = ParseCoordinate(fields_[i + 2], fields_[i + 3], 'E', 'W', 180, report.longitude);
    if (latitude == Field::kEmpty || longitude == Field::kEmpty)
        Drop(kEmptyPosition);
    else if (latitude == Field::kBad || longitude == Field::kBad)
        Drop(kBadPosition);
    else if (fields_[time_field].empty())
        Drop(kNoTime);
    else if (!ParseTimeOfDay(fields_[time_field], report.time_of_day))
        Drop(kBadTime);
    report.position = source;
    return !dropped_;
}

bool NmeaReader::OptionalNumber(size_t field, double& value)
{
    value = kNoValue;
    if (fields_[field].empty() || ParseDouble(fields_[field], value))
        return true;
    Drop(kBadField);
    return false;
}

bool NmeaReader::OptionalCount(size_t field, int& value)
{
    value = -1;
    if (fields_[field].empty() || ParseInt(fields_[field], value))
        return true;
    Drop(kBadField);
    return false;
}

// time, lat, N/S, lon, E/W, quality, satellites, HDOP, altitude, M, separation, M, age, station
void NmeaReader::Gga()
{
    if (!Enough(14))
        return;
    if (fields_[5].size() != 1 || !IsDigit(fields_[5][0]))
        return Drop(kBadField);
    if (fields_[5] == "0")
        return Drop(kNoFixQuality);
    WithDetails(kGga, fields_[5][0] - '0');
}

// GGA and GNS: time, lat, N/S, lon, E/W, (quality), satellites, HDOP, altitude.
void NmeaReader::WithDetails(Source source, int quality)
{
    Report report;
    report.quality = quality;
    report.details = source;
    if (TimeAndPosition(0, 1, source, report) && OptionalCount(6, report.receivers) && OptionalNumber(7, report.hdop) &&
        OptionalNumber(8, report.altitude))
        Take(report);
}

// time, status, lat, N/S, lon, E/W, speed, course, ddmmyy, variation, E/W[, mode[, navigation status]]
void NmeaReader::Rmc()
{
    Report report;
    if (!Active(11, 1) || !TimeAndPosition(0, 2, kRmc, report))
        return;
    const std::string_view date = fields_[8];
    if (!date.empty()) {
        int dmy = 0;
        if (date.size() != 6 || !ParseInt(date, dmy))
            return Drop(kBadDate);
        const int yy = dmy % 100;
        const int year = yy < 80 ? 2000 + yy : 1900 + yy;
        if (!ValidDay(year, dmy / 100 % 100, dmy / 10000))
            return Drop(kBadDate);
        report.day = DaysFromCivil(year, dmy / 100 % 100, dmy / 10000);
    }
    Take(report);
}

// lat, N/S, lon, E/W, time, status[, mode]
void NmeaReader::Gll()
{
    Report report;
    if (Active(6, 5) && TimeAndPosition(4, 0, kGll, report))
        Take(report);
}

// RMC and GLL say A for a fix and V for none.
bool NmeaReader::Active(size_t fields, size_t status)
{
    if (!Enough(fields))
        return false;
    if (fields_[status] == "A")
        return true;
    Drop(fields_[status] == "V" ? kNoFixStatus : kBadField);
    return false;
}

// time, lat, N/S, lon, E/W, mode (a letter a constellation), satellites, HDOP,
// altitude, separation, age, station[, navigation status]
void NmeaReader::Gns()
{
    if (!Enough(12))
        return;
    static const std::string_view kModes = "ADPRFEMS";  // GGA's qualities 1 to 8
    for (char mode : fields_[5]) {
        const size_t quality = kModes.find(mode);
        if (quality != std::string_view::npos)
            return WithDetails(kGns, static_cast<int>(quality) + 1);
    }
    Drop(kNoFixMode);
}

// time, day, month, year, zone hours, zone minutes (the time and date are UTC)
void NmeaReader::Zda()
{
    if (!Enough(6))
        return;
    Report report;
    if (fields_[0].empty())
        return;  // a receiver without a clock yet says nothing
    if (!ParseTimeOfDay(fields_[0], report.time_of_day))
        return Drop(kBadTime);
    if (!fields_[1].empty() || !fields_[2].empty() || !fields_[3].empty()) {
        int day = 0, month = 0, year = 0;
        if (!ParseInt(fields_[1], day) || !ParseInt(fields_[2], month) || !ParseInt(fields_[3], year) ||
            !ValidDay(year, month, day))
            return Drop(kBadDate);
        report.day = DaysFromCivil(year, month, day);
    }
    Take(report);
}

void NmeaReader::Depth(double metres)
{
    if (metres < 0)
        return Drop(kBadField);
    // A depth while the log's time is behind belongs to no time kept; kept,
    // a log repeated over and over would grow without a bound.
    if (behind_)
        return Drop(kBackwards);
    WaterDepth depth;
    depth.depth = metres;
    depth.line = line_;
    if (epoch_) {
        depth.utc = static_cast<double>(epoch_->day) * kSecondsPerDay + epoch_->time_of_day;
        timed_ = true;
    }
    reading_.water_depths.push_back(depth);
}

void NmeaReader::Take(const Report& report)
{
    const uint64_t epochs_before = epochs_;
    const bool placed = Place(report);
    // Back at the last epoch is not past it yet.
    behind_ = !placed || (behind_ && epochs_ == epochs_before);
    if (!placed)
        return Drop(kBackwards);
    Report& merged = epoch_->merged;
    if (report.position < merged.position) {
        merged.position = report.position;
        merged.latitude = report.latitude;
        merged.longitude = report.longitude;
        epoch_->line = line_;
    }
    if (report.details < merged.details) {
        merged.details = report.details;
        merged.quality = report.quality;
        merged.receivers = report.receivers;
        merged.hdop = report.hdop;
        merged.altitude = report.altitude;
    }
}

// Puts the sentence's time on the log's clock: in the current epoch, or in a
// new one after it. False when it would go back.
bool NmeaReader::Place(const Report& report)
{
    const int64_t key = std::llround(report.time_of_day * 100);
    int64_t day = 0;
    if (epoch_) {
        day = epoch_->day;
        const int64_t step = key - epoch_->key;
        if (step < -kHalfDayKeys)
            ++day;  // past midnight
        else if ((step < 0 || step > kHalfDayKeys) && !(report.day && dated_))
            return false;  // earlier on the 24-hour clock, and no date to say otherwise
    }
    if (report.day) {
        if (!dated_)
            ShiftDays(*report.day - day);
        dated_ = true;
        day = *report.day;
    }
    if (epoch_) {
        if (day == epoch_->day && key == epoch_->key)
            return true;
        if (day < epoch_->day || (day == epoch_->day && key < epoch_->key))
            return false;
        EndEpoch();
    }
    epoch_ = Epoch{day, report.time_of_day, key, Report{}, 0};
    ++epochs_;
    return true;
}

void NmeaReader::EndEpoch()
{
    if (!epoch_ || epoch_->merged.position == kNone)
        return;
    const Report& merged = epoch_->merged;
    LogFix fix;
    fix.utc = static_cast<double>(epoch_->day) * kSecondsPerDay + epoch_->time_of_day;
    fix.latitude = merged.latitude;
    fix.longitude = merged.longitude;
    fix.altitude = merged.altitude;
    if (options_.depth_from_gga_altitude && merged.details == kGga)
        fix.depth = -merged.altitude;
    fix.quality = merged.quality;
    fix.hdop = merged.hdop;
    fix.receivers = merged.receivers;
    fix.line = epoch_->line;
    track_.fixes.push_back(fix);
    timed_ = true;
}

// Dates what was read before the log's first date (or without one).
void NmeaReader::ShiftDays(int64_t days)
{
    const double seconds = static_cast<double>(days) * kSecondsPerDay;
    for (LogFix& fix : track_.fixes)
        fix.utc += seconds;
    for (size_t i = first_depth_; i < reading_.water_depths.size(); ++i)
        reading_.water_depths[i].utc += seconds;  // NaN stays NaN
    if (epoch_)
        epoch_->day += days;
}

Status NmeaReader::Finish()
{
    EndEpoch();
    if (!dated_ && timed_) {
        if (!options_.date) {
            reading_.water_depths.resize(first_depth_);
            return Status::Failure(
                "the log has no date (no RMC or ZDA sentence with one): give one with --date YYYY-MM-DD");
        }
        ShiftDays(DaysFromCivil(options_.date->year, options_.date->month, options_.date->day));
    }
    reading_.tracks.push_back(std::move(track_));
    return Status::Ok();
}

}  // namespace

bool ParseDate(const std::string& text, Date& date)
{
    int year = 0, month = 0, day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !ParseInt(std::string_view(text).substr(0, 4), year) ||
        !ParseInt(std::string_view(text).substr(5, 2), month) || !ParseInt(std::string_view(text).substr(8, 2), day) ||
        !ValidDay(year, month, day))
        return false;
    date = Date{year, month, day};
    return true;
}

Status ReadNmea(std::istream& in, const NmeaOptions& options, LogReading& reading)
{
    NmeaReader reader(options, reading);
    const Status read = ForEachLine(in, kNmeaMaxLine, [&reader](std::string_view text, bool too_long) {
        if (too_long)
            reader.TooLong(text);
        else
            reader.Line(text);
        return true;
    });
    return read ? reader.Finish() : read;
}
