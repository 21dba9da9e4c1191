// Reads the input as a GPX or KML document. A refusal must say why in one
// line and leave the reading empty; what is read must hold the reader's
// promises: only usable positions, every point read either kept or dropped,
// no empty track and the dropped lines kept bounded.
#include "logs/xml_track_reader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool NanOrFinite(double v)
{
    return std::isnan(v) || std::isfinite(v);
}

bool Usable(const LogFix& fix)
{
    return std::fabs(fix.latitude) <= 90 && std::fabs(fix.longitude) <= 180 && NanOrFinite(fix.utc) &&
           NanOrFinite(fix.altitude) && NanOrFinite(fix.depth) && (std::isnan(fix.hdop) || fix.hdop >= 0) &&
           fix.quality >= -1 && fix.quality <= 3 && fix.quality != 0 && fix.receivers >= -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)LooksLikeXmlTrack(text);

    LogReading reading;
    const Status status = ReadXmlTracks(text, reading);
    if (!status) {
        if (status.reason.empty() || status.reason.find('\n') != std::string::npos || reading.lines != 0 ||
            !reading.tracks.empty() || !reading.dropped_count.empty())
            __builtin_trap();
        return 0;
    }
    size_t dropped = 0;
    for (const auto& [reason, count] : reading.dropped_count)
        dropped += count;
    if (reading.FixCount() + dropped != reading.lines)
        __builtin_trap();
    if (reading.dropped.size() > reading.dropped_count.size() * LogReading::kKeptPerReason)
        __builtin_trap();
    for (const DroppedLine& line : reading.dropped)
        if (line.reason.empty() || line.excerpt.size() > LogReading::kExcerptBytes)
            __builtin_trap();
    for (const LogTrack& track : reading.tracks) {
        if (track.fixes.empty())
            __builtin_trap();
        for (const LogFix& fix : track.fixes)
            if (!Usable(fix))
                __builtin_trap();
    }
    return 0;
}
