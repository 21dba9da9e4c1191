#include "scene/water_shader.h"

#include "scene/lighting.h"
#include "scene/scene_gl.h"

#include <string>

namespace scene {

bool BuildWaterProgram(GLProgram& program, bool lighting, const char* fragment_main, GLint& t_mvp, GLint& t_mv,
                       GLint& n_tex, GLint& f_time)
{
    const std::string vertex = std::string("precision mediump float;\n") +
                               (lighting ? "#define WATER_LIGHTING\n" + LightingGlsl() : "") + kWaterVertexShader;
    const std::string fragment = std::string("precision mediump float;\n") + kWaterFragmentCommon + fragment_main;
    if (!BuildProgram(program, vertex.c_str(), fragment.c_str(), kWaterConfig))
        return false;
    t_mvp = Uniform(program, "t_mvp");
    t_mv = Uniform(program, "t_mv");
    n_tex = Uniform(program, "n_tex");
    f_time = Uniform(program, "f_time");
    glUseProgram(program);
    glUniform1i(n_tex, 0);
    return true;
}

bool UseWaterProgram(const GLProgram& program, GLint t_mvp, GLint t_mv, GLint f_time, const Matrix4& mvp,
                     const Matrix4& mv, float time)
{
    if (!program)
        return false;
    glUseProgram(program);
    SetMatrix(t_mvp, mvp);
    SetMatrix(t_mv, mv);
    glUniform1f(f_time, time);
    return true;
}

}  // namespace scene
