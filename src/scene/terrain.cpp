#include "scene/terrain.h"

#include "mesh/primitives.h"
#include "mesh/processing.h"
#include "scene/scene_gl.h"
#include "scene/terrain_tables.h"

#include <vector>

namespace {

constexpr char kTerrainConfig[] = "vertex {\n\tv_pos: 0;\n\tv_tex: 1;\n}\n";

// Seen from above: the deeper below the surface, the more fog.
constexpr char kTerrainAboveVertexShader[] = R"(precision mediump float;
attribute vec3 v_pos;
attribute vec2 v_tex;
uniform mat4 t_mvp;
varying vec2 v_texcoord;
varying vec3 v_world;
void main()
{
    gl_Position = t_mvp * vec4(v_pos, 1.0);
    v_texcoord = v_tex;
    v_world = v_pos;
}
)";

constexpr char kTerrainAboveFragmentShader[] = R"(precision mediump float;
uniform sampler2D n_tex;
varying vec2 v_texcoord;
varying vec3 v_world;
void main()
{
    gl_FragColor = mix(texture2D(n_tex, v_texcoord), vec4(0.12, 0.2, 0.5, 1.0),
                       smoothstep(0.1, 30.0, -v_world.y));
}
)";

// Seen from below: what is under water fades with its distance from the eye.
constexpr char kTerrainBelowVertexShader[] = R"(precision mediump float;
attribute vec3 v_pos;
attribute vec2 v_tex;
uniform mat4 t_mvp;
uniform mat4 t_mv;
varying vec2 v_texcoord;
varying vec4 v_world;
varying vec3 v_view;
void main()
{
    gl_Position = t_mvp * vec4(v_pos, 1.0);
    v_texcoord = v_tex;
    v_world = vec4(v_pos, 1.0);
    v_view = -(t_mv * vec4(v_pos, 1.0)).xyz;
}
)";

constexpr char kTerrainBelowFragmentShader[] = R"(precision mediump float;
uniform sampler2D n_tex;
varying vec2 v_texcoord;
varying vec4 v_world;
varying vec3 v_view;
void main()
{
    gl_FragColor = mix(texture2D(n_tex, v_texcoord), vec4(0.12, 0.2, 0.5, 1.0),
                       step(v_world.y, 0.01) * smoothstep(0.1, 30.0, length(v_view)));
}
)";

constexpr float kFloorHeight = -1.11f;
constexpr float kFloorHalfSize = 500;
constexpr float kFloorTexel = 0.82f;  // one sand-coloured texel of the lightmap
constexpr Vector3 kPitCentre(0, 0, -10);
constexpr float kPitRadius = 15, kPitSlope = 5;

}  // namespace

bool CTerrain::BuildMesh(CPolyMesh& mesh)
{
    CPolyMesh terrain;
    if (!terrain.Resize(3 * size_t(kTerrainTriangleCount), size_t(kTerrainTriangleCount)))
        return false;
    for (int k = 0; k < kTerrainTriangleCount; ++k) {
        for (int corner = 0; corner < 3; ++corner) {
            // Corners reversed: the tables wind the other way round.
            const uint16_t a = kTerrainPositionTriangles[k][2 - corner];
            const uint16_t b = kTerrainTexTriangles[k][2 - corner];
            if (a >= kTerrainPositionCount || b >= kTerrainTexCoordCount)
                return false;
            const float* p = kTerrainPositions[a];
            // The tables have Z up; the scene has y up.
            mesh::_TyVertex& v = terrain.Vertex(size_t(3 * k + corner));
            v = mesh::MakeVertex(p[0] * 0.1f + 10, p[2] * 0.1f, p[1] * 0.1f + 20);
            v.SetTexCoord(kTerrainTexCoords[b][0], 1 - kTerrainTexCoords[b][1]);
        }
        const size_t first = 3 * size_t(k);
        terrain.Polygon(size_t(k)).vertices = {terrain.Ref(first), terrain.Ref(first + 1), terrain.Ref(first + 2)};
    }

    CPolyMesh floor;
    if (!mesh::MakeGrid(floor))
        return false;
    floor.Transform(Matrix4::Translation(0, kFloorHeight, 0) * Matrix4::Scale(kFloorHalfSize));
    for (size_t i = 0; i < floor.VertexCount(); ++i) {
        mesh::_TyVertex& v = floor.Vertex(i);
        v.texcoord[0][0] = kFloorTexel, v.texcoord[0][1] = kFloorTexel;
        v.texcoord[0][2] = 0, v.texcoord[0][3] = 1;
        const float d = (v.Position() - kPitCentre).Length();
        if (d < kPitRadius)
            v.position[1] -= (kPitRadius - d) * kPitSlope;
    }
    if (!mesh::Triangulate(floor) || !terrain.Append(floor))
        return false;
    mesh.Swap(terrain);
    return true;
}

CTerrain::CTerrain()
{
    m_vertex_buffer.Create();
    m_index_buffer.Create();
    m_vertex_array.Create();
    LoadTexture("lightmap.png", m_texture, GL_RGB);

    std::vector<float> floats;
    std::vector<uint32_t> indices;
    {
        CPolyMesh ground;
        if (!BuildMesh(ground) || !mesh::ExportArrays(ground, false, false, floats, indices))
            return;
    }
    if (!scene::UploadIndexedMesh(m_vertex_array, m_vertex_buffer, m_index_buffer, floats, indices,
                                  {{0, 3, 0}, {1, 2, 12}}, 20))
        return;

    if (!scene::BuildProgram(m_above.program, kTerrainAboveVertexShader, kTerrainAboveFragmentShader, kTerrainConfig))
        return;
    m_above.t_mvp = scene::Uniform(m_above.program, "t_mvp");
    m_above.n_tex = scene::Uniform(m_above.program, "n_tex");
    glUseProgram(m_above.program);
    glUniform1i(m_above.n_tex, 0);

    if (!scene::BuildProgram(m_below.program, kTerrainBelowVertexShader, kTerrainBelowFragmentShader, kTerrainConfig))
        return;
    m_below.t_mvp = scene::Uniform(m_below.program, "t_mvp");
    m_below.t_mv = scene::Uniform(m_below.program, "t_mv");
    m_below.n_tex = scene::Uniform(m_below.program, "n_tex");
    glUseProgram(m_below.program);
    glUniform1i(m_below.n_tex, 0);

    indexCount = uint32_t(indices.size());
}

void CTerrain::DrawAbove(const Matrix4& mvp) const
{
    if (indexCount == 0)
        return;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(m_texture.target, m_texture.name);
    glUseProgram(m_above.program);
    scene::SetMatrix(m_above.t_mvp, mvp);
    scene::DrawIndexedTriangles(m_vertex_array, indexCount);
}

void CTerrain::DrawBelow(const Matrix4& mvp, const Matrix4& mv) const
{
    if (indexCount == 0)
        return;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(m_texture.target, m_texture.name);
    glUseProgram(m_below.program);
    scene::SetMatrix(m_below.t_mvp, mvp);
    scene::SetMatrix(m_below.t_mv, mv);
    scene::DrawIndexedTriangles(m_vertex_array, indexCount);
}
