// The positioning buoys: one shared mesh, a red-and-white striped ball on a
// short stalk, drawn once per buoy with its own position and scale, and a
// pulsing blue glow drawn as one point sprite per buoy. The frame renderer
// draws the balls in the opaque passes and the glows last, blended.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"
#include "math/vector.h"
#include "scene/lit_program.h"

#include <cstdint>

class CBuoy {
public:
    // Builds both programs, the ball mesh and the one-point buffer of the
    // glow. On failure neither the ball nor the glow draws anything.
    CBuoy();

    // One ball: model units scaled by `scale`, placed at `position`.
    void DrawBall(const Matrix4& mvp, const Matrix4& mv, const Vector3& position, float scale) const;
    // One glow sprite at `position`, sized by the viewport height and the
    // distance. The caller has enabled blending (source alpha, one minus
    // source alpha), program point size and point sprites, and turned depth
    // writes off.
    void DrawGlow(const Matrix4& mvp, const Vector3& position, float time) const;

    uint32_t IndexCount() const { return indexCount; }  // 0 when construction failed

private:
    struct BallProgram {
        scene::LitProgram lit;
        GLint v_pos_scl = -1;
    };
    struct GlowProgram {
        GLProgram program;
        GLint t_mvp = -1, f_point_scale = -1, f_time = -1;
    };
    GLBuffer m_mesh_vertex_buffer, m_point_buffer, m_mesh_index_buffer;
    GLVertexArray m_mesh_vertex_array, m_point_vertex_array;
    uint32_t indexCount = 0;
    BallProgram m_ball;
    GlowProgram m_glow;
};
