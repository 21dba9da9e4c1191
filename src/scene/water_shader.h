// Shader text shared by the two water-surface programs (CWaterAbove,
// CWaterBelow): the vertex stage, 3-D simplex noise and the distortion of
// the capture coordinates. Each program appends its own fragment main.
// Also the build and the per-draw uniforms, the same for both.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"

namespace scene {

// Builds a water program: the vertex stage (with WATER_LIGHTING defined
// when `lighting`), the common fragment steps and `fragment_main`. Finds
// the four uniforms and points `n_tex` at texture unit 0. False, with a
// zero program, when the build fails.
bool BuildWaterProgram(GLProgram& program, bool lighting, const char* fragment_main, GLint& t_mvp, GLint& t_mv,
                       GLint& n_tex, GLint& f_time);

// Makes a water program current with its matrices and time. False (and
// nothing changed) when there is no program.
bool UseWaterProgram(const GLProgram& program, GLint t_mvp, GLint t_mv, GLint f_time, const Matrix4& mvp,
                     const Matrix4& mv, float time);

inline constexpr char kWaterConfig[] = "vertex {\n\tv_pos: 0;\n}\n";

// The plane's homogeneous position, the carrier of the fragment's own
// position in the capture (divided per fragment) and the eye-space position
// (also divided). `WATER_LIGHTING` adds the normal and light carriers, from
// the shared lighting text the build puts before it.
inline constexpr char kWaterVertexShader[] = R"(
attribute vec4 v_pos;
uniform mat4 t_mvp;
uniform mat4 t_mv;
varying vec4 v_world_;
varying vec3 v_screen_;
varying vec4 v_view_;
#ifdef WATER_LIGHTING
varying vec3 v_normal_;
varying vec3 v_light_;
#endif
void main()
{
    vec4 clip = t_mvp * v_pos;
    gl_Position = clip;
    v_world_ = v_pos;
    v_screen_ = vec3(clip.xy * 0.5 + 0.5 * clip.w, clip.w);
    v_view_ = -(t_mv * v_pos);
#ifdef WATER_LIGHTING
    mat3 n = NormalMatrix(t_mv);
    v_normal_ = -(n * vec3(0.0, 1.0, 0.0));
    v_light_ = -(n * c_light);
#endif
}
)";

// Textureless 3-D simplex noise: permutation polynomial mod 289, gradients
// from a 7 x 7 grid folded onto an octahedron, radial kernel (0.6 - d^2)^4.
// Then the common fragment steps: world, view and capture coordinates, and
// the distortion `off`, weaker with distance.
inline constexpr char kWaterFragmentCommon[] = R"(
uniform sampler2D n_tex;
uniform float f_time;
varying vec4 v_world_;
varying vec3 v_screen_;
varying vec4 v_view_;
vec3 Mod289(vec3 x) { return x - floor(x * (1.0 / 289.0)) * 289.0; }
vec4 Mod289(vec4 x) { return x - floor(x * (1.0 / 289.0)) * 289.0; }
vec4 Permute(vec4 x) { return Mod289(((x * 34.0) + 1.0) * x); }
vec4 TaylorInvSqrt(vec4 r) { return 1.79284291400159 - 0.85373472095314 * r; }
float snoise(vec3 v)
{
    const vec2 C = vec2(1.0 / 6.0, 1.0 / 3.0);
    const vec4 D = vec4(0.0, 0.5, 1.0, 2.0);
    vec3 i = floor(v + dot(v, C.yyy));
    vec3 x0 = v - i + dot(i, C.xxx);
    vec3 g = step(x0.yzx, x0.xyz);
    vec3 l = 1.0 - g;
    vec3 i1 = min(g.xyz, l.zxy);
    vec3 i2 = max(g.xyz, l.zxy);
    vec3 x1 = x0 - i1 + C.xxx;
    vec3 x2 = x0 - i2 + C.yyy;
    vec3 x3 = x0 - D.yyy;
    i = Mod289(i);
    vec4 p = Permute(Permute(Permute(i.z + vec4(0.0, i1.z, i2.z, 1.0)) + i.y + vec4(0.0, i1.y, i2.y, 1.0)) +
                     i.x + vec4(0.0, i1.x, i2.x, 1.0));
    float n_ = 0.142857142857;
    vec3 ns = n_ * D.wyz - D.xzx;
    vec4 j = p - 49.0 * floor(p * ns.z * ns.z);
    vec4 x_ = floor(j * ns.z);
    vec4 y_ = floor(j - 7.0 * x_);
    vec4 x = x_ * ns.x + ns.yyyy;
    vec4 y = y_ * ns.x + ns.yyyy;
    vec4 h = 1.0 - abs(x) - abs(y);
    vec4 b0 = vec4(x.xy, y.xy);
    vec4 b1 = vec4(x.zw, y.zw);
    vec4 s0 = floor(b0) * 2.0 + 1.0;
    vec4 s1 = floor(b1) * 2.0 + 1.0;
    vec4 sh = -step(h, vec4(0.0));
    vec4 a0 = b0.xzyw + s0.xzyw * sh.xxyy;
    vec4 a1 = b1.xzyw + s1.xzyw * sh.zzww;
    vec3 p0 = vec3(a0.xy, h.x);
    vec3 p1 = vec3(a0.zw, h.y);
    vec3 p2 = vec3(a1.xy, h.z);
    vec3 p3 = vec3(a1.zw, h.w);
    vec4 norm = TaylorInvSqrt(vec4(dot(p0, p0), dot(p1, p1), dot(p2, p2), dot(p3, p3)));
    p0 *= norm.x;
    p1 *= norm.y;
    p2 *= norm.z;
    p3 *= norm.w;
    vec4 m = max(0.6 - vec4(dot(x0, x0), dot(x1, x1), dot(x2, x2), dot(x3, x3)), 0.0);
    m = m * m;
    return 42.0 * dot(m * m, vec4(dot(p0, x0), dot(p1, x1), dot(p2, x2), dot(p3, x3)));
}
vec3 g_view;
vec2 g_uv;
vec2 g_off;
void Distort()
{
    vec3 world = v_world_.xyz / v_world_.w;
    g_view = v_view_.xyz / v_view_.w;
    g_uv = v_screen_.xy / v_screen_.z;
    vec2 noise = vec2(snoise(vec3(world.x, world.z, f_time) * 0.7),
                      snoise(vec3(world.z, world.x, 3.0 - f_time) * 0.7)) * 0.5;
    g_off = noise / max(20.0, 3.0 * length(g_view));
    g_uv += 0.2 * g_off;
}
)";

}  // namespace scene
