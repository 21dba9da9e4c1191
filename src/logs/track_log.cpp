#include "logs/track_log.h"

void LogReading::Drop(uint64_t line, const std::string& reason, const std::string& text)
{
    if (dropped_count[reason]++ >= kKeptPerReason)
        return;
    DroppedLine kept;
    kept.line = line;
    kept.reason = reason;
    kept.excerpt = text.substr(0, kExcerptBytes);
    dropped.push_back(std::move(kept));
}

size_t LogReading::FixCount() const
{
    size_t count = 0;
    for (const LogTrack& track : tracks)
        count += track.fixes.size();
    return count;
}
