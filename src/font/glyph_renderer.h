// Glyph rasteriser for font builds, on FreeType and fontconfig.
//
// The font build (CBitmapFont::Build) opens a font file or a family name with
// Start, rasterises every wanted code point twice (once to measure, once to
// draw into a page) and releases everything with Stop. The numbers follow the
// Windows GDI conventions the font format was made with: a 48-pixel character
// (em) height, GDI's eight text metrics, a 32-bit bottom-up drawing surface
// with the top of the character cell at (W / 2, H - H / 2), the ink box found
// by scanning it, and grey levels copied into the page. Owns the FreeType
// library and face and the drawing surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "font/font_info.h"

// The eight text metrics, in the order the build copies them into FontInfo.
struct TFontMetrics {
    int32_t ascent;            // cell top to baseline
    int32_t neg_descent;       // minus the cell part below the baseline
    int32_t cell_height;       // ascent + descent
    int32_t internal_leading;  // cell height - em height
    int32_t external_leading;  // extra line gap, as GDI derives it from the line gap
    int32_t space_advance;     // width of the extent of " "
    int32_t x_extent;          // height of the extent of "x" (GDI reports the cell height)
    int32_t line_spacing;      // cell height + external leading
};

// Ink rectangle on the surface: left column, bottom-most buffer row, size.
struct TInkBox {
    int x, y, w, h;
};

// How Start went.
enum class RendererStart {
    kOk,          // usable
    kCannotOpen,  // an empty name, or a path that names no readable font file (OpenFailure says why)
    kNotOneFace,  // a font file with no face or several (a collection)
    kNoMatch,     // fontconfig has no font at all for the family name
    kFailed,      // the face could not be sized or measured, or no surface
};

class CGlyphRenderer {
public:
    CGlyphRenderer();
    ~CGlyphRenderer();
    CGlyphRenderer(const CGlyphRenderer &) = delete;
    CGlyphRenderer &operator=(const CGlyphRenderer &) = delete;

    // Opens a font file (IsFontPath; it must hold exactly one face) or else
    // a family looked up through fontconfig, at the given em height in pixels.
    // Check Usable() or StartStatus() afterwards.
    void Start(const char *font, int pixel_height, int weight, bool italic, bool underline);
    // True when the start found a font and made the surface.
    bool Usable() const;
    RendererStart StartStatus() const { return m_status; }  // why the last start failed, or ok
    // Why a font file could not be opened ("not a regular file", the system's
    // reason, "not a font file"); empty for an empty name or another failure.
    const std::string &OpenFailure() const { return m_open_failure; }
    // True when a family name was asked for and fontconfig gave another family.
    bool Substituted() const { return m_substituted; }
    const std::string &File() const { return m_file; }  // font file in use, also for a family

    // A name is a font file path when it contains a '/' or ends in a font file
    // extension (.otf, .ttf, .ttc, .otc, .pfa, .pfb, .woff, .woff2, any case);
    // every other name is a family name. Family names contain neither, and a
    // path is never silently replaced by a fallback family.
    static bool IsFontPath(const char *name);
    // Draws one code point and measures its ink; false for surrogates, values
    // above 0x10FFFF and when the surface cannot grow. An empty box means no ink.
    bool Rasterise(int32_t code, GlyphInfo &info, TInkBox &box);
    // Copies the ink box of the last Rasterise into a page of page_width words,
    // dest pointing at (page_x, page_y); turned by a quarter turn when rotated.
    void Copy(uint32_t *dest, bool rotated, int page_width, const TInkBox &box) const;
    // Releases the face, the library and the surface.
    void Stop();

    const TFontMetrics &Metrics() const { return m_metrics; }  // valid after a usable start
    const std::string &Family() const { return m_family; }      // family name of the face
    int Surface_Width() const { return m_width; }              // current surface size
    int Surface_Height() const { return m_height; }

    // Counts the faces of a font file and lists their family names (sorted,
    // unique); -1 when the file is not a font, with the cause in `why`. Only
    // a regular file is read (a FIFO is refused, never waited on), whole, and
    // FreeType reads the face from memory.
    static int Install(const char *path, std::vector<std::string> &families, std::string *why = nullptr);

private:
    struct Impl;
    // Clears the surface, the metrics and names and the start status; Stop
    // releases the face and then calls it.
    void Forget_Face();
    bool Make_Surface(int width, int height);
    bool Draw(int32_t code, int &advance);
    bool Measure_Font();

    Impl *m_impl;
    std::vector<uint32_t> m_surface;  // bottom-up, bytes blue, green, red, unused
    int m_width = 0, m_height = 0;
    // Buffer rectangle [x0, x1) x [y0, y1) that the last drawing touched; the
    // rest of the surface is zero, so clearing and the ink scan stay inside it.
    int m_drawn_x0 = 0, m_drawn_x1 = 0, m_drawn_y0 = 0, m_drawn_y1 = 0;
    TFontMetrics m_metrics = {};
    std::string m_family;
    std::string m_path;
    std::string m_file;
    std::string m_open_failure;
    RendererStart m_status = RendererStart::kFailed;
    bool m_substituted = false;
    int m_pixel_height = 0;
    int m_weight = 400;
    bool m_italic = false, m_underline = false;
};
