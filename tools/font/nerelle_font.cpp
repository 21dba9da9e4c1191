// nerelle-font: makes and inspects the bitmap font page caches the program
// draws its text with.
//
//   nerelle-font build FONT PATTERN [--block NAME]... [--version N] [--max-page-size S]
//   nerelle-font hud DIR
//   nerelle-font dump PATTERN
//   nerelle-font verify PATTERN
//   nerelle-font --help
//
// PATTERN names the page files with one integer conversion, e.g.
// "data/fonts/cmunrm%02u.tga". FONT is a file when it contains a '/' or ends
// in a font file extension, otherwise a family name. `hud` builds the HUD's
// fonts as the program does at its first start (font/font_cache.h), for a
// program that cannot build them itself (the web page). The exit status is 0
// only on success.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "font/bitmap_font.h"
#include "font/font_cache.h"
#include "font/unicode_blocks.h"
#include "core/report.h"

namespace {

const char kUsage[] =
    "usage: nerelle-font build FONT PATTERN [--block NAME]... [--version N] [--max-page-size S]\n"
    "       nerelle-font hud DIR\n"
    "       nerelle-font dump PATTERN\n"
    "       nerelle-font verify PATTERN\n"
    "       nerelle-font --help\n"
    "FONT is a font file when it contains a '/' or ends in .otf, .ttf, .ttc, .otc, .pfa, .pfb,\n"
    "  .woff or .woff2 (any case); a file that cannot be read as a font is an error. Any other\n"
    "  name is a family looked up through fontconfig (write ./NAME for a file in the current\n"
    "  directory); when fontconfig substitutes another family, a warning names it.\n"
    "PATTERN names the page files with one integer conversion, e.g. data/fonts/cmunrm%02u.tga;\n"
    "  page file names are at most 4096 bytes. The pages of a build appear together when all\n"
    "  are written; a failed build leaves none of its own.\n"
    "--block NAME adds a Unicode block (default Basic Latin); --version N picks the Unicode\n"
    "  repertoire; --max-page-size S limits the page side (64 to 32768, default 2048).\n"
    "hud builds the fonts of the program's HUD as the program does at its first start, from\n"
    "  the same source files (data/fonts/ of the current directory, as in the program's run\n"
    "  directory) with the same blocks, into the existing directory DIR under the page file\n"
    "  names the program reads; a font whose first page is in DIR already is kept.\n";

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

bool ParseInt(const char *text, long lo, long hi, long &value)
{
    errno = 0;
    char *end = nullptr;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= lo && value <= hi;
}

bool CheckPattern(const char *pattern)
{
    switch (CheckPagePattern(pattern)) {
    case PagePatternStatus::kOk:
        return true;
    case PagePatternStatus::kTooLong:
        std::fprintf(stderr, "error: page file pattern '%.64s...' makes names longer than %zu bytes\n", pattern,
                     kMaxPageFileName);
        return false;
    case PagePatternStatus::kMalformed:
        break;
    }
    std::fprintf(stderr, "error: bad page file pattern '%s' (it needs one integer conversion such as %%02u)\n",
                 pattern);
    return false;
}

// Keeps only what the commands report about each page.
class PageSizes : public CBitmapFont::CBitmapCallback {
public:
    struct Size {
        int width, height;
    };
    std::vector<Size> sizes;
    bool Consume_Page(unsigned, unsigned, TBitmap *page) override
    {
        sizes.push_back({page->width, page->height});
        return true;
    }
};

int Build(int argc, char **argv)
{
    if (argc < 4)
        return Usage();
    const char *font_file = argv[2], *pattern = argv[3];
    CBitmapFont font;
    for (int i = 4; i < argc; ++i) {
        long value;
        if (!std::strcmp(argv[i], "--block") && i + 1 < argc) {
            // Checked against the default version first; the build checks again with the final one.
            if (!font.AddBlock(argv[++i]))
                return 1;
        } else if (!std::strcmp(argv[i], "--version") && i + 1 < argc) {
            if (!ParseInt(argv[++i], 0, kUnicodeRepertoireCount - 1, value)) {
                std::fprintf(stderr, "error: --version takes 0 to %d\n", kUnicodeRepertoireCount - 1);
                return 2;
            }
            font.version_index = int(value);
        } else if (!std::strcmp(argv[i], "--max-page-size") && i + 1 < argc) {
            if (!ParseInt(argv[++i], 64, 32768, value)) {
                std::fprintf(stderr, "error: --max-page-size takes 64 to 32768\n");
                return 2;
            }
            font.info.max_page_size = uint16_t(value);
        } else {
            return Usage();
        }
    }
    if (!CheckPattern(pattern))
        return 2;
    CBitmapFont::CBitmapWriter writer(pattern);
    if (font.Build(writer, font_file))
        return 0;
    // The build itself says why it stopped, except when a page could not be written.
    if (!writer.Failure().empty())
        PrintError(writer.Failure());
    return 1;
}

int Hud(int argc, char **argv)
{
    if (argc != 3)
        return Usage();
    // Only the pages' directory differs from the program's list.
    constexpr size_t kCount = std::size(g_hud_fonts);
    std::string patterns[kCount];
    TFontCacheSource fonts[kCount];
    for (size_t i = 0; i < kCount; ++i) {
        patterns[i] =
            (std::filesystem::path(argv[2]) / std::filesystem::path(g_hud_fonts[i].page_pattern).filename()).string();
        if (!CheckPattern(patterns[i].c_str()))
            return 2;
        fonts[i] = {patterns[i].c_str(), g_hud_fonts[i].font_file};
    }
    return Build_Missing_FontCaches(fonts, kCount, g_hud_font_blocks, std::size(g_hud_font_blocks)) == 0 ? 0 : 1;
}

bool Load(const char *pattern, CBitmapFont &font, PageSizes &sizes)
{
    if (!CheckPattern(pattern))
        return false;
    if (!CBitmapFont::LoadPages(font, sizes, pattern)) {
        std::fprintf(stderr, "error: cannot read the font pages of '%s'\n", pattern);
        return false;
    }
    return true;
}

int Dump(int argc, char **argv)
{
    if (argc != 3)
        return Usage();
    CBitmapFont font;
    PageSizes sizes;
    if (!Load(argv[2], font, sizes))
        return 1;
    const FontInfo &f = font.info;
    std::printf("name %s\n", font.name.c_str());
    std::printf("height %d\nweight %d\nitalic %u\nunderline %u\n", f.height, f.weight, f.italic, f.underline);
    std::printf("page_count %u\npage_width %u\npage_height %u\nmax_page_size %u\n", f.page_count, f.page_width,
                f.page_height, f.max_page_size);
    std::printf("page_margin %u\nglyph_spacing %u\nglyph_padding %u\n", f.page_margin, f.glyph_spacing,
                f.glyph_padding);
    std::printf("ascent %d\nneg_descent %d\ncell_height %d\ninternal_leading %d\nexternal_leading %d\n", f.ascent,
                f.neg_descent, f.cell_height, f.internal_leading, f.external_leading);
    std::printf("space_advance %d\nx_extent %d\nline_spacing %d\nextension_count %u\nname_length %u\n",
                f.space_advance, f.x_extent, f.line_spacing, f.extension_count, f.name_length);
    for (size_t p = 0; p < font.pages.size(); ++p)
        std::printf("page %zu %dx%d glyphs %zu\n", p, font.pages[p].width, font.pages[p].height,
                    font.pages[p].glyphs.size());
    for (size_t p = 0; p < font.pages.size(); ++p)
        for (const GlyphInfo *g : font.pages[p].glyphs)
            std::printf("glyph U+%04X page %zu bearing_x %d bearing_y %d advance %d rotated %u page_x %d page_y %d "
                        "width %d height %d\n",
                        unsigned(g->code), p, g->bearing_x, g->bearing_y, g->advance, g->rotated, g->page_x,
                        g->page_y, g->width, g->height);
    return 0;
}

int Verify(int argc, char **argv)
{
    if (argc != 3)
        return Usage();
    CBitmapFont font;
    PageSizes sizes;
    if (!Load(argv[2], font, sizes))
        return 1;
    // The table must also describe bitmaps that lie inside their pages.
    for (size_t p = 0; p < font.pages.size(); ++p) {
        const PageEntry &page = font.pages[p];
        for (const GlyphInfo *g : page.glyphs) {
            const long w = g->rotated ? g->height : g->width, h = g->rotated ? g->width : g->height;
            if (g->page_x < 0 || g->page_y < 0 || w < 0 || h < 0 || g->page_x + w > page.width ||
                g->page_y + h > page.height) {
                std::fprintf(stderr, "error: glyph U+%04X lies outside page %zu\n", unsigned(g->code), p);
                return 1;
            }
        }
    }
    std::printf("ok: %s: %zu pages, %zu glyphs\n", argv[2], font.pages.size(), font.glyphs.size());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!std::strcmp(argv[1], "build"))
        return Build(argc, argv);
    if (!std::strcmp(argv[1], "hud"))
        return Hud(argc, argv);
    if (!std::strcmp(argv[1], "dump"))
        return Dump(argc, argv);
    if (!std::strcmp(argv[1], "verify"))
        return Verify(argc, argv);
    return Usage();
}
