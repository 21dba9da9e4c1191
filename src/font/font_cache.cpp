#include "font/font_cache.h"

#include <sys/stat.h>

#include <cstdio>

#include <string>

#include "core/report.h"
#include "font/bitmap_font.h"

const TFontCacheSource g_hud_fonts[2] = {
    {"data/fonts/cmunrm%02u.tga", "data/fonts/cmunrm.otf"},
    {"data/fonts/cmunsl%02u.tga", "data/fonts/cmunsl.otf"},
};

// The fourth name once carried a trailing blank, which no block matches.
const char *const g_hud_font_blocks[4] = {"Basic Latin", "Latin-1 Supplement", "Greek and Coptic",
                                          "Mathematical Operators"};

bool Font_Page_Cache_Exists(const char *page_pattern)
{
    std::string file;
    if (!Format_PagePattern(page_pattern, 0, file))
        return false;
    struct stat st;
    return ::stat(file.c_str(), &st) == 0;
}

std::vector<size_t> Find_Missing_FontCaches(const TFontCacheSource *fonts, size_t count)
{
    std::vector<size_t> missing;
    for (size_t i = 0; i < count; ++i)
        if (!Font_Page_Cache_Exists(fonts[i].page_pattern))
            missing.push_back(i);
    return missing;
}

int Build_Missing_FontCaches(const TFontCacheSource *fonts, size_t count, const char *const *blocks,
                             size_t block_count)
{
    const std::vector<size_t> missing = Find_Missing_FontCaches(fonts, count);
    if (missing.empty())
        return 0;
    CBitmapFont font;
    for (size_t b = 0; b < block_count; ++b)
        font.AddBlock(blocks[b]);
    int failed = 0;
    for (size_t i : missing) {
        CBitmapFont::CBitmapWriter writer(fonts[i].page_pattern);
        if (!font.Build(writer, fonts[i].font_file)) {
            // The build explains its own failures, but not a page it could not write.
            if (!writer.Failure().empty())
                PrintError(writer.Failure());
            ++failed;
        }
    }
    return failed;
}
