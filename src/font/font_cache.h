// The application's font page cache: which fonts need building at start-up.
//
// The HUD start-up calls Build_Missing_FontCaches before it loads its two
// fonts: a font is built only when its page-0 file is missing (existence
// counts, not age), so deleting that file makes the next start rebuild that
// font alone. Owns nothing; builds through CBitmapFont.
#pragma once

#include <cstddef>
#include <vector>

// A font the application draws with: its page file pattern and its source font file.
struct TFontCacheSource {
    const char *page_pattern;  // e.g. "data/fonts/cmunrm%02u.tga"
    const char *font_file;     // e.g. "data/fonts/cmunrm.otf"
};

extern const TFontCacheSource g_hud_fonts[2];      // the two HUD fonts
extern const char *const g_hud_font_blocks[4];      // the Unicode blocks they hold

// True when the page-0 file of the pattern exists.
bool Font_Page_Cache_Exists(const char *page_pattern);

// Indices of the fonts whose page-0 file is missing.
std::vector<size_t> Find_Missing_FontCaches(const TFontCacheSource *fonts, size_t count);

// Builds every font whose page cache is missing with the given blocks and the
// default settings, writing its pages through the pattern. Returns the number
// of fonts that were missing and failed to build (each failure prints one
// "error:" line, a page file that could not be written included; the caller
// goes on and loading reports what is still absent). A failed build leaves no
// page files of its own, so the next start builds again.
int Build_Missing_FontCaches(const TFontCacheSource *fonts, size_t count, const char *const *blocks,
                             size_t block_count);
