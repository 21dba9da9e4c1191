// Bitmap fonts: building a font's pages from a font file and reading them back.
//
// A built bitmap font is a numbered series of page images (TGA files). Page
// 0, and as many more as needed, carry the font header and the glyph table
// in a rectangle of their own pixels (page_meta_stream.h); the pages alone
// are the font. CBitmapFont::Build rasterises the wanted Unicode blocks
// (glyph_renderer.h), packs the glyphs (glyph_layout.h), writes the table
// into the pages and hands each page to a CBitmapCallback, normally a
// CBitmapWriter. CBitmapFont::ReadPages / LoadPages read a font back and hand
// each page, metadata erased, to a consumer (the GL font uploads them).
// Called by the HUD start-up (through font_cache.h), the GL font and the
// nerelle-font tool. A CBitmapFont owns its header, name, glyph records and
// page list; no GL anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "font/font_info.h"
#include "font/page_meta_stream.h"
#include "image/bitmap.h"

// Longest page file name (bytes) that a pattern may produce.
constexpr size_t kMaxPageFileName = 4096;

// What a page file pattern is good for.
enum class PagePatternStatus {
    kOk,         // one integer conversion, names within kMaxPageFileName
    kMalformed,  // no pattern, or not exactly one integer conversion (such as "%02u")
    kTooLong,    // some page index would give a name longer than kMaxPageFileName
};

// Checks a page file pattern without formatting it.
PagePatternStatus CheckPagePattern(const char *pattern);
// Formats a page file pattern with a page index; false unless the pattern checks ok.
bool Format_PagePattern(const char *pattern, unsigned index, std::string &out);

class CBitmapFont {
public:
    // Supplies page images by index.
    class CBitmapProducer {
    public:
        // Page `index` as a new bitmap that the caller destroys, or null.
        virtual TBitmap *Produce_Page(unsigned index) = 0;

    protected:
        ~CBitmapProducer() = default;
    };

    // Receives finished or loaded page images in index order.
    class CBitmapCallback {
    public:
        // Page `index` of `page_count`; the bitmap stays the caller's. False refuses it.
        virtual bool Consume_Page(unsigned index, unsigned page_count, TBitmap *page) = 0;

    protected:
        ~CBitmapCallback() = default;
    };

    // Reads pages from TGA files named by a pattern such as "data/fonts/cmunrm%02u.tga".
    class CBitmapReader : public CBitmapProducer {
    public:
        explicit CBitmapReader(const char *pattern) : m_pattern(pattern ? pattern : "") {}
        TBitmap *Produce_Page(unsigned index) override;  // null when the file cannot be read

    private:
        std::string m_pattern;
    };

    // Writes pages as TGA files named by a pattern. A page set is whole or
    // absent: pages go to temporary names beside their own and are renamed
    // once the last one is written; a failed or unfinished set is removed.
    class CBitmapWriter : public CBitmapCallback {
    public:
        explicit CBitmapWriter(const char *pattern) : m_pattern(pattern ? pattern : "") {}
        ~CBitmapWriter();  // removes the pages of a set that was not finished
        CBitmapWriter(const CBitmapWriter &) = delete;
        CBitmapWriter &operator=(const CBitmapWriter &) = delete;
        bool Consume_Page(unsigned index, unsigned page_count, TBitmap *page) override;  // false when the write fails

        // After a refused page: "cannot write 'FILE': reason", naming the page
        // file; empty when nothing failed.
        const std::string &Failure() const { return m_failure; }

    private:
        struct Pending {
            std::string temporary, final;
        };
        void Fail(const std::string &file, int error);
        void Abandon();  // removes the temporary files of the set

        std::string m_pattern;
        std::vector<Pending> m_pending;  // pages written so far, in index order
        std::string m_failure;
    };

    CBitmapFont();
    CBitmapFont(const CBitmapFont &) = delete;  // pages point into the glyph records
    CBitmapFont &operator=(const CBitmapFont &) = delete;

    // Zeroes nothing but sets every build setting to its default.
    void Reset();
    // Adds a Unicode block to build (the string must outlive the build); false
    // and an "error:" line when no block has that name.
    bool AddBlock(const char *name);
    // Builds the font from a font file or a family name (CGlyphRenderer::
    // IsFontPath tells them apart) and hands its pages to the consumer;
    // prints progress to stdout, and "warning:" lines and one "error:" line on
    // failure to stderr. A page the consumer refuses ends the build without a
    // message: the consumer knows why (CBitmapWriter::Failure).
    bool Build(CBitmapCallback &consumer, const char *font_file);

    // Reads a font back from its pages; every page goes to the consumer with
    // its metadata area erased (0x00FFFFFF).
    static bool ReadPages(CBitmapFont &font, CBitmapProducer &producer, CBitmapCallback &consumer);
    // ReadPages from the TGA files of a pattern.
    static bool LoadPages(CBitmapFont &font, CBitmapCallback &consumer, const char *pattern);

    // Font header; also holds the build settings weight, italic, underline,
    // max_page_size, page_margin, glyph_spacing and glyph_padding.
    FontInfo info;
    std::string name;                      // font name: the source path (its file name beyond 255 bytes)
    std::vector<GlyphInfo> glyphs;         // every glyph, in page order after a read
    std::vector<PageEntry> pages;          // page sizes and their glyphs

    std::vector<const char *> block_names; // blocks to build; empty means "Basic Latin"
    int version_index = 0;                 // repertoire row of unicode_blocks.h
    bool write_metadata = true;            // reserve areas and write the glyph table
    bool verify = true;                    // read the table back from every page and compare
    bool power_of_two = false;             // round page sizes up to powers of two
};
