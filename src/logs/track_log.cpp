#include "logs/track_log.h"

#include <limits>

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

Status ForEachLine(std::istream& in, size_t max_line,
                   const std::function<bool(std::string_view text, bool too_long)>& line)
{
    const Status broken = Status::Failure("the log could not be read to its end (stream error)");
    std::vector<char> buffer(max_line + 1);
    for (;;) {
        in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const size_t count = static_cast<size_t>(in.gcount());
        if (in.bad())
            return broken;
        if (in.fail() && count == 0)
            return Status::Ok();  // the end
        if (in.fail()) {          // max_line bytes and no end of line yet
            in.clear();
            in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            if (in.bad())
                return broken;
            if (!line(std::string_view(buffer.data(), count), true))
                return Status::Ok();
            continue;
        }
        const bool last = in.eof();
        if (!line(std::string_view(buffer.data(), last ? count : count - 1), false) || last)
            return Status::Ok();
    }
}
