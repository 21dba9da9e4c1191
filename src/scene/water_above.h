// The water surface seen from above: the mirrored scene that the frame
// renderer captured earlier in the frame, distorted by animated noise, with
// a highlight and an alpha that grows from 0.25 looking straight down
// towards 1 at grazing angles. Drawn on CWaterPlane, blended over the scene.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"

class CWaterAbove {
public:
    CWaterAbove() = default;  // an empty handle until Create

    // Builds the program and points `n_tex` at texture unit 0. False, with
    // a zero program, when the build fails.
    bool Create();

    // Makes the program current with its three uniforms. False (and nothing
    // changed) when there is no program: the caller then skips its draw.
    // The reflection capture is bound to unit 0 by the caller.
    bool Use(const Matrix4& mvp, const Matrix4& mv, float time) const;

    GLProgram program;
    GLint t_mvp = -1, t_mv = -1, n_tex = -1, f_time = -1;
};
