#include "scene/round_point_program.h"

#include "scene/scene_gl.h"

namespace {

constexpr char kRoundPointConfig[] = "vertex {\n\tv_pos: 0;\n}\n";

constexpr char kRoundPointVertexShader[] = R"(precision mediump float;
attribute vec3 v_pos;
uniform mat4 t_mvp;
uniform float f_point_size;
void main()
{
    gl_Position = t_mvp * vec4(v_pos, 1.0);
    gl_PointSize = f_point_size;
}
)";

// A disc inscribed in the sprite with a one-pixel soft rim; what is left of
// the square is discarded so it writes no depth either.
constexpr char kRoundPointFragmentShader[] = R"(precision mediump float;
uniform vec4 v_color;
void main()
{
    vec2 p = gl_PointCoord - vec2(0.5, 0.5);
    float r = length(p);
    float a = 1.0 - smoothstep(0.5 - fwidth(r), 0.5, r);
    if (a < 1.0 / 256.0)
        discard;
    gl_FragColor = vec4(v_color.rgb, v_color.a * a);
}
)";

}  // namespace

bool CRoundPointProgram::Create()
{
    if (!scene::BuildProgram(program, kRoundPointVertexShader, kRoundPointFragmentShader, kRoundPointConfig))
        return false;
    t_mvp = scene::Uniform(program, "t_mvp");
    v_color = scene::Uniform(program, "v_color");
    f_point_size = scene::Uniform(program, "f_point_size");
    return true;
}

bool CRoundPointProgram::Use(const Matrix4& mvp, const Vector4& color, float point_size) const
{
    if (!program)
        return false;
    glUseProgram(program);
    scene::SetMatrix(t_mvp, mvp);
    glUniform4f(v_color, color.x, color.y, color.z, color.w);
    glUniform1f(f_point_size, point_size);
    return true;
}
