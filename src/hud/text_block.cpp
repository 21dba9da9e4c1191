#include "hud/text_block.h"

#include "font/bitmap_font.h"
#include "font/page_cache_check.h"
#include "gl/shader_program.h"
#include "math/matrix4.h"
#include "scene/scene_gl.h"

#include <cstdio>
#include <new>
#include <string>

namespace {

constexpr float kTextColor[3] = {0.3f, 1.0f, 0.4f};
constexpr GLsizei kVertexStride = 5 * sizeof(float);  // texture or position data first, 20 bytes a vertex

}  // namespace

// Uploads interleaved vertices and 32-bit indices into the mesh's buffers,
// attribute 0 three floats at byte 0 and attribute 1 two floats at byte 12
// (the quad's position and texture point, the text's texture data and
// position). Creates the names on first use; the text is remade often.
// False when GL has none.
bool CTextBlock::Mesh::Upload(const std::vector<float>& vertices, const std::vector<uint32_t>& indices)
{
    count = 0;
    for (GLBuffer* buffer : {&vertex_buffer, &index_buffer})
        if (!*buffer)
            buffer->Create();
    if (!vertex_array)
        vertex_array.Create();
    if (!scene::UploadIndexedMesh(vertex_array, vertex_buffer, index_buffer, vertices, indices,
                                  {{0, 3, 0}, {1, 2, 3 * sizeof(float)}}, kVertexStride, GL_DYNAMIC_DRAW))
        return false;
    count = indices.size();
    return true;
}

namespace {

// translation (tx, ty, 0) x scale (sx, sy, 1)
Matrix4 PlaceAndScale(float tx, float ty, float sx, float sy)
{
    Matrix4 m = Matrix4::Identity();
    m[0] = sx;
    m[5] = sy;
    m[12] = tx;
    m[13] = ty;
    return m;
}

}  // namespace

CTextBlock::CTextBlock(float size, float x, float y, const TextBlockFiles& files) : m_x(x), m_y(y), m_size(size)
{
    // The unit square, texture row 0 at the top: (x, y, z, s, t).
    const std::vector<float> quad = {1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0};
    const std::vector<uint32_t> quad_indices = {0, 1, 2, 0, 2, 3};
    m_quad.Upload(quad, quad_indices);

    LoadTexture(files.background, m_background, 0);

    Build_Missing_FontCaches(files.fonts, 2, files.blocks, files.block_count);
    for (size_t i = 0; i < 2; ++i) {
        LoadFont(m_fonts[i], files.fonts[i], files);
        m_fonts[i].primitive_mode = GL_TRIANGLES;
        m_fonts[i].strip_joining = 0;
        m_fonts[i].restart_index = 0xFFFFFFFFu;
    }

    m_background_program.Create();
    // A program that fails has said why; the panel then shows no text.
    if (scene::BuildProgram(m_text_program, kTextVertexShader, kTextFragmentShader, kTextShaderConfig)) {
        m_text_mvp = scene::Uniform(m_text_program, "t_modelview_projection_matrix");
        m_text_unit = scene::Uniform(m_text_program, "n_texture_unit");
        m_text_color = scene::Uniform(m_text_program, "v_color");
        glUseProgram(m_text_program);
        glUniform1i(m_text_unit, 0);
        glUseProgram(0);
    }
}

void CTextBlock::LoadFont(CGLBitmapFont2& font, const TFontCacheSource& source, const TextBlockFiles& files)
{
    if (font.Load(source.page_pattern, GL_R8))
        return;
    // Only a missing page 0 makes the cache check build, so a cache that is
    // broken further in would stay broken on every start.
    if (!Font_Page_Cache_Exists(source.page_pattern))
        return;  // its build failed and has said why
    const std::string why = DescribePageCacheDamage(source.page_pattern);
    if (why.empty()) {
        std::fprintf(stderr, "warning: font pages '%s' read but do not fit one texture; the HUD has no text in them\n",
                     source.page_pattern);
        return;
    }
    std::fprintf(stderr, "warning: font page cache '%s' does not load (%s); rebuilding it\n", source.page_pattern,
                 why.c_str());
    CBitmapFont builder;
    for (size_t b = 0; b < files.block_count; ++b)
        builder.AddBlock(files.blocks[b]);
    CBitmapFont::CBitmapWriter writer(source.page_pattern);
    if (builder.Build(writer, source.font_file))
        font.Load(source.page_pattern, GL_R8);
    else if (!writer.Failure().empty())  // the build explains all but a page it could not write
        std::fprintf(stderr, "error: %s\n", writer.Failure().c_str());
}

float CTextBlock::BackgroundAspect() const
{
    return m_background.height > 0 ? float(m_background.width) / float(m_background.height) : 1.0f;
}

void CTextBlock::SetText(const char* text, float text_size)
{
    m_text.count = 0;
    m_text_width = 0;
    m_text_depth = 0;
    const CGLBitmapFont2& font = m_fonts[0];
    if (!text || !*text || font.CountQuads(text) == 0)
        return;
    const FontInfo& info = font.Info();
    if (info.line_spacing + 10 <= 0)
        return;
    const float k = text_size / float(info.line_spacing + 10);

    m_vertices.clear();
    m_indices.clear();
    if (!font.Append(m_indices, m_vertices, text, k, 0.0f, 0.0f) || m_indices.empty())
        return;
    const TextExtent extent = font.Measure(text, k);
    m_text_width = extent.widest;
    m_text_depth = extent.last_y - float(info.line_spacing - info.neg_descent) * k;

    // Text rows run down from the top of the block: the mesh is drawn with
    // its y flipped.
    const float shift = text_size + float(info.neg_descent - 5) * k;
    for (size_t i = 4; i < m_vertices.size(); i += 5)
        m_vertices[i] = shift - m_vertices[i];
    m_text.Upload(m_vertices, m_indices);
}

void CTextBlock::Draw()
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] <= 0 || viewport[3] <= 0)
        return;
    const float a = BackgroundAspect();
    const float r = float(viewport[3]) / float(viewport[2]);

    const GLboolean blend = glIsEnabled(GL_BLEND), cull = glIsEnabled(GL_CULL_FACE);
    GLint blend_src_rgb = GL_ONE, blend_dst_rgb = GL_ZERO, blend_src_alpha = GL_ONE, blend_dst_alpha = GL_ZERO;
    glGetIntegerv(GL_BLEND_SRC_RGB, &blend_src_rgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &blend_dst_rgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &blend_src_alpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &blend_dst_alpha);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // The panel quad is wound clockwise; with culling on it would vanish.
    glDisable(GL_CULL_FACE);
    glActiveTexture(GL_TEXTURE0);

    if (m_quad.count && m_background_program.Use(PlaceAndScale(m_x, m_y, a * r * m_size, m_size))) {
        glBindTexture(GL_TEXTURE_2D, m_background.name);
        scene::DrawIndexedTriangles(m_quad.vertex_array, uint32_t(m_quad.count));
    }
    if (m_text.count && m_text_program) {
        const Matrix4 mvp = PlaceAndScale(m_x + (a - m_text_width) * 0.5f * m_size * r,
                                          m_y + (1.0f - m_text_depth) * 0.5f * m_size, m_size * r, -m_size);
        glBindTexture(GL_TEXTURE_2D, m_fonts[0].Texture().name);
        glUseProgram(m_text_program);
        scene::SetMatrix(m_text_mvp, mvp);
        glUniform3f(m_text_color, kTextColor[0], kTextColor[1], kTextColor[2]);
        scene::DrawIndexedTriangles(m_text.vertex_array, uint32_t(m_text.count));
    }

    glBlendFuncSeparate(GLenum(blend_src_rgb), GLenum(blend_dst_rgb), GLenum(blend_src_alpha), GLenum(blend_dst_alpha));
    if (!blend)
        glDisable(GL_BLEND);
    if (cull)
        glEnable(GL_CULL_FACE);
}
