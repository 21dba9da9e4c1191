#include "scene/water_below.h"

#include "scene/water_shader.h"

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
    return scene::BuildWaterProgram(program, false, kWaterBelowFragmentMain, t_mvp, t_mv, n_tex, f_time);
}

bool CWaterBelow::Use(const Matrix4& mvp, const Matrix4& mv, float time) const
{
    return scene::UseWaterProgram(program, t_mvp, t_mv, f_time, mvp, mv, time);
}
