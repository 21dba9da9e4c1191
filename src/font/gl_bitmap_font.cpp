// Sections: the text shader; the page texture (CFakeTextureArrayBuilder);
// loading and the glyph table; code point classes; CountQuads, Generate,
// Append; Measure.
#include "font/gl_bitmap_font.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "font/unicode_blocks.h"

// ---------------------------------------------------------------------------
// Text shader
// ---------------------------------------------------------------------------

const char kTextVertexShader[] = R"(precision mediump float;
attribute vec2 v_tex;
attribute vec2 v_pos;
uniform mat4 t_modelview_projection_matrix;
varying vec2 v_texcoord;
void main()
{
    gl_Position = t_modelview_projection_matrix * vec4(v_pos.x, v_pos.y, 0.0, 1.0);
    v_texcoord = v_tex;
}
)";

const char kTextFragmentShader[] = R"(precision mediump float;
uniform vec3 v_color;
uniform sampler2D n_texture_unit;
varying vec2 v_texcoord;
void main()
{
    gl_FragColor = vec4(v_color, texture2D(n_texture_unit, v_texcoord).r);
}
)";

const char kTextShaderConfig[] = "vertex {\n\tv_tex: 0;\n\tv_pos: 1;\n}\n";

namespace {

int RoundUpToPowerOfTwo(int n)
{
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

// Takes every pending error, so none is left for an unrelated caller.
bool DrainGLErrors()
{
    bool failed = false;
    while (glGetError() != GL_NO_ERROR)
        failed = true;
    return failed;
}

// Glyph values beyond this come only from a damaged table; they are dropped
// so that the padding and box arithmetic cannot overflow.
constexpr int32_t kMaxGlyphCoordinate = 1 << 24;

bool PlausibleGlyph(const GlyphInfo& g)
{
    const int32_t values[] = {g.bearing_x, g.bearing_y, g.advance, g.page_x, g.page_y, g.width, g.height};
    for (int32_t v : values)
        if (v < -kMaxGlyphCoordinate || v > kMaxGlyphCoordinate)
            return false;
    return g.width >= 0 && g.height >= 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Page texture
// ---------------------------------------------------------------------------

bool CGLBitmapFont2::CFakeTextureArrayBuilder::Consume_Page(unsigned index, unsigned page_count, TBitmap* page)
{
    if (!page || !page->pixels)
        return false;
    if (index == 0) {
        // One page only: the texture stands in for an array of one layer.
        if (m_font.info.page_count != 1 || page_count != 1)
            return false;
        int width = m_font.info.page_width, height = m_font.info.page_height;
        if (width <= 0 || height <= 0)
            return false;
        if (!exact_size) {
            width = RoundUpToPowerOfTwo(width);
            height = RoundUpToPowerOfTwo(height);
        }
        GLint max_size = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
        if (width > max_size || height > max_size)
            return false;
        DrainGLErrors();
        texture.name.Create();
        if (!texture.name)
            return false;
        texture.target = GL_TEXTURE_2D;
        texture.width = width;
        texture.height = height;
        glBindTexture(GL_TEXTURE_2D, texture.name);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(CGLES20ExtensionHandler::Texture_InternalFormat(internal_format, GL_RGBA)),
                     width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        if (make_mipmaps)
            glGenerateMipmap(GL_TEXTURE_2D);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, make_mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        if (DrainGLErrors()) {
            texture = TTexture();
            return false;
        }
    } else if (!texture.name) {
        return false;
    }
    if (page->width <= 0 || page->height <= 0 || page->width > texture.width || page->height > texture.height)
        return false;

    // Red is coverage. The reader erases the metadata area to transparent
    // white, which would read as full ink; alpha 0 never carries ink.
    const size_t pixel_count = size_t(page->width) * size_t(page->height);
    for (size_t i = 0; i < pixel_count; ++i)
        if ((page->pixels[i] >> 24) == 0)
            page->pixels[i] = 0;

    glBindTexture(GL_TEXTURE_2D, texture.name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (page->width < texture.width || page->height < texture.height) {
        std::vector<uint32_t> fill;
        try {
            fill.assign(size_t(texture.width) * size_t(texture.height), clear_color);
        } catch (const std::bad_alloc&) {
            return false;
        }
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texture.width, texture.height, GL_RGBA, GL_UNSIGNED_BYTE, fill.data());
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, page->width, page->height, GL_RGBA, GL_UNSIGNED_BYTE, page->pixels);
    if (index + 1 == page_count && make_mipmaps)
        glGenerateMipmap(GL_TEXTURE_2D);
    return !DrainGLErrors();
}

// ---------------------------------------------------------------------------
// Loading and the glyph table
// ---------------------------------------------------------------------------

CGLBitmapFont2::CGLBitmapFont2()
{
    for (GlyphInfo& g : m_ascii) {
        g = {};
        g.code = -1;
    }
}

bool CGLBitmapFont2::Load(const char* pattern, GLenum internal_format)
{
    m_texture = TTexture();
    m_info = {};
    for (GlyphInfo& g : m_ascii)
        g.code = -1;
    m_glyphs.clear();
    replacement = 0;

    CBitmapFont font;
    CFakeTextureArrayBuilder builder(font, internal_format);
    if (!CBitmapFont::LoadPages(font, builder, pattern) || !builder.texture.name)
        return false;

    const int32_t p = font.info.glyph_padding;
    try {
        for (size_t k = 0; k < font.pages.size(); ++k) {
            for (const GlyphInfo* source : font.pages[k].glyphs) {
                GlyphInfo g = *source;
                if (!PlausibleGlyph(g))
                    continue;
                const int32_t code = g.code;
                g.code = int32_t(k);
                if (g.width != 0 && g.height != 0) {
                    g.bearing_x -= p;
                    g.bearing_y -= p;
                    g.page_x -= p;
                    g.page_y -= p;
                    g.width += 2 * p;
                    g.height += 2 * p;
                }
                if (code >= 0 && code < 128)
                    m_ascii[code] = g;
                else
                    m_glyphs[code] = g;
            }
        }
    } catch (const std::bad_alloc&) {
        for (GlyphInfo& g : m_ascii)
            g.code = -1;
        m_glyphs.clear();
        return false;
    }
    m_info = font.info;
    m_texture = std::move(builder.texture);
    replacement = 32;
    return true;
}

const GlyphInfo* CGLBitmapFont2::Lookup(int32_t code) const
{
    if (code >= 0 && code < 128)
        return m_ascii[code].code == -1 ? nullptr : &m_ascii[code];
    auto it = m_glyphs.find(code);
    return it == m_glyphs.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------
// Code point classes
// ---------------------------------------------------------------------------

namespace {

bool IsControl(int32_t c)
{
    return c >= 0 && c <= 30;
}

// Format characters, separators and specials that have no ink.
bool IsInvisible(int32_t c)
{
    return (c >= 127 && c <= 160) || (c >= 8203 && c <= 8207) || (c >= 8232 && c <= 8239) || c == 8287 ||
           (c >= 8293 && c <= 8303) || c == 65279 || (c >= 65520 && c <= 65535);
}

bool HasBox(const GlyphInfo* g)
{
    return g && g->width != 0 && g->height != 0;
}

// Steps through UTF-8 text one code point at a time.
class Utf8Cursor {
public:
    Utf8Cursor(const char* begin, const char* end)
        : m_p(reinterpret_cast<const uint8_t*>(begin)), m_end(reinterpret_cast<const uint8_t*>(end))
    {
        if (!begin || !end || end < begin)
            m_p = m_end = nullptr;
    }
    bool Done() const { return m_p >= m_end; }
    // The next code point, or -1 for an invalid sequence (skipped).
    int32_t Next()
    {
        int consumed = 1;
        const int32_t code = Decode_UTF8(m_p, size_t(m_end - m_p), consumed);
        m_p += std::max(consumed, 1);
        return code;
    }

private:
    const uint8_t* m_p;
    const uint8_t* m_end;
};

const char* TextEnd(const char* text)
{
    return text ? text + std::strlen(text) : nullptr;
}

}  // namespace

CGLBitmapFont2::Step CGLBitmapFont2::Classify(int32_t code, float scale) const
{
    const float space = float(m_info.space_advance) * scale;
    if (code == 10)
        return {StepKind::kLineFeed, 0.0f, nullptr};
    if (code == 9)
        return {StepKind::kAdvance, 4.0f * space, nullptr};
    if (IsControl(code) || code == 32 || IsInvisible(code))
        return {StepKind::kAdvance, space, nullptr};
    const GlyphInfo* g = Lookup(code);
    if (!g) {
        if (replacement == 32)
            return {StepKind::kAdvance, space, nullptr};
        g = Lookup(replacement);
        if (!g)
            return {StepKind::kAdvance, 0.0f, nullptr};
    }
    if (!HasBox(g))
        return {StepKind::kAdvance, 0.0f, nullptr};
    return {StepKind::kGlyph, float(g->advance) * scale, g};
}

// ---------------------------------------------------------------------------
// CountQuads, Generate, Append
// ---------------------------------------------------------------------------

size_t CGLBitmapFont2::CountQuads(const char* begin, const char* end) const
{
    size_t quads = 0;
    for (Utf8Cursor cursor(begin, end); !cursor.Done();) {
        const int32_t code = cursor.Next();
        if (code < 0)
            return 0;
        if (IsControl(code) || code == 32 || IsInvisible(code))
            continue;
        if (replacement != 32 || HasBox(Lookup(code)))
            ++quads;
    }
    return quads;
}

size_t CGLBitmapFont2::CountQuads(const char* text) const
{
    return CountQuads(text, TextEnd(text));
}

bool CGLBitmapFont2::Generate(const char* begin, const char* end, float* positions, size_t position_stride,
                              float* texcoords, size_t texcoord_stride, size_t& vertex_capacity, uint32_t* indices,
                              size_t& index_capacity, float scale, float x, float y) const
{
    return GenerateFrom(0, begin, end, positions, position_stride, texcoords, texcoord_stride, vertex_capacity, indices,
                        index_capacity, scale, x, y);
}

bool CGLBitmapFont2::GenerateFrom(uint32_t base, const char* begin, const char* end, float* positions,
                                  size_t position_stride, float* texcoords, size_t texcoord_stride,
                                  size_t& vertex_capacity, uint32_t* indices, size_t& index_capacity, float scale,
                                  float x, float y) const
{
    const size_t vertex_room = vertex_capacity, index_room = index_capacity;
    vertex_capacity = 0;
    index_capacity = 0;
    if (!m_texture.name)
        return false;
    if (position_stride == 0)
        position_stride = 2 * sizeof(float);
    if (texcoord_stride == 0)
        texcoord_stride = 3 * sizeof(float);

    const bool strips = Strips();
    const bool degenerate = strips && strip_joining != 0;
    const size_t join = strips ? (degenerate ? 2 : 1) : 0;
    size_t max_quads = vertex_room / 4;
    if (!strips)
        max_quads = std::min(max_quads, index_room / 6);
    else
        max_quads = std::min(max_quads, index_room < 4 ? size_t(0) : (index_room - 4) / (4 + join) + 1);

    const float tw = float(m_texture.width), th = float(m_texture.height);
    const float line_step = float(m_info.line_spacing) * scale;
    char* pos_bytes = reinterpret_cast<char*>(positions);
    char* tex_bytes = reinterpret_cast<char*>(texcoords);
    size_t quads = 0, written = 0;
    size_t line_quads = 0;  // quads since the last line feed: strip parity
    float pen_x = x, pen_y = y;

    for (Utf8Cursor cursor(begin, end); !cursor.Done();) {
        const int32_t code = cursor.Next();
        if (code < 0)
            return false;
        const Step step = Classify(code, scale);
        if (step.kind == StepKind::kLineFeed) {
            pen_x = x;
            pen_y -= line_step;
            line_quads = 0;
            continue;
        }
        if (step.kind == StepKind::kAdvance) {
            pen_x += step.advance;
            continue;
        }
        if (quads == max_quads)
            return false;

        const GlyphInfo& g = *step.glyph;
        float x0 = pen_x + scale * float(g.bearing_x), x1 = pen_x + scale * float(g.bearing_x + g.width);
        float y0 = pen_y + scale * float(g.bearing_y), y1 = pen_y + scale * float(g.bearing_y + g.height);
        float cl = float(g.page_x), rt = float(g.page_y);
        float cr = float(g.page_x + (g.rotated ? g.height : g.width));
        float rb = float(g.page_y + (g.rotated ? g.width : g.height));
        const bool mirrored = degenerate && (line_quads & 1) != 0;
        if (mirrored) {
            std::swap(y0, y1);
            if (g.rotated)
                std::swap(cl, cr);
            else
                std::swap(rt, rb);
        }
        const float screen[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        float page[4][2];
        if (g.rotated) {
            const float p[4][2] = {{cr, rb}, {cr, rt}, {cl, rt}, {cl, rb}};
            std::memcpy(page, p, sizeof page);
        } else {
            const float p[4][2] = {{cl, rb}, {cr, rb}, {cr, rt}, {cl, rt}};
            std::memcpy(page, p, sizeof page);
        }
        const float layer = float(g.code);
        for (int v = 0; v < 4; ++v) {
            const size_t n = quads * 4 + size_t(v);
            float* pv = reinterpret_cast<float*>(pos_bytes + n * position_stride);
            pv[0] = screen[v][0];
            pv[1] = screen[v][1];
            float* tv = reinterpret_cast<float*>(tex_bytes + n * texcoord_stride);
            tv[0] = page[v][0] / tw;
            tv[1] = page[v][1] / th;
            tv[2] = layer;
        }

        const uint32_t b = base + uint32_t(quads * 4);
        if (!strips) {
            const uint32_t q[6] = {b, b + 1, b + 2, b, b + 2, b + 3};
            std::memcpy(indices + written, q, sizeof q);
            written += 6;
        } else {
            if (quads > 0) {
                if (degenerate) {
                    indices[written++] = b - 4 + 1;  // last index of the previous quad
                    indices[written++] = b + 3;
                } else {
                    indices[written++] = restart_index;
                }
            }
            const uint32_t q[4] = {b + 3, mirrored ? b + 2 : b, mirrored ? b : b + 2, b + 1};
            std::memcpy(indices + written, q, sizeof q);
            written += 4;
        }
        ++quads;
        ++line_quads;
        vertex_capacity = quads * 4;
        index_capacity = written;
        pen_x += step.advance;
    }
    return true;
}

bool CGLBitmapFont2::Append(std::vector<uint32_t>& indices, std::vector<float>& vertices, const char* begin,
                            const char* end, float scale, float x, float y) const
{
    const size_t quads = CountQuads(begin, end);
    if (quads == 0)
        return true;
    if (!m_texture.name || extra_floats < 0)
        return false;
    const size_t floats_per_vertex = 5 + size_t(extra_floats);
    if (vertices.size() % floats_per_vertex != 0)
        return false;  // the indices would point between vertices
    const size_t first_vertex = vertices.size() / floats_per_vertex;
    if (first_vertex + quads * 4 > std::numeric_limits<uint32_t>::max())
        return false;

    const bool strips = Strips();
    const bool degenerate = strips && strip_joining != 0;
    const size_t per_join = degenerate ? 2 : 1;
    const size_t lead_join = strips && !indices.empty() ? per_join : 0;
    const size_t new_indices = strips ? lead_join + 4 * quads + per_join * (quads - 1) : 6 * quads;

    const size_t old_vertex_floats = vertices.size(), old_indices = indices.size();
    try {
        vertices.resize(old_vertex_floats + quads * 4 * floats_per_vertex);
        indices.resize(old_indices + new_indices);
    } catch (const std::bad_alloc&) {
        vertices.resize(old_vertex_floats);
        indices.resize(old_indices);
        return false;
    }

    const uint32_t base = uint32_t(first_vertex);
    uint32_t* out = indices.data() + old_indices;
    if (lead_join == 1) {
        *out++ = restart_index;
    } else if (lead_join == 2) {
        // The earlier text's last index, then the first index of the new strip
        // (b + 3): both triangles in between have two equal corners.
        out[0] = indices[old_indices - 1];
        out[1] = base + 3;
        out += 2;
    }
    float* first = vertices.data() + old_vertex_floats + size_t(extra_floats);
    const size_t stride = floats_per_vertex * sizeof(float);
    size_t vertex_count = quads * 4;
    size_t index_count = new_indices - lead_join;
    const bool ok =
        GenerateFrom(base, begin, end, first + 3, stride, first, stride, vertex_count, out, index_count, scale, x, y);
    // Generate may write fewer quads than counted (an upper bound without
    // the space replacement); the arrays keep only what was written.
    vertices.resize(old_vertex_floats + vertex_count * floats_per_vertex);
    indices.resize(vertex_count == 0 ? old_indices : old_indices + lead_join + index_count);
    if (!ok) {
        vertices.resize(old_vertex_floats);
        indices.resize(old_indices);
    }
    return ok;
}

bool CGLBitmapFont2::Append(std::vector<uint32_t>& indices, std::vector<float>& vertices, const char* text, float scale,
                            float x, float y) const
{
    return Append(indices, vertices, text, TextEnd(text), scale, x, y);
}

// ---------------------------------------------------------------------------
// Measure
// ---------------------------------------------------------------------------

TextExtent CGLBitmapFont2::Measure(const char* begin, const char* end, float scale) const
{
    TextExtent extent;
    const float space = float(m_info.space_advance) * scale;
    const float line_step = float(m_info.line_spacing) * scale;
    float x = 0.0f;
    for (Utf8Cursor cursor(begin, end); !cursor.Done();) {
        const int32_t code = cursor.Next();
        if (code < 0) {
            x += space;
            continue;
        }
        const Step step = Classify(code, scale);
        if (step.kind == StepKind::kLineFeed) {
            extent.widest = std::max(extent.widest, x);
            x = 0.0f;
            extent.last_y -= line_step;
        } else {
            x += step.advance;
        }
    }
    extent.last_width = x;
    extent.widest = std::max(extent.widest, x);
    return extent;
}

TextExtent CGLBitmapFont2::Measure(const char* text, float scale) const
{
    return Measure(text, TextEnd(text), scale);
}
