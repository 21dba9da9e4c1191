// Unicode blocks and UTF-8.
//
// A font build asks for whole Unicode blocks by name ("Basic Latin", ...);
// this turns a list of names into a sorted list of code point ranges, keeping
// only the code points that a chosen version of the standard assigned. The
// text functions of the GL font use the UTF-8 decoder. Called by the font
// build (CBitmapFont::Build, CBitmapFont::AddBlock) and the GL font; owns only
// the constant tables in unicode_tables.cpp (generated, see that file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One inclusive range of code points.
struct TCodepointRange {
    int32_t first;  // first code point
    int32_t last;   // last code point, included
};

// One row of the block table.
struct TUnicodeBlock {
    int32_t first;     // first code point of the block
    int32_t last;      // last code point, included
    const char *name;  // block name as stored (the lookup ignores ASCII case)
};

// One repertoire row: the code points assigned up to a version, private use left out.
struct TUnicodeRepertoire {
    const TCodepointRange *ranges;  // sorted, disjoint, not touching
    int range_count;                // number of ranges
    const char *version;            // version label, e.g. "1.1.5"
};

constexpr int kUnicodeBlockCount = 209;       // rows of g_unicode_blocks
constexpr int kUnicodeRepertoireCount = 7;    // rows of g_unicode_repertoires

extern const TUnicodeBlock g_unicode_blocks[kUnicodeBlockCount];                // blocks in code point order
extern const TUnicodeRepertoire g_unicode_repertoires[kUnicodeRepertoireCount]; // by version index

// Finds a block by name, ignoring ASCII case; null when there is none.
const TUnicodeBlock *Find_UnicodeBlock(const char *name);

// A sorted list of code point ranges and the number of code points it covers.
struct TCodepointList {
    std::vector<TCodepointRange> ranges;  // sorted, inclusive
    int64_t count = 0;                    // code points covered
};

// Builds the range list of the named blocks restricted to the repertoire of
// version_index. An unknown name prints "error: unicode block '%s' not found"
// and fails; so does a version index outside the table.
bool Build_CodepointList(const char *const *names, size_t name_count, int version_index,
                         TCodepointList &list);

// Decodes one UTF-8 sequence from at most `available` bytes. Returns the code
// point or -1 (surrogates, values above 0x10FFFF and malformed sequences) and
// sets `consumed` to the bytes used (at least 1 when available > 0).
int32_t Decode_UTF8(const uint8_t *bytes, size_t available, int &consumed);
