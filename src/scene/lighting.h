// The scene's one light and the GLSL of everything it lights. The buoy ball,
// the submersible and the water seen from above light with the same vector
// in eye space, and the terrain's lightmap (tools/assets) is baked with it
// as a world direction. The ball and the submersible also run the same
// vertex stage and the same diffuse and specular terms; lit_program.h builds
// and feeds their programs. Numbers and shader text only: no GL, any thread.
#pragma once

#include <string>

namespace scene {

// The light vector.
inline constexpr float kLightX = -82.657f, kLightY = 62.696f, kLightZ = 225.598f;

// GLSL for a vertex stage: the constant `c_light` (the light vector) and
// `NormalMatrix(mat4)`, the normal matrix of a model-view matrix.
std::string LightingGlsl();

// Attribute bindings of the lit vertex stage: `v_pos` 0, `v_nrm` 1, `v_tex` 2.
inline constexpr char kLitConfig[] = "vertex {\n\tv_pos: 0;\n\tv_nrm: 1;\n\tv_tex: 2;\n}\n";

// The lit vertex stage of the buoy ball and the submersible (ES 2.0):
// attributes `v_pos`, `v_nrm`, `v_tex`; uniforms `t_mvp`, `t_mv`; world
// position from `vec3 ModelPosition(vec3)`, which `placement` defines along
// with any uniforms it reads; out to the fragment stage the eye vector
// `v_view_`, the normal `v_normal_`, the light term `v_light_` and the
// texture coordinates `v_texcoord`, all from the world position.
std::string LitVertexShader(const char* placement);

// The fragment stage that goes with it: the four inputs above, then
// `vec2 Light(float specular)` (x: the diffuse term plus the ambient 0.25,
// y: the highlight weighted by `specular`), then `fragment_main`, which
// declares any uniforms of its own and colours the pixel.
std::string LitFragmentShader(const char* fragment_main);

}  // namespace scene
