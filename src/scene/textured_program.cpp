#include "scene/textured_program.h"

#include "scene/scene_gl.h"

namespace {

constexpr char kTexturedConfig[] = "vertex {\n\tv_pos: 0;\n\tv_tex: 1;\n}\n";

constexpr char kTexturedVertexShader[] = R"(precision mediump float;
attribute vec3 v_pos;
attribute vec2 v_tex;
uniform mat4 t_mvp;
varying vec2 v_texcoord;
void main()
{
    gl_Position = t_mvp * vec4(v_pos, 1.0);
    v_texcoord = v_tex;
}
)";

constexpr char kTexturedFragmentShader[] = R"(precision mediump float;
uniform sampler2D n_tex;
varying vec2 v_texcoord;
void main()
{
    gl_FragColor = texture2D(n_tex, v_texcoord);
}
)";

}  // namespace

bool CTexturedProgram::Create()
{
    if (!scene::BuildProgram(program, kTexturedVertexShader, kTexturedFragmentShader, kTexturedConfig))
        return false;
    t_mvp = scene::Uniform(program, "t_mvp");
    n_tex = scene::Uniform(program, "n_tex");
    glUseProgram(program);
    glUniform1i(n_tex, 0);
    return true;
}

bool CTexturedProgram::Use(const Matrix4& mvp) const
{
    if (!program)
        return false;
    glUseProgram(program);
    scene::SetMatrix(t_mvp, mvp);
    return true;
}
