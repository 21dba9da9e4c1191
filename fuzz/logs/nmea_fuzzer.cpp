// Reads the input as an NMEA log twice: as it is, and with a date and the
// diver's depth from GGA. Whatever is read must be a track a replay can use
// (finite times going forward, positions on the globe), the dropped lines
// kept bounded, and a date given must change no time the log dates itself.
#include "logs/nmea_reader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

namespace {

LogReading Read(const std::string& text, const NmeaOptions& options, Status& status)
{
    std::istringstream in(text);
    LogReading reading;
    status = ReadNmea(in, options, reading);
    return reading;
}

void CheckReading(const LogReading& reading)
{
    size_t dropped = 0;
    for (const auto& [reason, count] : reading.dropped_count)
        dropped += count;
    if (dropped > reading.lines || reading.dropped.size() > reading.dropped_count.size() * LogReading::kKeptPerReason)
        __builtin_trap();
    for (const DroppedLine& line : reading.dropped)
        if (line.excerpt.size() > LogReading::kExcerptBytes || line.line == 0 || line.line > reading.lines)
            __builtin_trap();
    for (const WaterDepth& depth : reading.water_depths)
        if (!std::isfinite(depth.depth) || depth.depth < 0 || std::isinf(depth.utc))
            __builtin_trap();
    if (reading.tracks.size() != 1)
        __builtin_trap();
    const auto& fixes = reading.tracks[0].fixes;
    for (size_t i = 0; i < fixes.size(); ++i) {
        const LogFix& fix = fixes[i];
        if (!std::isfinite(fix.utc) || (i > 0 && !(fix.utc > fixes[i - 1].utc)) || !(std::fabs(fix.latitude) <= 90) ||
            !(std::fabs(fix.longitude) <= 180) || fix.quality < -1 || fix.quality > 9 || fix.line == 0 ||
            fix.line > reading.lines)
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Status plain_status, dated_status;
    const LogReading plain = Read(text, NmeaOptions{}, plain_status);
    NmeaOptions options;
    options.date = Date{2000, 1, 1};
    options.depth_from_gga_altitude = true;
    const LogReading dated = Read(text, options, dated_status);

    if (!dated_status)
        __builtin_trap();  // a string cannot fail to read, and the date is given
    CheckReading(dated);
    if (!plain_status) {
        if (plain_status.reason.empty() || plain_status.reason.find('\n') != std::string::npos || !plain.tracks.empty())
            __builtin_trap();
        return 0;
    }
    CheckReading(plain);
    const auto& a = plain.tracks[0].fixes;
    const auto& b = dated.tracks[0].fixes;
    if (a.size() != b.size())
        __builtin_trap();
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].utc != b[i].utc || a[i].latitude != b[i].latitude || !std::isnan(a[i].depth))
            __builtin_trap();
    return 0;
}
