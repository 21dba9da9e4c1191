#include "hud/text_block.h"

#include "core/report.h"
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

// Blending with source alpha and no culling (the panel quad is wound
// clockwise) while an overlay draws; the blend and cull state as it was
// afterwards.
class OverlayState {
public:
    OverlayState() : m_blend(glIsEnabled(GL_BLEND)), m_cull(glIsEnabled(GL_CULL_FACE))
    {
        glGetIntegerv(GL_BLEND_SRC_RGB, &m_src_rgb);
        glGetIntegerv(GL_BLEND_DST_RGB, &m_dst_rgb);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &m_src_alpha);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &m_dst_alpha);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_CULL_FACE);
        glActiveTexture(GL_TEXTURE0);
    }
    ~OverlayState()
    {
        glBlendFuncSeparate(GLenum(m_src_rgb), GLenum(m_dst_rgb), GLenum(m_src_alpha), GLenum(m_dst_alpha));
        if (!m_blend)
            glDisable(GL_BLEND);
        if (m_cull)
            glEnable(GL_CULL_FACE);
    }
    OverlayState(const OverlayState&) = delete;
    OverlayState& operator=(const OverlayState&) = delete;

private:
    GLboolean m_blend, m_cull;
    GLint m_src_rgb = GL_ONE, m_dst_rgb = GL_ZERO, m_src_alpha = GL_ONE, m_dst_alpha = GL_ZERO;
};

}  // namespace

Matrix4 PlaceAndScale(float tx, float ty, float sx, float sy)
{
    Matrix4 m = Matrix4::Identity();
    m[0] = sx;
    m[5] = sy;
    m[12] = tx;
    m[13] = ty;
    return m;
}

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
        PrintWarning(FormatText("font pages '%s' read but do not fit one texture; the HUD has no text in them",
                                source.page_pattern));
        return;
    }
    PrintWarning(
        FormatText("font page cache '%s' does not load (%s); rebuilding it", source.page_pattern, why.c_str()));
    CBitmapFont builder;
    for (size_t b = 0; b < files.block_count; ++b)
        builder.AddBlock(files.blocks[b]);
    CBitmapFont::CBitmapWriter writer(source.page_pattern);
    if (builder.Build(writer, source.font_file))
        font.Load(source.page_pattern, GL_R8);
    else if (!writer.Failure().empty())  // the build explains all but a page it could not write
        PrintError(writer.Failure());
}

float CTextBlock::BackgroundAspect() const
{
    return m_background.height > 0 ? float(m_background.width) / float(m_background.height) : 1.0f;
}

void CTextBlock::SetText(const char* text, float text_size)
{
    BuildText(m_text, text, text_size, m_text_width, m_text_depth);
}

void CTextBlock::BuildText(Mesh& mesh, const char* text, float text_size, float& width, float& depth)
{
    mesh.count = 0;
    width = 0;
    depth = 0;
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
    width = extent.widest;
    depth = extent.last_y - float(info.line_spacing - info.neg_descent) * k;

    // Text rows run down from the top of the block: the mesh is drawn with
    // its y flipped.
    const float shift = text_size + float(info.neg_descent - 5) * k;
    for (size_t i = 4; i < m_vertices.size(); i += 5)
        m_vertices[i] = shift - m_vertices[i];
    mesh.Upload(m_vertices, m_indices);
}

void CTextBlock::Draw()
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] <= 0 || viewport[3] <= 0)
        return;
    const float a = BackgroundAspect();
    const float r = float(viewport[3]) / float(viewport[2]);

    const OverlayState overlay;

    if (m_quad.count && m_background_program.Use(PlaceAndScale(m_x, m_y, a * r * m_size, m_size))) {
        glBindTexture(GL_TEXTURE_2D, m_background.name);
        scene::DrawIndexedTriangles(m_quad.vertex_array, uint32_t(m_quad.count));
    }
    DrawMesh(m_text, PlaceAndScale(m_x + (a - m_text_width) * 0.5f * m_size * r,
                                   m_y + (1.0f - m_text_depth) * 0.5f * m_size, m_size * r, -m_size),
             kTextColor);
}

void CTextBlock::DrawMesh(const Mesh& mesh, const Matrix4& mvp, const float colour[3]) const
{
    if (!mesh.count || !m_text_program)
        return;
    glBindTexture(GL_TEXTURE_2D, m_fonts[0].Texture().name);
    glUseProgram(m_text_program);
    scene::SetMatrix(m_text_mvp, mvp);
    glUniform3f(m_text_color, colour[0], colour[1], colour[2]);
    scene::DrawIndexedTriangles(mesh.vertex_array, uint32_t(mesh.count));
}

void CTextBlock::DrawLabel(const char* text, float x, float y, float height, float text_size, const float colour[3])
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] <= 0 || viewport[3] <= 0)
        return;
    float width = 0, depth = 0;
    BuildText(m_label, text, text_size, width, depth);
    const float r = float(viewport[3]) / float(viewport[2]);
    const OverlayState overlay;
    // Placed as Draw places the panel's text, in a band of `height` instead
    // of the panel, from its left edge.
    DrawMesh(m_label, PlaceAndScale(x, y + (1.0f - depth) * 0.5f * height, height * r, -height), colour);
}
