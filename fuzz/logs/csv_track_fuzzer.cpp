// Reads the input as a CSV log twice: with the usual column names, and with
// --columns naming other ones. A refusal must say why in one line and add no
// track or sample; what is read must be usable for a replay (finite times
// going forward, positions on the globe, depths finite and bounded), a track
// or a profile and never both, the dropped lines bounded; and a header the
// reader took must look like one to the format's detection.
#include "logs/csv_track_reader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

namespace {

void Check(const std::string& text, const CsvColumns& columns)
{
    std::istringstream in(text);
    LogReading reading;
    const Status status = ReadCsvTrack(in, columns, reading);
    if (!status) {
        if (status.reason.empty() || status.reason.find('\n') != std::string::npos || !reading.tracks.empty() ||
            !reading.depth_profile.empty())
            __builtin_trap();
        return;
    }
    if (text.size() < kCsvMaxLine && !LooksLikeCsvTrack(text))
        __builtin_trap();
    if (reading.tracks.size() > 1 || (!reading.tracks.empty() && !reading.depth_profile.empty()) ||
        reading.dropped.size() > reading.dropped_count.size() * LogReading::kKeptPerReason)
        __builtin_trap();
    size_t dropped = 0;
    for (const auto& [reason, count] : reading.dropped_count)
        dropped += count;
    if (dropped + reading.FixCount() + reading.depth_profile.size() > reading.lines)
        __builtin_trap();
    for (const DroppedLine& line : reading.dropped)
        if (line.excerpt.size() > LogReading::kExcerptBytes || line.line < 2 || line.line > reading.lines)
            __builtin_trap();
    double last = -INFINITY;
    for (const LogTrack& track : reading.tracks)
        for (const LogFix& fix : track.fixes) {
            if (!std::isfinite(fix.utc) || !(fix.utc > last) || !(std::fabs(fix.latitude) <= 90) ||
                !(std::fabs(fix.longitude) <= 180) || !(std::isnan(fix.depth) || std::fabs(fix.depth) <= 12000) ||
                fix.line < 2 || fix.line > reading.lines)
                __builtin_trap();
            last = fix.utc;
        }
    for (const DepthSample& sample : reading.depth_profile) {
        if (!std::isfinite(sample.time) || !(sample.time > last) || !(std::fabs(sample.depth) <= 12000) ||
            sample.line < 2 || sample.line > reading.lines)
            __builtin_trap();
        last = sample.time;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(text, CsvColumns{});
    Check(text, CsvColumns{"Zeit", "Breite", "Laenge", "Tiefe"});
    return 0;
}
