#include "scene/water_above.h"

#include "scene/water_shader.h"

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
    // Whole powers by multiplication: pow() costs an exp and a log per
    // pixel in a software rasteriser.
    float s = max(0.0, dot(v, -reflect(l, n)));
    float s2 = s * s;
    float s5 = s2 * s2 * s;
    float specular = s5 * s5 * 0.6;
    float c = max(0.0, dot(n, v));
    float alpha = 1.0 - c * c * c * 0.75;
    gl_FragColor = vec4(texture2D(n_tex, g_uv).rgb + diffuse + specular, alpha);
}
)";

}  // namespace

bool CWaterAbove::Create()
{
    return scene::BuildWaterProgram(program, true, kWaterAboveFragmentMain, t_mvp, t_mv, n_tex, f_time);
}

bool CWaterAbove::Use(const Matrix4& mvp, const Matrix4& mv, float time) const
{
    return scene::UseWaterProgram(program, t_mvp, t_mv, f_time, mvp, mv, time);
}
