// A single-colour program: positions through `t_mvp`, moved on the screen by
// `v_offset` (normalised device coordinates), every fragment the uniform
// `v_color`. The frame renderer draws the trajectory lines with it; the
// offset widens lines where the context draws them one pixel wide only.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"
#include "math/vector.h"

class CFlatColorProgram {
public:
    CFlatColorProgram() = default;  // an empty handle until Create

    // Builds the program (attribute v_pos 0). False, with a zero program,
    // when the build fails.
    bool Create();

    // Makes the program current with `t_mvp`, `v_color` and the offset;
    // false when there is none, and the caller then skips its draw.
    bool Use(const Matrix4& mvp, const Vector4& color, float offset_x = 0.0f, float offset_y = 0.0f) const;

    GLProgram program;
    GLint t_mvp = -1, v_color = -1, v_offset = -1;
};
