// Round points: each point a disc of `f_point_size` pixels (the same at any
// distance) in `v_color`, with a one-pixel soft rim; the square's corners
// are discarded. The frame renderer draws the trajectory samples with it,
// with program point size and point sprites enabled.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"
#include "math/vector.h"

class CRoundPointProgram {
public:
    CRoundPointProgram() = default;  // an empty handle until Create

    // Builds the program (attribute v_pos 0). False, with a zero program,
    // when the build fails.
    bool Create();

    // Makes the program current with `t_mvp`, `v_color` and `f_point_size`
    // (pixels); false when there is none, and the caller then skips its draw.
    bool Use(const Matrix4& mvp, const Vector4& color, float point_size) const;

    GLProgram program;
    GLint t_mvp = -1, v_color = -1, f_point_size = -1;
};
