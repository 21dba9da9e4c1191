#include "font/unicode_blocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TCodepointList ListOf(std::initializer_list<const char *> names, int version = 0)
{
    std::vector<const char *> v(names);
    TCodepointList list;
    EXPECT_TRUE(Build_CodepointList(v.data(), v.size(), version, list));
    return list;
}

TEST(UnicodeTables, BlockRowsThatTheBuildRelies)
{
    EXPECT_EQ(g_unicode_blocks[0].first, 0x21);
    EXPECT_EQ(g_unicode_blocks[0].last, 0x7E);
    EXPECT_STREQ(g_unicode_blocks[0].name, "Basic Latin");
    EXPECT_EQ(g_unicode_blocks[1].first, 0xA1);
    EXPECT_EQ(g_unicode_blocks[1].last, 0xFF);
    EXPECT_STREQ(g_unicode_blocks[7].name, "Greek and Coptic");
    EXPECT_EQ(g_unicode_blocks[7].first, 0x370);
    EXPECT_EQ(g_unicode_blocks[72].first, 0x2200);
    EXPECT_EQ(g_unicode_blocks[72].last, 0x22FF);
    EXPECT_STREQ(g_unicode_blocks[72].name, "Mathematical Operators");
    EXPECT_EQ(g_unicode_blocks[138].first, 0xD800);
    EXPECT_EQ(g_unicode_blocks[138].last, 0xDB7F);
    EXPECT_EQ(g_unicode_blocks[208].first, 0x100000);
    EXPECT_EQ(g_unicode_blocks[208].last, 0x10FFFF);
    EXPECT_STREQ(g_unicode_blocks[208].name, "Supplementary Private Use Area-B");
    for (int i = 1; i < kUnicodeBlockCount; ++i)
        EXPECT_LT(g_unicode_blocks[i - 1].last, g_unicode_blocks[i].first) << g_unicode_blocks[i].name;
}

TEST(UnicodeTables, RepertoireRowsAreSortedAndLeaveOutPrivateUse)
{
    const char *labels[] = {"1.1.5", "2.0.14", "3.0.0", "4.0.0", "5.0.0", "6.0.0", "6.1.0d1"};
    for (int v = 0; v < kUnicodeRepertoireCount; ++v) {
        const TUnicodeRepertoire &rep = g_unicode_repertoires[v];
        EXPECT_STREQ(rep.version, labels[v]);
        for (int i = 0; i < rep.range_count; ++i) {
            const TCodepointRange &r = rep.ranges[i];
            EXPECT_LE(r.first, r.last);
            if (i) {
                EXPECT_GT(r.first, rep.ranges[i - 1].last + 1);
            }
            EXPECT_FALSE(r.first <= 0xF8FF && r.last >= 0xE000) << std::hex << r.first;
            EXPECT_FALSE(r.last >= 0xF0000) << std::hex << r.first;
        }
        if (v > 0) {
            EXPECT_GE(rep.range_count, g_unicode_repertoires[v - 1].range_count);
        }
    }
    const TUnicodeRepertoire &v1 = g_unicode_repertoires[0];
    EXPECT_EQ(v1.range_count, 288);
    EXPECT_EQ(v1.ranges[0].first, 0x0);
    EXPECT_EQ(v1.ranges[0].last, 0x1F5);
    EXPECT_EQ(v1.ranges[1].first, 0x1FA);
    EXPECT_EQ(v1.ranges[2].last, 0x2A8);
    EXPECT_EQ(v1.ranges[v1.range_count - 1].last, 0xFFFD);
    EXPECT_EQ(g_unicode_repertoires[1].range_count, 298);
    EXPECT_EQ(g_unicode_repertoires[2].range_count, 355);
    for (int v = 4; v < kUnicodeRepertoireCount; ++v) {
        const TUnicodeRepertoire &rep = g_unicode_repertoires[v];
        EXPECT_EQ(rep.ranges[rep.range_count - 1].first, 0xE0100);
        EXPECT_EQ(rep.ranges[rep.range_count - 1].last, 0xE01EF);
    }
    EXPECT_EQ(g_unicode_repertoires[6].ranges, g_unicode_repertoires[5].ranges);
}

TEST(UnicodeBlocks, LookupIgnoresCaseButNotBlanks)
{
    TCodepointList list = ListOf({"basic latin"});
    ASSERT_EQ(list.ranges.size(), 1u);

    const char *padded = "Basic Latin ";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Build_CodepointList(&padded, 1, 0, list));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error: unicode block 'Basic Latin ' not found\n");
    EXPECT_TRUE(list.ranges.empty());
    EXPECT_EQ(list.count, 0);
}

TEST(UnicodeBlocks, BasicLatinHasNoSpaceOrControls)
{
    TCodepointList list = ListOf({"Basic Latin"});
    ASSERT_EQ(list.ranges.size(), 1u);
    EXPECT_EQ(list.ranges[0].first, 0x21);
    EXPECT_EQ(list.ranges[0].last, 0x7E);
    EXPECT_EQ(list.count, 94);
}

TEST(UnicodeBlocks, RangesAreSortedWhateverTheNameOrder)
{
    for (auto list : {ListOf({"Latin-1 Supplement", "Basic Latin"}), ListOf({"Basic Latin", "Latin-1 Supplement"})}) {
        ASSERT_EQ(list.ranges.size(), 2u);
        EXPECT_EQ(list.ranges[0].first, 0x21);
        EXPECT_EQ(list.ranges[0].last, 0x7E);
        EXPECT_EQ(list.ranges[1].first, 0xA1);
        EXPECT_EQ(list.ranges[1].last, 0xFF);
        EXPECT_EQ(list.count, 94 + 95);
    }
}

TEST(UnicodeBlocks, SameBlockTwiceCountsOnce)
{
    TCodepointList list = ListOf({"Greek and Coptic", "Greek and Coptic"});
    TCodepointList once = ListOf({"Greek and Coptic"});
    EXPECT_EQ(list.count, once.count);
    ASSERT_EQ(list.ranges.size(), once.ranges.size());
    for (size_t i = 0; i < once.ranges.size(); ++i) {
        EXPECT_EQ(list.ranges[i].first, once.ranges[i].first);
        EXPECT_EQ(list.ranges[i].last, once.ranges[i].last);
    }
    // Greek in 1.1 has gaps: the list follows the repertoire, not the block.
    EXPECT_GT(once.ranges.size(), 1u);
    EXPECT_LT(once.count, 0x400 - 0x370);
}

TEST(UnicodeBlocks, PrivateUseAreaIsEmpty)
{
    TCodepointList list = ListOf({"Private Use Area"});
    EXPECT_TRUE(list.ranges.empty());
    EXPECT_EQ(list.count, 0);
}

TEST(UnicodeBlocks, NewerVersionsAddCodePoints)
{
    // Greek and Coptic gained U+0370..U+0373 in 5.1 and U+03F4.. in 3.1 and later.
    TCodepointList v1 = ListOf({"Greek and Coptic"}, 0), v6 = ListOf({"Greek and Coptic"}, 5);
    EXPECT_GT(v6.count, v1.count);
    EXPECT_EQ(v6.ranges[0].first, 0x370);
    // The repertoire ends inside a requested block: the range list stops there too.
    TCodepointList arrows = ListOf({"Arrows", "Mathematical Operators"}, 0);
    ASSERT_FALSE(arrows.ranges.empty());
    EXPECT_EQ(arrows.ranges.front().first, 0x2190);
    EXPECT_LE(arrows.ranges.back().last, 0x22FF);
}

TEST(UnicodeBlocks, TouchingBlocksJoinIntoOneRange)
{
    // Latin-1 Supplement ends at U+00FF, Latin Extended-A starts at U+0100.
    TCodepointList list = ListOf({"Latin Extended-A", "Latin-1 Supplement"});
    ASSERT_EQ(list.ranges.size(), 1u);
    EXPECT_EQ(list.ranges[0].first, 0xA1);
    EXPECT_EQ(list.ranges[0].last, 0x17F);
}

TEST(UnicodeBlocks, BadVersionIndexFails)
{
    const char *name = "Basic Latin";
    TCodepointList list;
    EXPECT_FALSE(Build_CodepointList(&name, 1, 7, list));
    EXPECT_FALSE(Build_CodepointList(&name, 1, -1, list));
}

struct Utf8Case {
    std::string bytes;
    int32_t code;
    int consumed;
};

TEST(Utf8, DecodesAndRefusesAsSpecified)
{
    const Utf8Case cases[] = {
        {"A", 'A', 1},
        {"\x7F", 0x7F, 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE2\x82\xAC", 0x20AC, 3},
        {"\xF0\x9D\x90\x80", 0x1D400, 4},
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
        {"\xC0\x80", 0, 2},            // overlong forms are not checked
        {"\xED\xA0\x80", -1, 3},       // surrogate
        {"\xF4\x90\x80\x80", -1, 4},   // above U+10FFFF
        {"\xC3", -1, 1},               // truncated
        {"\xE2\x82", -1, 1},           // truncated
        {"\x80", -1, 1},               // stray continuation
        {"\xF8\x88\x80\x80\x80", -1, 1},
        {"\xFF", -1, 1},
        {"\xE2\x41\x41", -1, 2},       // bad first continuation
        {"\xF0\x9D\x41\x80", -1, 3},   // bad second continuation
    };
    for (const Utf8Case &c : cases) {
        int consumed = -5;
        EXPECT_EQ(Decode_UTF8(reinterpret_cast<const uint8_t *>(c.bytes.data()), c.bytes.size(), consumed), c.code)
            << testing::PrintToString(c.bytes);
        EXPECT_EQ(consumed, c.consumed) << testing::PrintToString(c.bytes);
    }
    int consumed = -5;
    EXPECT_EQ(Decode_UTF8(nullptr, 0, consumed), -1);
    EXPECT_EQ(consumed, 0);
    // The available length, not the terminator, limits the sequence.
    const uint8_t e_acute[] = {0xC3, 0xA9};
    EXPECT_EQ(Decode_UTF8(e_acute, 1, consumed), -1);
    EXPECT_EQ(consumed, 1);
}

} // namespace
