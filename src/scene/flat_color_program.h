// A single-colour program: positions through `t_mvp`, every fragment the
// uniform `v_color`. The frame renderer draws the trajectory lines with it.
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

    // Makes the program current with `t_mvp` and `v_color`; false when there
    // is none, and the caller then skips its draw.
    bool Use(const Matrix4& mvp, const Vector4& color) const;

    GLProgram program;
    GLint t_mvp = -1, v_color = -1;
};
