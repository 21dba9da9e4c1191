// Sections: page file patterns and the file reader/writer; ReadPages; the
// build driver (Reset, AddBlock, Build).
#include "font/bitmap_font.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

#include "core/report.h"
#include "font/glyph_layout.h"
#include "font/glyph_renderer.h"
#include "font/unicode_blocks.h"
#include "image/tga.h"

namespace {

constexpr int kBuildHeight = 48;
constexpr size_t kMaxNameLength = 255;  // FontInfo::name_length is one byte

} // namespace

// ---------------------------------------------------------------------------
// Page files
// ---------------------------------------------------------------------------

// Only patterns with a single integer conversion are formatted, so a pattern
// from the command line can never read varargs that are not there. Width and
// precision are bounded before the C library sees them: it would allocate a
// work buffer of that size even to count the characters.
PagePatternStatus CheckPagePattern(const char *pattern)
{
    if (!pattern)
        return PagePatternStatus::kMalformed;
    size_t length = 0;  // longest name the pattern can make
    int conversions = 0;
    // Digits beyond the name limit are all the same to us: too long.
    auto number = [](const char *&p) {
        size_t v = 0;
        while (*p >= '0' && *p <= '9') {
            v = std::min<size_t>(v * 10 + size_t(*p - '0'), kMaxPageFileName + 1);
            ++p;
        }
        return v;
    };
    for (const char *p = pattern; *p; ++p) {
        if (*p != '%' || p[1] == '%') {
            p += *p == '%';
            ++length;
        } else {
            ++p;
            while (*p && std::strchr("-+ #0", *p))
                ++p;
            const size_t width = number(p);
            size_t precision = 0;
            if (*p == '.') {
                ++p;
                precision = number(p);
            }
            if (!*p || !std::strchr("udixX", *p))
                return PagePatternStatus::kMalformed;
            ++conversions;
            // Ten digits and a sign or a "0x" prefix hold any unsigned index.
            length += std::max({width, precision + 2, size_t(12)});
        }
        if (length > kMaxPageFileName)
            length = kMaxPageFileName + 1;
    }
    if (conversions != 1)
        return PagePatternStatus::kMalformed;
    return length > kMaxPageFileName ? PagePatternStatus::kTooLong : PagePatternStatus::kOk;
}

bool Format_PagePattern(const char *pattern, unsigned index, std::string &out)
{
    out.clear();
    if (CheckPagePattern(pattern) != PagePatternStatus::kOk)
        return false;
    char buffer[kMaxPageFileName + 1];
    const int n = std::snprintf(buffer, sizeof(buffer), pattern, index);
    if (n < 0 || size_t(n) > kMaxPageFileName)
        return false;
    out.assign(buffer, size_t(n));
    return true;
}

TBitmap *CBitmapFont::CBitmapReader::Produce_Page(unsigned index)
{
    std::string file;
    if (!Format_PagePattern(m_pattern.c_str(), index, file))
        return nullptr;
    return ReadTGA(file.c_str()).release();
}

CBitmapFont::CBitmapWriter::~CBitmapWriter()
{
    Abandon();
}

void CBitmapFont::CBitmapWriter::Abandon()
{
    for (const Pending &p : m_pending)
        std::remove(p.temporary.c_str());
    m_pending.clear();
}

void CBitmapFont::CBitmapWriter::Fail(const std::string &file, int error)
{
    m_failure = "cannot write '" + file + "': " + (error ? std::strerror(error) : "write failed");
    Abandon();
}

bool CBitmapFont::CBitmapWriter::Consume_Page(unsigned index, unsigned page_count, TBitmap *page)
{
    if (index == 0) {
        Abandon();
        m_failure.clear();
    }
    if (!page || index != m_pending.size() || index >= page_count) {
        Fail(m_pattern, EINVAL);
        return false;
    }
    const PagePatternStatus shape = CheckPagePattern(m_pattern.c_str());
    std::string file;
    if (!Format_PagePattern(m_pattern.c_str(), index, file)) {
        Fail(m_pattern, shape == PagePatternStatus::kTooLong ? ENAMETOOLONG : EINVAL);
        return false;
    }
    // Only a regular file is replaced: a FIFO or device standing where a page
    // goes is someone else's, not a stale cache.
    struct stat st {};
    if (lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        m_failure = "cannot write '" + file + "': not a regular file";
        Abandon();
        return false;
    }
    // The process id keeps two programs that build the same cache apart.
    Pending pending{file + "." + std::to_string(getpid()) + ".tmp", file};
    errno = 0;
    if (!WriteTGA(pending.temporary.c_str(), page)) {
        const int error = errno;
        std::remove(pending.temporary.c_str());
        Fail(file, error);
        return false;
    }
    m_pending.push_back(std::move(pending));
    if (index + 1 < page_count)
        return true;
    // Page 0 last: the application takes a present page 0 for a whole cache.
    for (size_t i = m_pending.size(); i-- > 0;) {
        if (std::rename(m_pending[i].temporary.c_str(), m_pending[i].final.c_str()) != 0) {
            const int error = errno;
            for (size_t j = i + 1; j < m_pending.size(); ++j)
                std::remove(m_pending[j].final.c_str());
            m_pending.resize(i + 1);
            Fail(m_pending[i].final, error);
            return false;
        }
    }
    m_pending.clear();
    return true;
}

// ---------------------------------------------------------------------------
// Reading a font back
// ---------------------------------------------------------------------------

bool CBitmapFont::ReadPages(CBitmapFont &font, CBitmapProducer &producer, CBitmapCallback &consumer)
{
    font.glyphs.clear();
    font.pages.clear();
    CPageMetaReader reader;
    size_t to_read = 1;
    for (size_t i = 0;; ++i) {
        BitmapPtr page(producer.Produce_Page(unsigned(i)));
        if (!page || !page->pixels || page->width <= 0 || page->height <= 0)
            return false;
        if (!reader.Parse_Page(page->pixels, page->width, page->height))
            return false;
        if (i == 0) {
            font.info = reader.Font_Info();
            font.name = reader.Name();
            to_read = reader.Meta_Page_Count();
        }
        // Pages that hold glyphs but no metadata are read too.
        if (i + 1 == to_read && reader.Pages_Consumed() < reader.Entry_Count())
            to_read = reader.Entry_Count();
        if (i < reader.Meta_Page_Count()) {
            CPageMetaStream stream(page->pixels, page->width, page->height);
            if (stream.Open_Read())
                stream.Erase();
        }
        if (!consumer.Consume_Page(unsigned(i), font.info.page_count, page.get()))
            return false;
        if (i + 1 >= to_read)
            break;
    }
    if (!reader.Meta_Page_Count() || reader.Pages_Consumed() < reader.Meta_Page_Count() ||
        reader.Pages_Consumed() != reader.Entry_Count())
        return false;
    const GlyphInfo *storage = reader.Records().data();
    font.glyphs.swap(reader.Records());
    font.pages.swap(reader.Entries());
    if (font.glyphs.data() != storage) {
        PrintError("swap() reallocated vector contents");
        font.glyphs.clear();
        font.pages.clear();
        return false;
    }
    return true;
}

bool CBitmapFont::LoadPages(CBitmapFont &font, CBitmapCallback &consumer, const char *pattern)
{
    CBitmapReader reader(pattern);
    return ReadPages(font, reader, consumer);
}

// ---------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------

CBitmapFont::CBitmapFont() : info()
{
    Reset();
}

void CBitmapFont::Reset()
{
    info.weight = 400;
    info.italic = 0;
    info.underline = 0;
    info.max_page_size = 2048;
    info.page_margin = 1;
    info.glyph_spacing = 2;
    info.glyph_padding = 2;
    block_names.clear();
    version_index = 0;
    write_metadata = true;
    verify = true;
    power_of_two = false;
}

bool CBitmapFont::AddBlock(const char *block)
{
    TCodepointList list;
    if (!Build_CodepointList(&block, 1, version_index, list))
        return false;
    try {
        block_names.push_back(block);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

namespace {

int RoundUpPowerOfTwo(int v)
{
    int p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

bool WritePageMeta(TBitmap &page, unsigned j, const TPageMetaPlan &plan, const TGlyphLayout &layout)
{
    const std::vector<TPageMetaRun> &runs = plan.runs[j];
    CPageMetaStream stream(page.pixels, page.width, page.height);
    if (!stream.Open_Write(uint32_t(plan.Area_Width(int(j))), uint32_t(plan.Area_Height(int(j))), plan.font_id, j,
                           uint32_t(plan.meta_page_count), uint32_t(runs.size())))
        return false;
    if (j == 0) {
        if (!stream.Write(&plan.info, sizeof(plan.info)) || !stream.Write(plan.name.data(), plan.name.size()))
            return false;
    }
    for (const TPageMetaRun &run : runs) {
        const PageMetaChunk chunk = {run.page, run.end - run.first};
        if (!stream.Write(&chunk, sizeof(chunk)))
            return false;
        const std::vector<GlyphInfo *> &list = layout.pages[size_t(run.page)].glyphs;
        for (int g = run.first; g < run.end; ++g)
            if (!stream.Write(list[size_t(g)], sizeof(GlyphInfo)))
                return false;
    }
    stream.Close_Write();
    return true;
}

bool SameRecord(const GlyphInfo &a, const GlyphInfo &b)
{
    return std::memcmp(&a, &b, sizeof(GlyphInfo)) == 0;
}

// What the metadata of every page said, against the layout and the kept glyphs.
bool ReadBackMatches(CPageMetaReader &reader, const TGlyphLayout &layout, const std::vector<GlyphInfo> &kept)
{
    const size_t page_count = layout.pages.size();
    if (!reader.Meta_Page_Count() || reader.Pages_Consumed() < reader.Meta_Page_Count() ||
        reader.Entry_Count() != page_count)
        return false;
    const std::vector<PageEntry> &read_pages = reader.Entries();
    for (size_t j = 0; j < page_count; ++j) {
        const TLayoutPage &built = layout.pages[j];
        const PageEntry &read = read_pages[j];
        if (built.width != read.width || built.height != read.height || built.glyphs.size() != read.glyphs.size())
            return false;
        for (size_t i = 0; i < built.glyphs.size(); ++i)
            if (!SameRecord(*built.glyphs[i], *read.glyphs[i]))
                return false;
    }
    std::vector<GlyphInfo> read_records = reader.Records();
    if (read_records.size() != kept.size())
        return false;
    std::sort(read_records.begin(), read_records.end(),
              [](const GlyphInfo &a, const GlyphInfo &b) { return a.code < b.code; });
    for (const GlyphInfo &built : kept) {
        const int32_t code = built.code;  // a packed field cannot be bound to a reference
        auto it = std::lower_bound(read_records.begin(), read_records.end(), code,
                                   [](const GlyphInfo &a, int32_t wanted) { return a.code < wanted; });
        if (it == read_records.end() || !SameRecord(*it, built))
            return false;
    }
    return true;
}

} // namespace

bool CBitmapFont::Build(CBitmapCallback &consumer, const char *font_file)
{
    glyphs.clear();
    pages.clear();

    std::printf("building a list of codepoints ...\n");
    static const char *const kDefaultBlock = "Basic Latin";
    TCodepointList codepoints;
    const bool ok_list = block_names.empty()
                             ? Build_CodepointList(&kDefaultBlock, 1, version_index, codepoints)
                             : Build_CodepointList(block_names.data(), block_names.size(), version_index, codepoints);
    if (!ok_list) {
        PrintError("failed to get list of codepoints (bad block name?)");
        return false;
    }

    if (info.page_margin >= 32 || info.max_page_size <= 63) {
        PrintError("bad page padding / page size");
        return false;
    }

    std::printf("initializing glyph renderer ...\n");
    std::fflush(stdout);
    CGlyphRenderer renderer;
    renderer.Start(font_file, kBuildHeight, info.weight, info.italic != 0, info.underline != 0);
    if (renderer.StartStatus() == RendererStart::kCannotOpen) {
        const std::string &why = renderer.OpenFailure();
        PrintError(
            FormatText("cannot open font '%s'%s%s", font_file ? font_file : "", why.empty() ? "" : ": ", why.c_str()));
        return false;
    }
    if (!renderer.Usable()) {
        PrintError("failed to initialize glyph renderer");
        return false;
    }
    if (renderer.Substituted())
        PrintWarning(FormatText("font family '%s' not found, using '%s' (%s) instead", font_file,
                                renderer.Family().c_str(), renderer.File().c_str()));

    const TFontMetrics &metrics = renderer.Metrics();
    info.ascent = int16_t(metrics.ascent);
    info.neg_descent = int16_t(metrics.neg_descent);
    info.cell_height = int16_t(metrics.cell_height);
    info.internal_leading = int16_t(metrics.internal_leading);
    info.external_leading = int16_t(metrics.external_leading);
    info.space_advance = int16_t(metrics.space_advance);
    info.x_extent = int16_t(metrics.x_extent);
    info.line_spacing = int16_t(metrics.line_spacing);
    info.extension_count = 0;
    info.height = kBuildHeight;
    // The name length is one byte in the page header. A longer path keeps its
    // file name (its last 255 bytes at most), so where the font lies never
    // decides whether a build works.
    const char *stored = font_file;
    if (std::strlen(stored) > kMaxNameLength) {
        if (const char *slash = std::strrchr(stored, '/'))
            stored = slash + 1;
        if (std::strlen(stored) > kMaxNameLength)
            stored += std::strlen(stored) - kMaxNameLength;
    }
    const size_t name_length = std::strlen(stored);
    info.name_length = uint8_t(name_length);
    try {
        name.assign(stored, name_length);

        std::printf("getting glyph metrics ...\n");
        std::vector<GlyphInfo> kept;
        int discarded = 0;
        for (const TCodepointRange &range : codepoints.ranges) {
            for (int32_t c = range.first; c <= range.last; ++c) {
                GlyphInfo glyph;
                TInkBox box;
                if (!renderer.Rasterise(c, glyph, box)) {
                    PrintError("not enough memory");
                    return false;
                }
                if (glyph.width <= 1 && glyph.height <= 1) {
                    ++discarded;
                    continue;
                }
                kept.push_back(glyph);
            }
        }
        if (kept.empty()) {
            PrintError(FormatText("no glyphs: the font has none of the %d code points asked for", discarded));
            return false;
        }

        std::printf("preparing metadata layout ...\n");
        const int S = info.max_page_size, d = info.page_margin;
        const int g = info.glyph_spacing + info.glyph_padding;
        TPageMetaPlan plan;
        Plan_PageMeta(plan, name, info, S + g - 2 * d, S / 2, kept, 0.85);

        std::printf("building glyph layout ...\n");
        TGlyphLayout layout;
        if (!Build_GlyphLayout(layout, plan, write_metadata, kept, S, g, d, power_of_two, 0.5, 0.1) ||
            layout.pages.size() > 0xFFFF) {
            PrintError("Build_GlyphLayout() failed");
            return false;
        }
        int page_width = 0, page_height = 0;
        for (const TLayoutPage &page : layout.pages) {
            page_width = std::max(page_width, page.width);
            page_height = std::max(page_height, page.height);
        }
        if (power_of_two) {
            page_width = RoundUpPowerOfTwo(page_width);
            page_height = RoundUpPowerOfTwo(page_height);
        }
        info.page_width = uint16_t(page_width);
        info.page_height = uint16_t(page_height);
        info.page_count = uint16_t(layout.pages.size());
        plan.info = info;

        std::printf("compiling metadata layout ...\n");
        if (write_metadata && !Prepare_PageMeta_Layout(layout, plan)) {
            PrintError("Prepare_PageMeta_Layout() failed");
            return false;
        }

        std::printf("rendering ...\n");
        std::fflush(stdout);
        const unsigned page_count = info.page_count;
        CPageMetaReader reader;
        for (unsigned j = 0; j < page_count; ++j) {
            const TLayoutPage &lp = layout.pages[j];
            BitmapPtr page(TBitmap::Create(lp.width, lp.height, true, false, 8));
            if (!page) {
                PrintError("not enough memory");
                return false;
            }
            std::fill(page->pixels, page->pixels + size_t(lp.width) * size_t(lp.height), 0u);
            if (write_metadata && int(j) < plan.meta_page_count && !WritePageMeta(*page, j, plan, layout)) {
                PrintError("metadata does not fit its page area");
                return false;
            }
            for (const GlyphInfo *glyph : lp.glyphs) {
                GlyphInfo again;
                TInkBox box;
                const int pw = glyph->rotated ? glyph->height : glyph->width;
                const int ph = glyph->rotated ? glyph->width : glyph->height;
                if (!renderer.Rasterise(glyph->code, again, box) || box.w != glyph->width ||
                    box.h != glyph->height || glyph->page_x < 0 || glyph->page_y < 0 ||
                    glyph->page_x + pw > lp.width || glyph->page_y + ph > lp.height) {
                    PrintError("RenderGlyph() failed");
                    return false;
                }
                renderer.Copy(page->pixels + size_t(glyph->page_y) * size_t(lp.width) + size_t(glyph->page_x),
                              glyph->rotated != 0, lp.width, box);
            }
            if (verify && write_metadata && !reader.Parse_Page(page->pixels, lp.width, lp.height)) {
                PrintError("metadata reader failed");
                return false;
            }
            // Checked before the last page goes out, so that a writer never
            // completes a page set that does not read back as built.
            if (verify && write_metadata && j + 1 == page_count && !ReadBackMatches(reader, layout, kept)) {
                PrintError("the pages do not read back as built");
                return false;
            }
            if (!consumer.Consume_Page(j, page_count, page.get()))
                return false;
        }

        glyphs.swap(kept);  // the layout's glyph pointers follow the buffer
        pages.resize(page_count);
        for (unsigned j = 0; j < page_count; ++j) {
            pages[j].width = layout.pages[j].width;
            pages[j].height = layout.pages[j].height;
            pages[j].glyphs.assign(layout.pages[j].glyphs.begin(), layout.pages[j].glyphs.end());
        }

        std::printf("done. produced %d glyphs (excluding %d discarded), %d page%s\n", int(glyphs.size()), discarded,
                    int(page_count), page_count > 1 ? "s" : "");
        std::fflush(stdout);

    } catch (const std::bad_alloc &) {
        PrintError("not enough memory");
        glyphs.clear();
        pages.clear();
        return false;
    }
    return true;
}
