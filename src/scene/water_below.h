// The water surface seen from below: the scene captured from under the
// surface (sky with its fog band), distorted by animated noise and fading
// into the water's fog colour (0.12, 0.2, 0.5) within 30 units of the eye.
// Drawn opaque on CWaterPlane with the front face inverted.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"

class CWaterBelow {
public:
    CWaterBelow() = default;  // an empty handle until Create

    // Builds the program and points `n_tex` at texture unit 0. False, with
    // a zero program, when the build fails.
    bool Create();

    // Makes the program current with its three uniforms. False (and nothing
    // changed) when there is no program: the caller then skips its draw.
    // The below-surface capture is bound to unit 0 by the caller.
    bool Use(const Matrix4& mvp, const Matrix4& mv, float time) const;

    GLProgram program;
    GLint t_mvp = -1, t_mv = -1, n_tex = -1, f_time = -1;
};
