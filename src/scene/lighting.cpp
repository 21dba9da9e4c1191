#include "scene/lighting.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace scene {

namespace {

constexpr char kPrecision[] = "precision mediump float;\n";

// Shortest text that reads back as the same float, so the shaders get the
// constant's exact value.
std::string GlslFloat(float v)
{
    char text[32];
#if defined(__cpp_lib_to_chars)
    const auto result = std::to_chars(text, text + sizeof(text), v);
    std::string s(text, result.ptr);
#else
    // Without floating-point to_chars (the web page's library): the fewest
    // significant digits that read back as v; nine always do.
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, double(v));
        if (std::strtof(text, nullptr) == v)
            break;
    }
    std::string s(text);
#endif
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";  // GLSL ES has no implicit int to float
    return s;
}

// ES 2.0 has no inverse(): the normal matrix is the cofactor matrix of the
// upper 3 x 3 over its determinant, built from the columns' cross products.
constexpr char kNormalMatrix[] = R"(
mat3 NormalMatrix(mat4 mv)
{
    mat3 m = mat3(mv[0].xyz, mv[1].xyz, mv[2].xyz);
    vec3 c0 = cross(m[1], m[2]), c1 = cross(m[2], m[0]), c2 = cross(m[0], m[1]);
    return mat3(c0, c1, c2) / dot(m[0], c0);
}
)";

// What the lit vertex stage hands the fragment stage; both declare it.
constexpr char kLitVaryings[] = R"(
varying vec3 v_view_;
varying vec3 v_normal_;
varying vec3 v_light_;
varying vec2 v_texcoord;
)";

constexpr char kLitVertexInputs[] = R"(
attribute vec3 v_pos;
attribute vec3 v_nrm;
attribute vec2 v_tex;
uniform mat4 t_mvp;
uniform mat4 t_mv;
)";

constexpr char kLitVertexMain[] = R"(
void main()
{
    vec3 world = ModelPosition(v_pos);
    gl_Position = t_mvp * vec4(world, 1.0);
    v_view_ = -(t_mv * vec4(world, 1.0)).xyz;
    mat3 n = NormalMatrix(t_mv);
    v_normal_ = n * v_nrm;
    v_light_ = n * c_light;
    v_texcoord = v_tex;
}
)";

constexpr char kLitFragmentLight[] = R"(
vec2 Light(float specular)
{
    vec3 v = normalize(v_view_);
    vec3 l = normalize(v_light_ + v_view_);
    vec3 n = normalize(v_normal_);
    float diffuse = max(0.0, dot(l, n)) * 0.6;
    float r = max(0.0, dot(v, -reflect(l, n)));
    return vec2(diffuse + 0.25, r * r * r * specular);  // no pow(): an exp and a log per pixel
}
)";

}  // namespace

std::string LightingGlsl()
{
    return "const vec3 c_light = vec3(" + GlslFloat(kLightX) + ", " + GlslFloat(kLightY) + ", " + GlslFloat(kLightZ) +
           ");" + kNormalMatrix;
}

std::string LitVertexShader(const char* placement)
{
    return kPrecision + LightingGlsl() + placement + kLitVertexInputs + kLitVaryings + kLitVertexMain;
}

std::string LitFragmentShader(const char* fragment_main)
{
    return std::string(kPrecision) + kLitVaryings + kLitFragmentLight + fragment_main;
}

}  // namespace scene
