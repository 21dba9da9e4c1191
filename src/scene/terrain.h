// The static ground: the embedded terrain model (a shore rising to almost 9
// units above the water and running down to about 2 below it), textured
// with its baked lightmap, merged with a wide flat sea floor that has one
// deep funnel-shaped pit. One vertex and one index buffer, two programs: the
// "above" one fogs by depth below the surface, the "below" one by distance
// from an eye under water.
#pragma once

#include "gl/gl_object.h"
#include "image/texture.h"
#include "math/matrix4.h"
#include "mesh/poly_mesh.h"

#include <cstdint>

class CTerrain {
public:
    // Builds mesh, buffers, both programs and the lightmap ("lightmap.png").
    // On failure the terrain draws nothing.
    CTerrain();

    void DrawAbove(const Matrix4& mvp) const;                     // camera above water, and the mirrored pass
    void DrawBelow(const Matrix4& mvp, const Matrix4& mv) const;  // camera under water

    uint32_t IndexCount() const { return indexCount; }  // 0 when construction failed

    // Terrain and floor in one triangle mesh: three private vertices per
    // terrain triangle (corners reversed, y up, moved into the scene), then
    // the floor grid with its pit. Texture set 0 holds the lightmap
    // coordinates. False when a mesh step fails.
    static bool BuildMesh(CPolyMesh& mesh);

    // The texture (the lightmap); its `loaded` says why it is a placeholder.
    const TTexture& Texture() const { return m_texture; }

private:
    GLBuffer m_vertex_buffer, m_index_buffer;
    GLVertexArray m_vertex_array;
    uint32_t indexCount = 0;
    // A fog program with its uniform locations; A has no t_mv.
    struct FogProgram {
        GLProgram program;
        GLint t_mvp = -1, t_mv = -1, n_tex = -1;
    };
    FogProgram m_above;  // A: fog by depth below the surface
    FogProgram m_below;  // B: fog by eye distance, under water only
    TTexture m_texture;  // the lightmap
};
