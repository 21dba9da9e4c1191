#include "scene/water_above.h"

#include "scene/scene_gl.h"
#include "scene/water_shader.h"

#include <string>

namespace {

constexpr char kWaterAboveFragmentMain[] = R"(
varying vec3 v_normal_;
varying vec3 v_light_;
void main()
{
    Distort();
    vec3 v = normalize(g_view);
    vec3 l = normalize(v_light_ + g_view);
    vec3 n = normalize(v_normal_);
    n.xz += 10.0 * g_off;
    n = normalize(n);
    float diffuse = max(0.0, dot(l, n)) * 0.2;
    float specular = pow(max(0.0, dot(v, -reflect(l, n))), 10.0) * 0.6;
    float alpha = 1.0 - pow(max(0.0, dot(n, v)), 3.0) * 0.75;
    gl_FragColor = vec4(texture2D(n_tex, g_uv).rgb + diffuse + specular, alpha);
}
)";

}  // namespace

bool CWaterAbove::Create()
{
    const std::string vertex =
        std::string("precision mediump float;\n#define WATER_LIGHTING\n") + scene::kWaterVertexShader;
    const std::string fragment =
        std::string("precision mediump float;\n") + scene::kWaterFragmentCommon + kWaterAboveFragmentMain;
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

bool CWaterAbove::Use(const Matrix4& mvp, const Matrix4& mv, float time) const
{
    if (!program)
        return false;
    glUseProgram(program);
    scene::SetMatrix(t_mvp, mvp);
    scene::SetMatrix(t_mv, mv);
    glUniform1f(f_time, time);
    return true;
}
