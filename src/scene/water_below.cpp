#include "scene/water_below.h"

#include "scene/scene_gl.h"
#include "scene/water_shader.h"

#include <string>

namespace {

constexpr char kWaterBelowFragmentMain[] = R"(
void main()
{
    Distort();
    vec3 colour = mix(texture2D(n_tex, g_uv).rgb, vec3(0.12, 0.2, 0.5), smoothstep(0.1, 30.0, length(g_view)));
    gl_FragColor = vec4(colour, 1.0);
}
)";

}  // namespace

bool CWaterBelow::Create()
{
    const std::string vertex = std::string("precision mediump float;\n") + scene::kWaterVertexShader;
    const std::string fragment =
        std::string("precision mediump float;\n") + scene::kWaterFragmentCommon + kWaterBelowFragmentMain;
    if (!scene::BuildProgram(program, vertex.c_str(), fragment.c_str(), scene::kWaterConfig))
        return false;
    t_mvp = scene::Uniform(program, "t_mvp");
    t_mv = scene::Uniform(program, "t_mv");
    n_tex = scene::Uniform(program, "n_tex");
    f_time = scene::Uniform(program, "f_time");
    glUseProgram(program);
    glUniform1i(n_tex, 0);
    return true;
}

bool CWaterBelow::Use(const Matrix4& mvp, const Matrix4& mv, float time) const
{
    if (!program)
        return false;
    glUseProgram(program);
    scene::SetMatrix(t_mvp, mvp);
    scene::SetMatrix(t_mv, mv);
    glUniform1f(f_time, time);
    return true;
}
