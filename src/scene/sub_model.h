// The submersible that stands for the diver on the trajectory: a capsule
// hull with a ducted stern and four fins, a sail with a mast and bow planes,
// textured with "sub.png" by a cylindrical projection, cleaned of hidden
// faces at start-up and drawn every frame at the diver's position with its
// bow along the direction of travel.
#pragma once

#include "gl/gl_object.h"
#include "image/texture.h"
#include "math/matrix4.h"
#include "math/vector.h"
#include "scene/lit_program.h"

#include <cstdint>

class CSubModel {
public:
    // Builds texture, program, mesh and buffers. On failure the model draws
    // nothing.
    CSubModel();

    // Draws the model at `position`, bow along `direction`, sail up, scaled
    // by `scale` (0.1 in the scene). A direction that gives no heading (zero,
    // not finite) keeps the last one; a vertical one turns the sail towards
    // the last horizontal heading, as a pitching boat would.
    void Draw(const Vector3& position, const Vector3& direction, float scale, const Matrix4& mvp, const Matrix4& mv);

    uint32_t IndexCount() const { return indexCount; }  // 0 when construction failed

    // The model-to-world transform before scaling: model origin at
    // `position`, model -z along `direction`, model +y as close to world +y
    // as the direction allows; it mirrors X, as a look-at view does.
    // `heading` is the last usable horizontal heading (made unit with y = 0,
    // (0, 0, -1) when it has no horizontal part); it is
    // used when `direction` is zero, not finite or vertical, and updated
    // otherwise. The result is never singular.
    static Matrix4 Placement(const Vector3& position, const Vector3& direction, Vector3& heading);

    // The texture ("sub.png"); its `loaded` says why it is a placeholder.
    const TTexture& Texture() const { return m_texture; }

private:
    GLBuffer m_vertex_buffer, m_index_buffer;
    GLVertexArray m_vertex_array;
    uint32_t indexCount = 0;
    scene::LitProgram m_program;
    TTexture m_texture;                // "sub.png"
    Vector3 m_last_heading{0, 0, -1};  // horizontal, for directions that give none
};
