#!/usr/bin/env python3
"""Generates src/font/unicode_tables.cpp: the block table and the repertoire
rows used when a font build is asked for Unicode blocks by name.

Run by hand (or with the CMake target `nerelle_unicode_tables`) after changing
this script; the output is committed:

    python3 tools/font/gen_unicode_tables.py /usr/share/unicode src/font/unicode_tables.cpp

Inputs come from the Unicode Character Database (Debian package unicode-data):
Blocks.txt for the block ranges and DerivedAge.txt for the code points that
each version assigned. The block list is frozen at the blocks of Unicode 6.0
(names spelled as the program has always stored them); later blocks are not
offered, so the table does not change with the installed database.
"""
import re
import sys

# The blocks of Unicode 6.0, in code point order, with their stored spelling.
BLOCK_NAMES = [
    "Basic Latin", "Latin-1 Supplement", "Latin Extended-A", "Latin Extended-B", "IPA Extensions",
    "Spacing Modifier Letters", "Combining Diacritical Marks", "Greek and Coptic", "Cyrillic",
    "Cyrillic Supplement", "Armenian", "Hebrew", "Arabic", "Syriac", "Arabic Supplement", "Thaana",
    "NKo", "Samaritan", "Mandaic", "Devanagari", "Bengali", "Gurmukhi", "Gujarati", "Oriya",
    "Tamil", "Telugu", "Kannada", "Malayalam", "Sinhala", "Thai", "Lao", "Tibetan", "Myanmar",
    "Georgian", "Hangul Jamo", "Ethiopic", "Ethiopic Supplement", "Cherokee",
    "Unified Canadian Aboriginal Syllabics", "Ogham", "Runic", "Tagalog", "Hanunoo", "Buhid",
    "Tagbanwa", "Khmer", "Mongolian", "Unified Canadian Aboriginal Syllabics Extended", "Limbu",
    "Tai Le", "New Tai Lue", "Khmer Symbols", "Buginese", "Tai Tham", "Balinese", "Sundanese",
    "Batak", "Lepcha", "Ol Chiki", "Vedic Extensions", "Phonetic Extensions",
    "Phonetic Extensions Supplement", "Combining Diacritical Marks Supplement",
    "Latin Extended Additional", "Greek Extended", "General Punctuation",
    "Superscripts and Subscripts", "Currency Symbols", "Combining Diacritical Marks for Symbols",
    "Letterlike Symbols", "Number Forms", "Arrows", "Mathematical Operators",
    "Miscellaneous Technical", "Control Pictures", "Optical Character Recognition",
    "Enclosed Alphanumerics", "Box Drawing", "Block Elements", "Geometric Shapes",
    "Miscellaneous Symbols", "Dingbats", "Miscellaneous Mathematical Symbols-A",
    "Supplemental Arrows-A", "Braille Patterns", "Supplemental Arrows-B",
    "Miscellaneous Mathematical Symbols-B", "Supplemental Mathematical Operators",
    "Miscellaneous Symbols and Arrows", "Glagolitic", "Latin Extended-C", "Coptic",
    "Georgian Supplement", "Tifinagh", "Ethiopic Extended", "Cyrillic Extended-A",
    "Supplemental Punctuation", "CJK Radicals Supplement", "Kangxi Radicals",
    "Ideographic Description Characters", "CJK Symbols and Punctuation", "Hiragana", "Katakana",
    "Bopomofo", "Hangul Compatibility Jamo", "Kanbun", "Bopomofo Extended", "CJK Strokes",
    "Katakana Phonetic Extensions", "Enclosed CJK Letters and Months", "CJK Compatibility",
    "CJK Unified Ideographs Extension A", "Yijing Hexagram Symbols", "CJK Unified Ideographs",
    "Yi Syllables", "Yi Radicals", "Lisu", "Vai", "Cyrillic Extended-B", "Bamum",
    "Modifier Tone Letters", "Latin Extended-D", "Syloti Nagri", "Common Indic Number Forms",
    "Phags-pa", "Saurashtra", "Devanagari Extended", "Kayah Li", "Rejang",
    "Hangul Jamo Extended-A", "Javanese", "Cham", "Myanmar Extended-A", "Tai Viet",
    "Ethiopic Extended-A", "Meetei Mayek", "Hangul Syllables", "Hangul Jamo Extended-B",
    "High Surrogates", "High Private Use Surrogates", "Low Surrogates", "Private Use Area",
    "CJK Compatibility Ideographs", "Alphabetic Presentation Forms", "Arabic Presentation Forms-A",
    "Variation Selectors", "Vertical Forms", "Combining Half Marks", "CJK Compatibility Forms",
    "Small Form Variants", "Arabic Presentation Forms-B", "Halfwidth and Fullwidth Forms",
    "Specials", "Linear B Syllabary", "Linear B Ideograms", "Aegean Numbers",
    "Ancient Greek Numbers", "Ancient Symbols", "Phaistos Disc", "Lycian", "Carian", "Old Italic",
    "Gothic", "Ugaritic", "Old Persian", "Deseret", "Shavian", "Osmanya", "Cypriot Syllabary",
    "Imperial Aramaic", "Phoenician", "Lydian", "Kharoshthi", "Old South Arabian", "Avestan",
    "Inscriptional Parthian", "Inscriptional Pahlavi", "Old Turkic", "Rumi Numeral Symbols",
    "Brahmi", "Kaithi", "Cuneiform", "Cuneiform Numbers and Punctuation", "Egyptian Hieroglyphs",
    "Bamum Supplement", "Kana Supplement", "Byzantine Musical Symbols", "Musical Symbols",
    "Ancient Greek Musical Notation", "Tai Xuan Jing Symbols", "Counting Rod Numerals",
    "Mathematical Alphanumeric Symbols", "Mahjong Tiles", "Domino Tiles", "Playing Cards",
    "Enclosed Alphanumeric Supplement", "Enclosed Ideographic Supplement",
    "Miscellaneous Symbols And Pictographs", "Emoticons", "Transport And Map Symbols",
    "Alchemical Symbols", "CJK Unified Ideographs Extension B",
    "CJK Unified Ideographs Extension C", "CJK Unified Ideographs Extension D",
    "CJK Compatibility Ideographs Supplement", "Tags", "Variation Selectors Supplement",
    "Supplementary Private Use Area-A", "Supplementary Private Use Area-B",
]

# Rows that leave out the controls, the space, DEL and NO-BREAK SPACE: a font
# page has no use for them.
TRIMMED = {"Basic Latin": (0x21, 0x7E), "Latin-1 Supplement": (0xA1, 0xFF)}

# Repertoire rows: label and the newest DerivedAge version they include.
VERSIONS = [("1.1.5", "1.1"), ("2.0.14", "2.0"), ("3.0.0", "3.0"), ("4.0.0", "4.0"),
            ("5.0.0", "5.0"), ("6.0.0", "6.0"), ("6.1.0d1", "6.0")]


def loose(name):
    return re.sub(r"[ _-]", "", name.lower())


def read_blocks(path):
    blocks = {}
    for line in open(path, encoding="utf-8"):
        m = re.match(r"([0-9A-F]+)\.\.([0-9A-F]+); (.*)", line)
        if m:
            blocks[loose(m[3])] = (int(m[1], 16), int(m[2], 16))
    rows = []
    for name in BLOCK_NAMES:
        if name in TRIMMED:
            rows.append(TRIMMED[name] + (name,))
            continue
        if loose(name) not in blocks:
            sys.exit("error: block '%s' is not in %s" % (name, path))
        rows.append(blocks[loose(name)] + (name,))
    for a, b in zip(rows, rows[1:]):
        if a[1] >= b[0]:
            sys.exit("error: blocks '%s' and '%s' overlap" % (a[2], b[2]))
    return rows


def version_key(v):
    return tuple(int(x) for x in v.split("."))


def read_ages(path):
    entries = []
    for line in open(path, encoding="utf-8"):
        m = re.match(r"([0-9A-F]+)(?:\.\.([0-9A-F]+))?\s*;\s*([0-9.]+)\s*#(.*)", line)
        if not m:
            continue
        first, last = int(m[1], 16), int(m[2] or m[1], 16)
        comment = m[4]
        # Private use, surrogates and noncharacters never get a glyph.
        if "private-use" in comment or "PRIVATE USE" in comment:
            continue
        if "surrogate" in comment or "noncharacter" in comment:
            continue
        entries.append((first, last, version_key(m[3])))
    return entries


def repertoire(entries, newest):
    ranges = sorted([f, l] for f, l, v in entries if v <= version_key(newest))
    merged = []
    for f, l in ranges:
        if merged and merged[-1][1] + 1 >= f:
            merged[-1][1] = max(merged[-1][1], l)
        else:
            merged.append([f, l])
    return merged


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: gen_unicode_tables.py UCD_DIR OUTPUT.cpp")
    ucd, out_path = sys.argv[1], sys.argv[2]
    blocks = read_blocks(ucd + "/Blocks.txt")
    entries = read_ages(ucd + "/DerivedAge.txt")
    out = []
    w = out.append
    w("// Generated by tools/font/gen_unicode_tables.py from the Unicode Character")
    w("// Database (Blocks.txt, DerivedAge.txt); do not edit. To regenerate:")
    w("//   python3 tools/font/gen_unicode_tables.py /usr/share/unicode src/font/unicode_tables.cpp")
    w("// or build the CMake target nerelle_unicode_tables.")
    w("")
    w('#include "font/unicode_blocks.h"')
    w("")
    w("namespace {")
    w("")
    rows_by_label = {}
    for label, newest in VERSIONS:
        key = newest
        if key not in rows_by_label:
            ident = "s_repertoire_" + newest.replace(".", "_")
            ranges = repertoire(entries, newest)
            rows_by_label[key] = (ident, len(ranges))
            w("const TCodepointRange %s[] = {" % ident)
            for i in range(0, len(ranges), 4):
                w("    " + " ".join("{0x%X, 0x%X}," % tuple(r) for r in ranges[i:i + 4]))
            w("};")
            w("")
    w("} // namespace")
    w("")
    w("const TUnicodeBlock g_unicode_blocks[%d] = {" % len(blocks))
    for first, last, name in blocks:
        w('    {0x%X, 0x%X, "%s"},' % (first, last, name))
    w("};")
    w("")
    w("const TUnicodeRepertoire g_unicode_repertoires[%d] = {" % len(VERSIONS))
    for label, newest in VERSIONS:
        ident, count = rows_by_label[newest]
        w('    {%s, %d, "%s"},' % (ident, count, label))
    w("};")
    open(out_path, "w", encoding="utf-8").write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
