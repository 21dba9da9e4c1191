// The on-screen text panel: a textured background rectangle in normalised
// device coordinates with a block of text centred on it.
//
// The application owns one as its HUD panel: it builds it after the frame
// clock, sets the status text every frame and draws it last, over the scene
// (hud_text.h formats the text). Construction runs the font page cache
// check, builds the caches that are missing, rebuilds one whose page 0
// exists but that does not load (one "warning: " line says why), and loads
// both fonts; all text is laid out and drawn with the first. The block owns
// its fonts, programs, background texture and meshes. Nothing here fails
// loudly: a font that did not load gives no text, a missing background a
// plain panel. GL thread only.
#pragma once

#include <cstddef>
#include <vector>

#include "font/font_cache.h"
#include "font/gl_bitmap_font.h"
#include "gl/gl_object.h"
#include "image/texture.h"
#include "math/matrix4.h"
#include "scene/textured_program.h"

// Where a text block finds its files; the defaults are the application's.
struct TextBlockFiles {
    const char* background = "gui_bk_alpha.png";    // panel texture
    const TFontCacheSource* fonts = g_hud_fonts;    // two fonts: pages and source font
    const char* const* blocks = g_hud_font_blocks;  // Unicode blocks of a font build
    size_t block_count = sizeof g_hud_font_blocks / sizeof g_hud_font_blocks[0];
};

// translation (tx, ty, 0) x scale (sx, sy, 1): a unit square placed as a
// rectangle in normalised device coordinates, for panels and overlays.
Matrix4 PlaceAndScale(float tx, float ty, float sx, float sy);

class CTextBlock {
public:
    // Panel of height `size` with its lower left corner at (x, y), both in
    // normalised device coordinates (the application passes 0.5, -0.9, -1.0).
    CTextBlock(float size, float x, float y, const TextBlockFiles& files = TextBlockFiles());
    CTextBlock(const CTextBlock&) = delete;
    CTextBlock& operator=(const CTextBlock&) = delete;

    // Replaces the text (UTF-8, lines split at line feeds) with one of
    // `text_size` panel heights per line and a bit; null, empty or inkless
    // text leaves only the panel.
    void SetText(const char* text, float text_size);
    // Draws panel and text for the current viewport, with blending; culling
    // is off while it draws. Restores the blend and cull state it changed.
    void Draw();
    // One line of text in the first font, without the panel, over whatever
    // is drawn: left edge at x, centred in the band of `height` above y (all
    // normalised device coordinates), `text_size` band heights per line.
    // For overlays beside the panel, such as the timeline bar.
    void DrawLabel(const char* text, float x, float y, float height, float text_size, const float colour[3]);

    const CGLBitmapFont2& Font(size_t i) const { return m_fonts[i]; }  // 0: the text font, 1: kept
    float TextWidth() const { return m_text_width; }                   // widest line, panel heights
    float TextDepth() const { return m_text_depth; }                   // zero or negative, panel heights
    size_t TextIndexCount() const { return m_text.count; }             // 0: no text mesh
    float BackgroundAspect() const;                                    // width / height of the panel texture
    const TTexture& Background() const { return m_background; }        // its `loaded` says why it is a placeholder

private:
    struct Mesh {
        GLBuffer vertex_buffer, index_buffer;
        GLVertexArray vertex_array;
        size_t count = 0;  // indices; 0 draws nothing

        bool Upload(const std::vector<float>& vertices, const std::vector<uint32_t>& indices);
    };

    void LoadFont(CGLBitmapFont2& font, const TFontCacheSource& source, const TextBlockFiles& files);
    // Lays out `text` into `mesh` (SetText's layout) and measures it.
    void BuildText(Mesh& mesh, const char* text, float text_size, float& width, float& depth);
    // The mesh in the text program with `mvp` and `colour`; nothing without either.
    void DrawMesh(const Mesh& mesh, const Matrix4& mvp, const float colour[3]) const;

    float m_x, m_y, m_size;
    Mesh m_quad;
    TTexture m_background;
    CTexturedProgram m_background_program;
    GLProgram m_text_program;
    GLint m_text_mvp = -1, m_text_unit = -1, m_text_color = -1;
    Mesh m_text;
    Mesh m_label;  // DrawLabel's line, remade on each call
    CGLBitmapFont2 m_fonts[2];
    float m_text_width = 0, m_text_depth = 0;
    std::vector<float> m_vertices;  // scratch for SetText, kept to spare allocations
    std::vector<uint32_t> m_indices;
};
