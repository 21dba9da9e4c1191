#include "scene/sky_dome.h"

#include "mesh/processing.h"
#include "scene/scene_gl.h"

#include <cmath>
#include <vector>

namespace {

constexpr char kSkyVertexShader[] = R"(precision mediump float;
attribute vec3 v_pos;
attribute vec3 v_col;
attribute vec2 v_tex;
uniform mat4 t_mvp;
varying vec2 v_texcoord;
varying vec3 v_color;
varying float f_height;
void main()
{
    gl_Position = t_mvp * vec4(v_pos, 1.0);
    v_texcoord = v_tex;
    v_color = v_col;
    f_height = v_pos.y;
}
)";

// Two cloud layers from the same texture, scrolled at different speeds and
// tinted by the sky; below water everything up to height 1 is fog.
constexpr char kSkyFragmentShader[] = R"(precision mediump float;
uniform float f_time;
uniform float f_uw;
uniform sampler2D n_tex;
varying vec2 v_texcoord;
varying vec3 v_color;
varying float f_height;
void main()
{
    vec3 sky = v_color;
    vec3 c1 = texture2D(n_tex, v_texcoord + vec2(0.05, 0.033) * f_time).rgb * v_color;
    sky = sky * (1.0 - c1) + c1;
    vec3 c2 = texture2D(n_tex, v_texcoord + vec2(0.092, 0.07) * f_time).rgb * v_color;
    sky = sky * (1.0 - c2) + c2;
    gl_FragColor = mix(vec4(sky, 1.0), vec4(0.12, 0.2, 0.5, 1.0), f_uw * step(f_height, 1.0));
}
)";

constexpr char kSkyConfig[] = "vertex {\n\tv_pos: 0;\n\tv_col: 1;\n\tv_tex: 2;\n}\n";

constexpr int kRings = 11, kRingVertices = 20;

}  // namespace

bool CSkyDome::BuildMesh(CPolyMesh& mesh, const Vector3& zenith, const Vector3& horizon, float vertical_radius,
                         float horizontal_radius)
{
    if (!mesh.Resize(1 + kRings * kRingVertices, kRingVertices + 2 * (kRings - 1) * kRingVertices))
        return false;
    const auto set_colour = [](mesh::_TyVertex& v, const Vector3& c) {
        v.color[0] = c.x, v.color[1] = c.y, v.color[2] = c.z, v.color[3] = 1;
    };
    mesh::_TyVertex& apex = mesh.Vertex(0);
    apex = mesh::MakeVertex(0, vertical_radius, 0);
    set_colour(apex, zenith);
    apex.SetTexCoord(0, 0);
    for (int j = 0; j < kRings; ++j) {
        // The last rings lie below the horizon, so no gap shows at the rim.
        const float theta = (0.1f + 1.8849556f * float(j)) / 10;
        const float r = horizontal_radius * std::sin(theta), y = vertical_radius * std::cos(theta);
        const float w = std::exp(y / vertical_radius) / 2.8f;
        const Vector3 colour = horizon + (zenith - horizon) * w;
        for (int k = 0; k < kRingVertices; ++k) {
            const float phi = 2 * 3.14159265f * float(k) / kRingVertices;
            const float x = r * std::sin(phi), z = r * std::cos(phi);
            mesh::_TyVertex& v = mesh.Vertex(size_t(1 + kRingVertices * j + k));
            v = mesh::MakeVertex(x, y, z);
            set_colour(v, colour);
            v.SetTexCoord(x / horizontal_radius, z / horizontal_radius);
        }
    }
    size_t polygon = 0;
    const auto triangle = [&](size_t a, size_t b, size_t c) {
        mesh.Polygon(polygon++).vertices = {mesh.Ref(a), mesh.Ref(b), mesh.Ref(c)};
    };
    for (size_t k = 1; k <= kRingVertices; ++k)
        triangle(0, 1 + k % kRingVertices, k);
    for (size_t j = 0; j + 1 < kRings; ++j)
        for (size_t k = 0; k < kRingVertices; ++k) {
            const size_t c = 1 + kRingVertices * j + k, n = 1 + kRingVertices * j + (k + 1) % kRingVertices;
            triangle(c, n, n + kRingVertices);
            triangle(c, n + kRingVertices, c + kRingVertices);
        }
    return true;
}

CSkyDome::CSkyDome(const Vector3& zenith, const Vector3& horizon, float vertical_radius, float horizontal_radius)
{
    m_vertex_buffer.Create();
    m_index_buffer.Create();
    m_vertex_array.Create();
    scene::LoadSceneTexture("clouds.png", m_texture);

    std::vector<float> floats;
    std::vector<uint32_t> indices;
    {
        CPolyMesh dome;
        if (!BuildMesh(dome, zenith, horizon, vertical_radius, horizontal_radius) ||
            !mesh::ExportArrays(dome, false, true, floats, indices))
            return;
    }
    // Position, colour r g b (the alpha is skipped), texture s t.
    if (!scene::UploadIndexedMesh(m_vertex_array, m_vertex_buffer, m_index_buffer, floats, indices,
                                  {{0, 3, 0}, {1, 3, 12}, {2, 2, 28}}, 36))
        return;

    if (!scene::BuildProgram(m_program, kSkyVertexShader, kSkyFragmentShader, kSkyConfig))
        return;
    t_mvp = scene::Uniform(m_program, "t_mvp");
    f_time = scene::Uniform(m_program, "f_time");
    f_uw = scene::Uniform(m_program, "f_uw");
    n_tex = scene::Uniform(m_program, "n_tex");
    glUseProgram(m_program);
    glUniform1i(n_tex, 0);
    indexCount = uint32_t(indices.size());
}

void CSkyDome::DrawAbove(const Matrix4& mvp, float time) const
{
    Draw(mvp, time, 0);
}

void CSkyDome::DrawBelow(const Matrix4& mvp, float time) const
{
    Draw(mvp, time, 1);
}

void CSkyDome::Draw(const Matrix4& mvp, float time, float underwater) const
{
    if (indexCount == 0)
        return;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(m_texture.target, m_texture.name);
    glUseProgram(m_program);
    scene::SetMatrix(t_mvp, mvp);
    glUniform1f(f_time, time * 0.2f);
    glUniform1f(f_uw, underwater);
    scene::DrawIndexedTriangles(m_vertex_array, indexCount);
}
