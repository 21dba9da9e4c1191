#include "scene/terrain.h"

#include "mesh/primitives.h"
#include "mesh/processing.h"
#include "scene/scene_gl.h"
#include "scene/terrain_tables.h"

#include <algorithm>
#include <cstdint>
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

// The sea floor: the grid scaled to the floor's size, every vertex on the
// one sand texel, sunk into the pit near its centre. Only the cells round
// the pit keep the grid's quads; the flat rest is four fans over the grid's
// own vertices, seams included, so no T-junction can open a crack. That
// leaves a few hundred triangles in place of 20 000, nearly all of them flat
// and most no bigger than a pixel near the horizon, which the rasteriser
// paid for one by one in every pass.
bool BuildFloor(CPolyMesh& floor)
{
    constexpr size_t kCells = 100, kSide = kCells + 1;  // MakeGrid: row r, column c at r * kSide + c
    CPolyMesh grid;
    if (!mesh::MakeGrid(grid) || grid.VertexCount() != kSide * kSide)
        return false;
    grid.Transform(Matrix4::Translation(0, kFloorHeight, 0) * Matrix4::Scale(kFloorHalfSize));
    size_t c0 = kCells, c1 = 0, r0 = kCells, r1 = 0;  // columns and rows of sunk vertices
    for (size_t i = 0; i < grid.VertexCount(); ++i) {
        mesh::_TyVertex& v = grid.Vertex(i);
        v.texcoord[0][0] = kFloorTexel, v.texcoord[0][1] = kFloorTexel;
        v.texcoord[0][2] = 0, v.texcoord[0][3] = 1;
        const float d = (v.Position() - kPitCentre).Length();
        if (d < kPitRadius) {
            v.position[1] -= (kPitRadius - d) * kPitSlope;
            c0 = std::min(c0, i % kSide), c1 = std::max(c1, i % kSide);
            r0 = std::min(r0, i / kSide), r1 = std::max(r1, i / kSide);
        }
    }
    if (c0 > c1)
        c0 = c1 = r0 = r1 = 0;
    // The kept block: every cell with a sunk corner; its rim is flat.
    c0 = c0 > 0 ? c0 - 1 : 0, r0 = r0 > 0 ? r0 - 1 : 0;
    c1 = std::min(c1 + 1, kCells), r1 = std::min(r1 + 1, kCells);
    if (c1 == c0)
        c1 = c0 + 1;
    if (r1 == r0)
        r1 = r0 + 1;

    std::vector<size_t> used;                             // grid vertex of each floor vertex
    std::vector<std::vector<size_t>> polygons;            // in grid vertices
    const auto at = [](size_t c, size_t r) { return r * kSide + c; };
    for (size_t r = r0; r < r1; ++r)
        for (size_t c = c0; c < c1; ++c)  // the grid's own quads and winding
            polygons.push_back({at(c, r), at(c, r + 1), at(c + 1, r + 1), at(c + 1, r)});
    // A fan from `corner` over `rim`, wound like the grid's quads (which
    // run clockwise seen from above: x z cross product negative).
    const auto fan = [&](size_t corner, const std::vector<size_t>& rim) {
        const auto x = [&](size_t i) { return grid.Vertex(i).position[0]; };
        const auto z = [&](size_t i) { return grid.Vertex(i).position[2]; };
        for (size_t k = 0; k + 1 < rim.size(); ++k) {
            size_t a = rim[k], b = rim[k + 1];
            if (a == b)
                continue;
            if ((x(a) - x(corner)) * (z(b) - z(corner)) - (z(a) - z(corner)) * (x(b) - x(corner)) > 0)
                std::swap(a, b);
            polygons.push_back({corner, a, b});
        }
    };
    std::vector<size_t> rim;
    if (r0 > 0) {  // below the block, the whole width
        rim = {at(kCells, 0), at(kCells, r0)};
        for (size_t c = c1 + 1; c-- > c0;)
            rim.push_back(at(c, r0));
        rim.push_back(at(0, r0));
        fan(at(0, 0), rim);
    }
    if (r1 < kCells) {  // above the block, the whole width
        rim = {at(0, r1)};
        for (size_t c = c0; c <= c1; ++c)
            rim.push_back(at(c, r1));
        rim.push_back(at(kCells, r1));
        rim.push_back(at(kCells, kCells));
        fan(at(0, kCells), rim);
    }
    if (c0 > 0) {  // left of the block
        rim.clear();
        for (size_t r = r0; r <= r1; ++r)
            rim.push_back(at(c0, r));
        rim.push_back(at(0, r1));
        fan(at(0, r0), rim);
    }
    if (c1 < kCells) {  // right of the block
        rim.clear();
        for (size_t r = r1 + 1; r-- > r0;)
            rim.push_back(at(c1, r));
        rim.push_back(at(kCells, r0));
        fan(at(kCells, r1), rim);
    }

    std::vector<size_t> index(grid.VertexCount(), SIZE_MAX);
    for (const auto& polygon : polygons)
        for (size_t g : polygon)
            if (index[g] == SIZE_MAX) {
                index[g] = used.size();
                used.push_back(g);
            }
    if (!floor.Resize(used.size(), polygons.size()))
        return false;
    for (size_t i = 0; i < used.size(); ++i)
        floor.Vertex(i) = grid.Vertex(used[i]);
    for (size_t p = 0; p < polygons.size(); ++p)
        for (size_t g : polygons[p])
            floor.Polygon(p).vertices.push_back(floor.Ref(index[g]));
    return true;
}

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
    if (!BuildFloor(floor))
        return false;
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
    scene::LoadSceneTexture("lightmap.png", m_texture);

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
