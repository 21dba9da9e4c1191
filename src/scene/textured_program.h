// A plain textured program: positions through `t_mvp`, colour straight from
// the texture on unit 0. The bitmap-font set-up builds one as well.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"

class CTexturedProgram {
public:
    CTexturedProgram() = default;  // an empty handle until Create

    // Builds the program (attributes v_pos 0, v_tex 1) and points `n_tex` at
    // unit 0. False, with a zero program, when the build fails.
    bool Create();

    // Makes the program current with `t_mvp`; false when there is none.
    bool Use(const Matrix4& mvp) const;

    GLProgram program;
    GLint t_mvp = -1, n_tex = -1;
};
