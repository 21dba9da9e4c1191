// Glyph metadata stored in the pixels of font pages.
//
// A built font is only its page images: the first page (and as many more as
// needed) carries the font header and the glyph table as a byte stream in a
// rectangle of pixels at the buffer origin, one byte per grey pixel,
// protected by a CRC-32. CPageMetaStream writes and reads that stream over a
// page's pixel buffer; CPageMetaReader parses the streams of a whole font page
// by page. Used by CBitmapFont (building, verifying and loading fonts). Works
// on caller-owned pixel buffers; owns nothing but the parsed records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "font/font_info.h"

// Header at the start of every metadata stream: seven little-endian words.
struct PageMetaHeader {
    uint32_t area_width;       // width of the metadata area in pixels (at least 4)
    uint32_t area_height;      // height of the metadata area in pixels
    uint32_t crc;              // complement of the CRC-32 register over the stream
    uint32_t font_id;          // random value shared by all pages of one build
    uint32_t page_index;       // index of this page
    uint32_t meta_page_count;  // pages 0 .. meta_page_count - 1 carry metadata
    uint32_t chunk_count;      // glyph runs in this page's stream
};

// Head of one run of glyph records: which page holds them and how many follow.
struct PageMetaChunk {
    int32_t page_index;   // page that holds these glyphs
    int32_t glyph_count;  // GlyphInfo records that follow
};

static_assert(sizeof(PageMetaHeader) == 28 && sizeof(PageMetaChunk) == 8, "stored sizes");

constexpr size_t kPageMetaHeaderSize = 28;  // bytes of PageMetaHeader in the stream
constexpr size_t kExtensionRecordSize = 7;  // bytes of one FontInfo extension record

// Continues a CRC-32 (reflected polynomial 0xEDB88320) register over n bytes.
uint32_t Update_CRC32(uint32_t reg, const void *data, size_t n);

// Pixel word that stores grey level (or stream byte) v.
constexpr uint32_t GreyPixel(uint32_t v) { return 0xFF000000u | (v & 0xFFu) * 0x010101u; }

// Stream of bytes in the metadata area of one page image.
class CPageMetaStream {
public:
    // Works on the caller's buffer of width x height words, rows in buffer order.
    CPageMetaStream(uint32_t *pixels, int width, int height);

    // Starts a stream: header in memory, CRC over it, cursor at 28. Fails when the
    // area does not fit the image or cannot hold the header.
    bool Open_Write(uint32_t area_width, uint32_t area_height, uint32_t font_id, uint32_t page_index,
                    uint32_t meta_page_count, uint32_t chunk_count);
    // Writes n bytes at the cursor, all or nothing.
    bool Write(const void *data, size_t n);
    // Stores the CRC and writes the header at the start of the area.
    void Close_Write();

    // Reads the header of an existing stream; returns the area size in bytes, 0 on failure.
    size_t Open_Read();
    // Reads n bytes at the cursor, all or nothing.
    bool Read(void *data, size_t n);
    // Advances the cursor by n bytes, all or nothing (the bytes still count for the CRC).
    bool Skip(size_t n);
    // Compares the CRC over the header and the bytes up to the cursor with the stored one.
    bool Check_CRC() const;
    // Sets every pixel of the area to 0x00FFFFFF.
    void Erase();

    const PageMetaHeader &Header() const { return m_header; }  // header read or being written
    size_t Cursor() const { return m_cursor; }                  // next stream byte
    size_t Available() const { return m_size; }                 // area size in bytes
    size_t Remaining() const { return m_size - m_cursor; }      // bytes left after the cursor

private:
    uint32_t &Pixel(size_t i) const;

    uint32_t *m_pixels;
    int m_width, m_height;
    PageMetaHeader m_header = {};
    size_t m_size = 0;
    size_t m_cursor = 0;
    uint32_t m_crc = 0;
};

// A page as the glyph table describes it: size and the glyphs it holds.
struct PageEntry {
    int width = -1;                          // page width, -1 until the page was seen
    int height = -1;                         // page height, -1 until the page was seen
    std::vector<const GlyphInfo *> glyphs;   // records of this page, in stored order
};

// Parses the metadata of a font's pages, one page after another, and keeps
// what it found. The same state serves loading and the build's read-back.
class CPageMetaReader {
public:
    // Parses page images in index order; false when the page is not the next valid one.
    bool Parse_Page(uint32_t *pixels, int width, int height);

    uint32_t Meta_Page_Count() const { return m_meta_page_count; }  // from the first page
    uint32_t Font_Id() const { return m_font_id; }                  // from the first page
    size_t Pages_Consumed() const { return m_consumed; }            // pages parsed or sized
    size_t Entry_Count() const { return m_entries.size(); }         // pages the table names
    bool Has_Font_Info() const { return m_have_info; }              // page 0 was parsed
    const FontInfo &Font_Info() const { return m_info; }            // header of page 0
    const std::string &Name() const { return m_name; }              // font name of page 0
    std::vector<GlyphInfo> &Records() { return m_records; }         // all records, page order
    std::vector<PageEntry> &Entries() { return m_entries; }         // glyph lists set after the last metadata page

private:
    bool Parse_Meta(uint32_t *pixels, int width, int height);

    struct Range {
        size_t begin, end;
    };
    bool m_started = false;
    bool m_have_info = false;
    uint32_t m_meta_page_count = 0;
    uint32_t m_font_id = 0;
    size_t m_consumed = 0;
    FontInfo m_info = {};
    std::string m_name;
    std::vector<GlyphInfo> m_records;
    std::vector<PageEntry> m_entries;
    std::vector<Range> m_ranges;
};
