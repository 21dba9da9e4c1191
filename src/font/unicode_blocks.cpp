#include "font/unicode_blocks.h"

#include "core/report.h"

#include <algorithm>
#include <cstdio>

namespace {

bool EqualIgnoringAsciiCase(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<unsigned char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<unsigned char>(cb - 'A' + 'a');
        if (ca != cb)
            return false;
        if (!ca)
            return true;
    }
}

} // namespace

const TUnicodeBlock *Find_UnicodeBlock(const char *name)
{
    if (!name)
        return nullptr;
    for (const TUnicodeBlock &block : g_unicode_blocks) {
        if (EqualIgnoringAsciiCase(block.name, name))
            return &block;
    }
    return nullptr;
}

bool Build_CodepointList(const char *const *names, size_t name_count, int version_index,
                         TCodepointList &list)
{
    list.ranges.clear();
    list.count = 0;
    if (version_index < 0 || version_index >= kUnicodeRepertoireCount)
        return false;

    std::vector<TCodepointRange> wanted;
    try {
        for (size_t i = 0; i < name_count; ++i) {
            const TUnicodeBlock *block = Find_UnicodeBlock(names[i]);
            if (!block) {
                PrintError(FormatText("unicode block '%s' not found", names[i] ? names[i] : "(null)"));
                return false;
            }
            wanted.push_back({block->first, block->last});
        }
        std::stable_sort(wanted.begin(), wanted.end(),
                         [](const TCodepointRange &a, const TCodepointRange &b) { return a.first < b.first; });

        // Overlapping neighbours merge; ranges that only touch are joined by the sweep below.
        std::vector<TCodepointRange> merged;
        for (const TCodepointRange &r : wanted) {
            if (!merged.empty() && merged.back().last >= r.first)
                merged.back().last = std::max(merged.back().last, r.last);
            else
                merged.push_back(r);
        }

        const TUnicodeRepertoire &rep = g_unicode_repertoires[version_index];
        std::vector<TCodepointRange> out;
        int64_t count = 0;
        int j = 0;
        for (const TCodepointRange &r : merged) {
            while (j < rep.range_count && rep.ranges[j].last < r.first)
                ++j;
            // A repertoire range that reaches past r stays current for the next request.
            for (int k = j; k < rep.range_count && rep.ranges[k].first <= r.last; ++k) {
                TCodepointRange overlap = {std::max(r.first, rep.ranges[k].first),
                                           std::min(r.last, rep.ranges[k].last)};
                if (!out.empty() && out.back().last + 1 == overlap.first)
                    out.back().last = overlap.last;
                else
                    out.push_back(overlap);
                count += int64_t(overlap.last) - overlap.first + 1;
                if (rep.ranges[k].last > r.last)
                    break;
                j = k + 1;
            }
        }
        list.ranges.swap(out);
        list.count = count;
    } catch (const std::bad_alloc &) {
        list.ranges.clear();
        list.count = 0;
        return false;
    }
    return true;
}

int32_t Decode_UTF8(const uint8_t *bytes, size_t available, int &consumed)
{
    consumed = 0;
    if (!bytes || !available)
        return -1;
    consumed = 1;
    const uint8_t b0 = bytes[0];
    if (b0 < 0x80)
        return b0;
    int extra;
    int32_t value;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        value = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        value = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        value = b0 & 0x07;
    } else {
        return -1;
    }
    if (size_t(extra) >= available)
        return -1;
    for (int i = 1; i <= extra; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            consumed = i + 1;
            return -1;
        }
        value = (value << 6) | (bytes[i] & 0x3F);
    }
    // A well-formed sequence that names no scalar value is skipped whole.
    consumed = 1 + extra;
    if ((value >= 0xD800 && value <= 0xDFFF) || value >= 0x110000)
        return -1;
    return value;
}
