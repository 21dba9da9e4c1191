// Sections: font lookup and installation, start and metrics, drawing and the
// ink scan, copying into pages.
#include "font/glyph_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include <strings.h>
#include <sys/stat.h>

#include "core/regular_file.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

namespace {

// Outlines are drawn as designed: the hinting programs of converted fonts
// such as CMU move stems and baselines by pixels at this size.
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;

// Beyond this a glyph at 48 pixels is nonsense; refusing keeps memory bounded.
constexpr int kMaxSurfaceSide = 4096;

int RoundScaled(long units, long em_units, int pixels)
{
    return int(std::lround(double(units) * pixels / double(em_units)));
}

// Fontconfig picks a file for a family name, as GDI picks a font by face
// name; `substituted` tells whether the match carries the asked-for family.
bool LookUpFamily(const char *family, std::string &file, int &index, bool &substituted)
{
    FcConfig *config = FcInitLoadConfigAndFonts();
    if (!config)
        return false;
    bool found = false;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(family));
    if (pattern) {
        FcChar8 *wanted = nullptr;
        std::string wanted_family;
        if (FcPatternGetString(pattern, FC_FAMILY, 0, &wanted) == FcResultMatch && wanted)
            wanted_family = reinterpret_cast<const char *>(wanted);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern *match = FcFontMatch(config, pattern, &result);
        if (match) {
            FcChar8 *path = nullptr;
            int face_index = 0;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
                FcPatternGetInteger(match, FC_INDEX, 0, &face_index);
                file = reinterpret_cast<const char *>(path);
                index = face_index;
                found = true;
                // A font lists its family under several names (languages); any will do.
                substituted = true;
                FcChar8 *name = nullptr;
                for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
                    if (name && !wanted_family.empty() &&
                        !FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8 *>(wanted_family.c_str())))
                        substituted = false;
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return found;
}

} // namespace

namespace {

// Largest font file read: the biggest font collections are a few tens of MB.
constexpr off_t kMaxFontFileBytes = off_t(256) << 20;

// The whole font file in memory, so FreeType never opens the name itself:
// a FIFO there would block it for good. False with the cause in `why`.
bool ReadFontFile(const char *path, std::vector<FT_Byte> &bytes, std::string &why)
{
    bytes.clear();
    bool not_regular = false;
    std::FILE *file = path && *path ? OpenRegularFileForReading(path, &not_regular) : nullptr;
    if (!file) {
        why = !path || !*path ? "" : not_regular ? "not a regular file" : std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fileno(file), &st) == 0;
    why = ok ? "" : std::strerror(errno);
    if (ok && st.st_size > kMaxFontFileBytes) {
        why = "larger than 256 MB";
        ok = false;
    }
    if (ok) {
        try {
            bytes.resize(size_t(st.st_size));
            ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
            if (!ok)
                why = std::ferror(file) ? std::strerror(errno) : "shorter than its size";
        } catch (const std::bad_alloc &) {
            why = "not enough memory";
            ok = false;
        }
    }
    std::fclose(file);
    if (!ok)
        std::vector<FT_Byte>().swap(bytes);
    return ok;
}

// The faces of a font file in memory and their family names (sorted,
// unique); -1 when it is not a font.
int CountFaces(FT_Library library, const std::vector<FT_Byte> &bytes, std::vector<std::string> &families)
{
    families.clear();
    int count = -1;
    FT_Face face = nullptr;
    if (!FT_New_Memory_Face(library, bytes.data(), FT_Long(bytes.size()), -1, &face)) {
        count = int(face->num_faces);
        FT_Done_Face(face);
        for (int i = 0; i < count; ++i) {
            if (FT_New_Memory_Face(library, bytes.data(), FT_Long(bytes.size()), i, &face)) {
                count = -1;
                break;
            }
            if (face->family_name)
                families.push_back(face->family_name);
            FT_Done_Face(face);
        }
    }
    std::sort(families.begin(), families.end());
    families.erase(std::unique(families.begin(), families.end()), families.end());
    if (count < 0)
        families.clear();
    return count;
}

} // namespace

struct CGlyphRenderer::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::vector<FT_Byte> file;  // the face's file, which FreeType reads from memory
};

CGlyphRenderer::CGlyphRenderer() : m_impl(new Impl) {}

CGlyphRenderer::~CGlyphRenderer()
{
    Stop();
    delete m_impl;
}

int CGlyphRenderer::Install(const char *path, std::vector<std::string> &families, std::string *why)
{
    families.clear();
    std::vector<FT_Byte> bytes;
    std::string cause;
    if (!ReadFontFile(path, bytes, cause)) {
        if (why)
            *why = cause;
        return -1;
    }
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library))
        return -1;
    const int count = CountFaces(library, bytes, families);
    FT_Done_FreeType(library);
    if (why)
        *why = count < 0 ? "not a font file" : "";
    return count;
}

void CGlyphRenderer::Start(const char *font, int pixel_height, int weight, bool italic, bool underline)
{
    Stop();
    m_status = RendererStart::kCannotOpen;
    if (!font || !*font)
        return;
    m_status = RendererStart::kFailed;
    if (pixel_height <= 0)
        return;
    m_pixel_height = pixel_height;
    m_weight = weight;
    m_italic = italic;
    m_underline = underline;

    std::string file;
    int index = 0;
    bool substituted = false;
    if (IsFontPath(font)) {
        file = font;
    } else if (!LookUpFamily(font, file, index, substituted)) {
        m_status = RendererStart::kNoMatch;
        return;
    }
    if (!ReadFontFile(file.c_str(), m_impl->file, m_open_failure)) {
        m_status = IsFontPath(font) ? RendererStart::kCannotOpen : RendererStart::kFailed;
        return;
    }
    if (FT_Init_FreeType(&m_impl->library))
        return;
    if (IsFontPath(font)) {
        std::vector<std::string> families;
        const int faces = CountFaces(m_impl->library, m_impl->file, families);
        if (faces < 0) {
            Stop();
            m_status = RendererStart::kCannotOpen;
            m_open_failure = "not a font file";
            return;
        }
        if (faces != 1 || families.size() != 1) {
            Stop();
            m_status = RendererStart::kNotOneFace;
            return;
        }
        m_path = font;
    }
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(m_impl->library, m_impl->file.data(), FT_Long(m_impl->file.size()), index, &face)) {
        Stop();
        m_status = RendererStart::kFailed;
        return;
    }
    m_impl->face = face;
    if (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixel_height)) ||
        !Measure_Font() || !Make_Surface(64, 64)) {
        Stop();
        m_status = RendererStart::kFailed;
        return;
    }
    m_family = face->family_name ? face->family_name : font;
    m_file = file;
    m_substituted = substituted;
    m_status = RendererStart::kOk;
}

bool CGlyphRenderer::Usable() const
{
    return m_impl->face && !m_surface.empty();
}

void CGlyphRenderer::Stop()
{
    if (m_impl->face)
        FT_Done_Face(m_impl->face);
    if (m_impl->library)
        FT_Done_FreeType(m_impl->library);
    m_impl->face = nullptr;
    m_impl->library = nullptr;
    std::vector<FT_Byte>().swap(m_impl->file);
    Forget_Face();
}

bool CGlyphRenderer::Make_Surface(int width, int height)
{
    if (width > kMaxSurfaceSide || height > kMaxSurfaceSide)
        return false;
    try {
        m_surface.assign(size_t(width) * size_t(height), 0);
        m_drawn_x0 = m_drawn_x1 = m_drawn_y0 = m_drawn_y1 = 0;
    } catch (const std::bad_alloc &) {
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

// GDI's metrics for a TrueType or OpenType font at a negative (character)
// height: ascent and descent are the Windows metrics of the OS/2 table scaled
// to the em height, the cell is their sum, the internal leading what the cell
// has beyond the em, and the external leading the part of the horizontal
// header's line gap that the Windows metrics do not already cover.
bool CGlyphRenderer::Measure_Font()
{
    FT_Face face = m_impl->face;
    const long em = face->units_per_EM;
    if (em <= 0)
        return false;
    const TT_OS2 *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const TT_HoriHeader *hhea = static_cast<const TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    long win_ascent, win_descent;
    if (os2 && os2->version != 0xFFFF) {
        win_ascent = os2->usWinAscent;
        win_descent = os2->usWinDescent;
    } else {
        win_ascent = face->ascender;
        win_descent = -face->descender;
    }
    long line_gap = 0, hhea_height = win_ascent + win_descent;
    if (hhea) {
        line_gap = hhea->Line_Gap;
        hhea_height = long(hhea->Ascender) - long(hhea->Descender);
    }
    const long external_units = std::max(0L, line_gap - ((win_ascent + win_descent) - hhea_height));

    TFontMetrics &m = m_metrics;
    m.ascent = RoundScaled(win_ascent, em, m_pixel_height);
    const int descent = RoundScaled(win_descent, em, m_pixel_height);
    m.neg_descent = -descent;
    m.cell_height = m.ascent + descent;
    m.internal_leading = m.cell_height - m_pixel_height;
    m.external_leading = RoundScaled(external_units, em, m_pixel_height);
    m.line_spacing = m.cell_height + m.external_leading;
    // GDI's text extent is one cell high whatever the text, so "x" measures the cell.
    m.x_extent = m.cell_height;
    FT_UInt space = FT_Get_Char_Index(face, ' ');
    m.space_advance = 0;
    if (!FT_Load_Glyph(face, space, kLoadFlags)) {
        if (m_weight >= 600)
            FT_GlyphSlot_Embolden(face->glyph);
        m.space_advance = int32_t((face->glyph->advance.x + 32) >> 6);
    }
    return true;
}

// Clears the surface (as an opaque background would) and draws the code point
// with the top of its cell at (W / 2, H - H / 2) in picture coordinates.
bool CGlyphRenderer::Draw(int32_t code, int &advance)
{
    for (int y = m_drawn_y0; y < m_drawn_y1; ++y)
        std::fill_n(&m_surface[size_t(y) * m_width + m_drawn_x0], m_drawn_x1 - m_drawn_x0, 0u);
    m_drawn_x0 = m_width, m_drawn_x1 = 0, m_drawn_y0 = m_height, m_drawn_y1 = 0;
    auto touch = [this](int col, int buffer_row) {
        m_drawn_x0 = std::min(m_drawn_x0, col);
        m_drawn_x1 = std::max(m_drawn_x1, col + 1);
        m_drawn_y0 = std::min(m_drawn_y0, buffer_row);
        m_drawn_y1 = std::max(m_drawn_y1, buffer_row + 1);
    };
    advance = 0;
    FT_Face face = m_impl->face;
    const FT_UInt index = FT_Get_Char_Index(face, FT_ULong(code));
    if (FT_Load_Glyph(face, index, kLoadFlags))
        return true;  // nothing drawn: the glyph is discarded as empty
    FT_GlyphSlot slot = face->glyph;
    if (m_italic)
        FT_GlyphSlot_Oblique(slot);
    if (m_weight >= 600)
        FT_GlyphSlot_Embolden(slot);
    advance = int((slot->advance.x + 32) >> 6);
    if (!index)
        return true;  // a missing character leaves no ink
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL))
        return true;

    const int pen_x = m_width / 2;
    const int baseline = (m_height - m_height / 2) + m_metrics.ascent;  // picture row below the baseline
    const FT_Bitmap &bm = slot->bitmap;
    for (unsigned r = 0; r < bm.rows; ++r) {
        const int picture_row = baseline - slot->bitmap_top + int(r);
        if (picture_row < 0 || picture_row >= m_height)
            continue;
        uint32_t *row = &m_surface[size_t(m_height - 1 - picture_row) * size_t(m_width)];
        const unsigned char *src = bm.buffer + ptrdiff_t(r) * bm.pitch;
        for (unsigned c = 0; c < bm.width; ++c) {
            const int col = pen_x + slot->bitmap_left + int(c);
            if (col < 0 || col >= m_width || !src[c])
                continue;
            row[col] = uint32_t(src[c]) * 0x010101u;
            touch(col, m_height - 1 - picture_row);
        }
    }
    if (m_underline && advance > 0) {
        const FT_Fixed scale = face->size->metrics.y_scale;
        const int position = int(std::lround(FT_MulFix(face->underline_position, scale) / 64.0));
        const int thickness = std::max(1, int(std::lround(FT_MulFix(face->underline_thickness, scale) / 64.0)));
        for (int t = 0; t < thickness; ++t) {
            const int picture_row = baseline - position - thickness / 2 + t;
            if (picture_row < 0 || picture_row >= m_height)
                continue;
            uint32_t *row = &m_surface[size_t(m_height - 1 - picture_row) * size_t(m_width)];
            for (int col = pen_x; col < pen_x + advance && col < m_width; ++col) {
                row[col] = 0xFFFFFFu;
                touch(col, m_height - 1 - picture_row);
            }
        }
    }
    return true;
}

bool CGlyphRenderer::Rasterise(int32_t code, GlyphInfo &info, TInkBox &box)
{
    info = {};
    box = {0, 0, 0, 0};
    if (!Usable() || code < 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return false;
    const int margin = std::max(32, m_metrics.cell_height);
    for (;;) {
        int advance = 0;
        if (!Draw(code, advance))
            return false;
        // One pass in buffer order over what was drawn: a row's first and last
        // ink widen the box, and every row with ink lies inside its columns.
        int left = m_width, right = -1, bottom = -1, top = -1;
        for (int y = m_drawn_y0; y < m_drawn_y1; ++y) {
            const uint32_t *row = &m_surface[size_t(y) * m_width];
            int first = m_drawn_x0;
            while (first < m_drawn_x1 && !row[first])
                ++first;
            if (first == m_drawn_x1)
                continue;
            int last = m_drawn_x1 - 1;
            while (!row[last])
                --last;
            left = std::min(left, first);
            right = std::max(right, last);
            if (bottom < 0)
                bottom = y;
            top = y;
        }
        if (right < 0) {
            info.code = code;
            info.advance = advance;
            return true;
        }

        const bool grow_x = left <= margin || right >= m_width - margin;
        const bool grow_y = bottom <= margin || top >= m_height - margin;
        if (grow_x || grow_y) {
            if (!Make_Surface(grow_x ? m_width * 2 : m_width, grow_y ? m_height * 2 : m_height))
                return false;
            continue;
        }
        info.code = code;
        info.bearing_x = left - m_width / 2;
        info.bearing_y = bottom - m_height / 2 + m_metrics.ascent;
        info.advance = advance;
        info.width = right - left + 1;
        info.height = top - bottom + 1;
        box = {left, bottom, info.width, info.height};
        return true;
    }
}

void CGlyphRenderer::Copy(uint32_t *dest, bool rotated, int page_width, const TInkBox &box) const
{
    auto grey = [this](int x, int y) {
        const uint32_t p = m_surface[size_t(y) * m_width + x];
        const uint32_t blue = p & 0xFF, green = (p >> 8) & 0xFF, red = (p >> 16) & 0xFF;
        const uint32_t v = (5 * green + 2 * red + blue) / 8;
        return 0xFF000000u | v * 0x010101u;
    };
    if (!rotated) {
        for (int i = 0; i < box.h; ++i)
            for (int j = 0; j < box.w; ++j)
                dest[size_t(i) * page_width + j] = grey(box.x + j, box.y + box.h - 1 - i);
    } else {
        for (int n = 0; n < box.w; ++n)
            for (int i = 0; i < box.h; ++i)
                dest[size_t(n) * page_width + i] = grey(box.x + box.w - 1 - n, box.y + box.h - 1 - i);
    }
}
