#include "logs/track_log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LogReading, KeepsTheFirstDroppedLinesOfEachReasonAndCountsAll)
{
    LogReading reading;
    for (uint64_t line = 1; line <= 12; ++line)
        reading.Drop(line, line % 3 == 0 ? "bad checksum" : "no fix", std::string(200, 'x'));
    EXPECT_EQ(reading.dropped_count.at("bad checksum"), 4u);
    EXPECT_EQ(reading.dropped_count.at("no fix"), 8u);
    ASSERT_EQ(reading.dropped.size(), 4u + LogReading::kKeptPerReason);
    EXPECT_EQ(reading.dropped.front().line, 1u);
    EXPECT_EQ(reading.dropped.front().excerpt.size(), LogReading::kExcerptBytes);
}

}  // namespace
