// The drawing side of the bitmap fonts: a font's page in one GL texture and
// UTF-8 text turned into textured quads.
//
// CGLBitmapFont2::Load reads a font's page files (bitmap_font.h) into a
// texture and a glyph table. The text functions then append vertices and
// indices to caller-owned arrays (Append, or Generate into given memory),
// count the quads a text needs (CountQuads) and measure it (Measure); the
// font draws nothing itself. The caller puts the arrays into buffers and
// draws them with the text shader below (the HUD text block does). Texture
// red is coverage: 0 no ink, 255 full ink.
//
// A vertex is `extra_floats` untouched floats, then s, t, layer (the page
// index) and x, y; indices are 32-bit. The font owns its texture and glyph
// table. Load needs the GL context current (GL thread only); the text
// functions are plain C++ over the glyph table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "font/bitmap_font.h"
#include "font/font_info.h"
#include "gl/gl_object.h"
#include "image/texture.h"

// Sources and attribute binding of the text shader: v_tex (the three texture
// floats, layer ignored) at 0, v_pos at 1; uniforms
// t_modelview_projection_matrix, v_color (vec3) and n_texture_unit (unit 0).
// Colour is (v_color, texture red); draw with source-alpha blending.
extern const char kTextVertexShader[];
extern const char kTextFragmentShader[];
extern const char kTextShaderConfig[];

// What Measure reports, in the units of the scale given to it.
struct TextExtent {
    float last_width = 0;  // pen x at the end of the last line
    float last_y = 0;      // vertical offset of the last line (zero or negative)
    float widest = 0;      // widest line, the last one included
};

class CGLBitmapFont2 {
public:
    // Receives the pages of a font as they are read and puts them into one 2D
    // texture (a texture array of one layer); a font of more pages is refused.
    class CFakeTextureArrayBuilder : public CBitmapFont::CBitmapCallback {
    public:
        // `font` is the font being read: its header sizes the texture.
        CFakeTextureArrayBuilder(const CBitmapFont& font, GLenum format) : internal_format(format), m_font(font) {}
        // Page 0 creates the texture, every page is uploaded at (0, 0), the
        // last one regenerates the mipmaps. Refuses a page count other than 1,
        // a texture the context cannot hold and a page larger than it. Pixels
        // with alpha 0 (the erased metadata area) are uploaded as no ink.
        bool Consume_Page(unsigned index, unsigned page_count, TBitmap* page) override;

        GLenum internal_format;    // texture internal format (the application uses GL_R8)
        bool make_mipmaps = true;  // mipmapped, trilinear minification
        bool exact_size = false;   // false: sizes rounded up to powers of two
        TTexture texture;          // being built; sides powers of two unless exact_size
        uint32_t clear_color = 0;  // fills the texture outside the page: no ink

    private:
        const CBitmapFont& m_font;
    };

    CGLBitmapFont2();
    CGLBitmapFont2(const CGLBitmapFont2&) = delete;
    CGLBitmapFont2& operator=(const CGLBitmapFont2&) = delete;

    // Loads the pages named by `pattern` (e.g. "data/fonts/cmunrm%02u.tga")
    // into a fresh texture and rebuilds the glyph table, every glyph box grown
    // by the font's glyph padding. False when a page cannot be read or
    // uploaded, or the font has more than one page; the font then has no
    // texture and no glyphs. Prints nothing.
    bool Load(const char* pattern, GLenum internal_format);

    // The glyph of a code point (its code field holds the page index), or null.
    const GlyphInfo* Lookup(int32_t code) const;

    // Quads the text may need: exact when the replacement is 32 (the rule
    // after a load), an upper bound otherwise; 0 for invalid UTF-8.
    size_t CountQuads(const char* begin, const char* end) const;
    size_t CountQuads(const char* text) const;

    // Grows both arrays by the text's geometry at pen (x, y) with `scale`;
    // the new indices count from the start of the vertex array, joined to
    // earlier text in strip mode. Nothing to draw succeeds without change;
    // false, arrays unchanged, without a texture or when the text does not
    // fit the 32-bit index range.
    bool Append(std::vector<uint32_t>& indices, std::vector<float>& vertices, const char* begin, const char* end,
                float scale, float x, float y) const;
    bool Append(std::vector<uint32_t>& indices, std::vector<float>& vertices, const char* text, float scale, float x,
                float y) const;

    // Writes the text's geometry into given memory: positions (2 floats) and
    // texture data (3 floats) with byte strides (0: 8 and 12), indices from 0
    // for the first vertex written. The capacities go in as room and come
    // out as what was written. False without a texture, at invalid UTF-8 and
    // when the room runs out; what was written so far is still reported.
    bool Generate(const char* begin, const char* end, float* positions, size_t position_stride, float* texcoords,
                  size_t texcoord_stride, size_t& vertex_capacity, uint32_t* indices, size_t& index_capacity,
                  float scale, float x, float y) const;

    // Extent of the text laid out from (0, 0) with `scale`; invalid UTF-8
    // counts as one space.
    TextExtent Measure(const char* begin, const char* end, float scale) const;
    TextExtent Measure(const char* text, float scale) const;

    const FontInfo& Info() const { return m_info; }        // header of page 0 after a load
    const TTexture& Texture() const { return m_texture; }  // the page texture

    uint32_t primitive_mode = GL_TRIANGLES;  // GL_TRIANGLES or GL_TRIANGLE_STRIP
    uint8_t strip_joining = 0;               // strips: 1 degenerate triangles, 0 restart index
    uint32_t restart_index = 0xFFFF;         // index written for a primitive restart
    int32_t extra_floats = 0;                // untouched floats at the start of every vertex
    // Drawn for a code point without a glyph; 32 (set by Load) means advance
    // a space and draw nothing. Unloaded fonts have 0, so text needs quads
    // that they cannot give.
    int32_t replacement = 0;

private:
    enum class StepKind { kAdvance, kGlyph, kLineFeed };
    struct Step {
        StepKind kind;
        float advance;           // pen advance in scaled units
        const GlyphInfo* glyph;  // for StepKind::kGlyph
    };
    Step Classify(int32_t code, float scale) const;
    bool Strips() const { return primitive_mode == GL_TRIANGLE_STRIP; }
    bool GenerateFrom(uint32_t base, const char* begin, const char* end, float* positions, size_t position_stride,
                      float* texcoords, size_t texcoord_stride, size_t& vertex_capacity, uint32_t* indices,
                      size_t& index_capacity, float scale, float x, float y) const;

    FontInfo m_info = {};
    GlyphInfo m_ascii[128];                 // code -1: empty slot
    std::map<int32_t, GlyphInfo> m_glyphs;  // code points from 128 up
    TTexture m_texture;
};
