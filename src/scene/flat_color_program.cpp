#include "scene/flat_color_program.h"

#include "scene/scene_gl.h"

namespace {

constexpr char kFlatColorConfig[] = "vertex {\n\tv_pos: 0;\n}\n";

constexpr char kFlatColorVertexShader[] = R"(precision mediump float;
attribute vec3 v_pos;
uniform mat4 t_mvp;
uniform vec2 v_offset;
void main()
{
    gl_Position = t_mvp * vec4(v_pos, 1.0);
    gl_Position.xy += v_offset * gl_Position.w;
}
)";

constexpr char kFlatColorFragmentShader[] = R"(precision mediump float;
uniform vec4 v_color;
void main()
{
    gl_FragColor = v_color;
}
)";

}  // namespace

bool CFlatColorProgram::Create()
{
    if (!scene::BuildProgram(program, kFlatColorVertexShader, kFlatColorFragmentShader, kFlatColorConfig))
        return false;
    t_mvp = scene::Uniform(program, "t_mvp");
    v_color = scene::Uniform(program, "v_color");
    v_offset = scene::Uniform(program, "v_offset");
    return true;
}

bool CFlatColorProgram::Use(const Matrix4& mvp, const Vector4& color, float offset_x, float offset_y) const
{
    if (!program)
        return false;
    glUseProgram(program);
    scene::SetMatrix(t_mvp, mvp);
    glUniform4f(v_color, color.x, color.y, color.z, color.w);
    glUniform2f(v_offset, offset_x, offset_y);
    return true;
}
