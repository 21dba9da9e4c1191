// The sky: a wide, flat dome of vertex-coloured triangles seen from inside,
// with two layers of clouds drifting across it from one tiling texture
// ("clouds.png"). The frame renderer draws it first in every pass, plain
// from above the water or, from below, with the dome's lower band replaced
// by the water's fog colour.
#pragma once

#include "gl/gl_object.h"
#include "image/texture.h"
#include "math/matrix4.h"
#include "math/vector.h"
#include "mesh/poly_mesh.h"

#include <cstdint>

class CSkyDome {
public:
    // Builds the dome (colours from `zenith` at the apex towards `horizon`
    // at the rim; heights up to vertical_radius, reach horizontal_radius),
    // loads the clouds and the program. On failure the dome draws nothing.
    CSkyDome(const Vector3& zenith, const Vector3& horizon, float vertical_radius, float horizontal_radius);

    void DrawAbove(const Matrix4& mvp, float time) const;  // plain sky
    void DrawBelow(const Matrix4& mvp, float time) const;  // heights <= 1 in the water's fog colour

    uint32_t IndexCount() const { return indexCount; }  // 0 when construction failed

    // The dome mesh alone: 221 vertices (apex, then 11 rings of 20), 420
    // triangles wound counter-clockwise seen from inside; colour and
    // texture set 0 filled. False when the mesh cannot be sized.
    static bool BuildMesh(CPolyMesh& mesh, const Vector3& zenith, const Vector3& horizon, float vertical_radius,
                          float horizontal_radius);

    // The texture (the clouds); its `loaded` says why it is a placeholder.
    const TTexture& Texture() const { return m_texture; }

private:
    void Draw(const Matrix4& mvp, float time, float underwater) const;

    GLBuffer m_vertex_buffer, m_index_buffer;
    GLVertexArray m_vertex_array;
    uint32_t indexCount = 0;
    GLProgram m_program;
    GLint t_mvp = -1, f_time = -1, f_uw = -1, n_tex = -1;
    TTexture m_texture;  // the clouds
};
