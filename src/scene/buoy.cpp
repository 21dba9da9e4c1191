#include "scene/buoy.h"

#include "mesh/assemblies.h"
#include "scene/scene_gl.h"

namespace {

// The ball is placed and scaled per draw.
constexpr char kBallPlacement[] = R"(
uniform vec4 v_pos_scl;
vec3 ModelPosition(vec3 p) { return p * v_pos_scl.w + v_pos_scl.xyz; }
)";

// Red bands where |mod(3t, 0.4) - 0.2| < 0.1 of the latitude t, white
// between, with a one-pixel soft edge.
constexpr char kBallFragmentMain[] = R"(
void main()
{
    vec2 light = Light(0.6);
    float u = 3.0 * v_texcoord.y;
    float s = smoothstep(0.1 - fwidth(u), 0.1, abs(mod(u, 0.4) - 0.2));
    gl_FragColor = vec4(vec3(1.0, s, s) * light.x + light.y, 1.0);
}
)";

constexpr char kGlowConfig[] = "vertex {\n\tv_pos: 0;\n}\n";

constexpr char kGlowVertexShader[] = R"(precision mediump float;
attribute vec4 v_pos;
uniform mat4 t_mvp;
uniform float f_point_scale;
void main()
{
    gl_Position = t_mvp * vec4(v_pos.xyz, 1.0);
    gl_PointSize = f_point_scale * 1.0 / gl_Position.w;
}
)";

// Rings that travel outwards and fade to nothing at the sprite's rim.
constexpr char kGlowFragmentShader[] = R"(precision mediump float;
uniform float f_time;
void main()
{
    vec2 p = gl_PointCoord - vec2(0.5, 0.5);
    float r = 2.0 * length(p);
    float f = max(0.0, 1.0 - r);
    float w = f * (0.5 + 0.5 * sin(5.0 * f_time + 8.0 * 3.14159265 * f));
    gl_FragColor = vec4(0.2, 0.2, 1.0, w);
}
)";

}  // namespace

CBuoy::CBuoy()
{
    m_mesh_vertex_buffer.Create();
    m_point_buffer.Create();
    m_mesh_index_buffer.Create();
    m_mesh_vertex_array.Create();
    m_point_vertex_array.Create();

    if (!m_ball.lit.Build(kBallPlacement, kBallFragmentMain) ||
        !scene::BuildProgram(m_glow.program, kGlowVertexShader, kGlowFragmentShader, kGlowConfig))
        return;
    m_ball.v_pos_scl = m_ball.lit.Uniform("v_pos_scl");
    m_glow.t_mvp = scene::Uniform(m_glow.program, "t_mvp");
    m_glow.f_point_scale = scene::Uniform(m_glow.program, "f_point_scale");
    m_glow.f_time = scene::Uniform(m_glow.program, "f_time");

    CPolyMesh ball;
    if (!mesh::BuildBuoyMesh(ball))
        return;
    const uint32_t index_count =
        scene::UploadLitMesh(ball, m_mesh_vertex_array, m_mesh_vertex_buffer, m_mesh_index_buffer);
    if (index_count == 0 || m_point_vertex_array == 0 || m_point_buffer == 0)
        return;
    glBindVertexArray(m_point_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, m_point_buffer);
    glBufferData(GL_ARRAY_BUFFER, 3 * sizeof(float), nullptr, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glBindVertexArray(default_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    indexCount = index_count;
}

void CBuoy::DrawBall(const Matrix4& mvp, const Matrix4& mv, const Vector3& position, float scale) const
{
    if (indexCount == 0)
        return;
    m_ball.lit.Use(mvp, mv);
    glUniform4f(m_ball.v_pos_scl, position.x, position.y, position.z, scale);
    scene::DrawIndexedTriangles(m_mesh_vertex_array, indexCount);
}

void CBuoy::DrawGlow(const Matrix4& mvp, const Vector3& position, float time) const
{
    // The point buffer has storage only when everything was built.
    if (indexCount == 0)
        return;
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glUseProgram(m_glow.program);
    scene::SetMatrix(m_glow.t_mvp, mvp);
    glUniform1f(m_glow.f_time, time);
    glUniform1f(m_glow.f_point_scale, float(viewport[3]));
    glBindVertexArray(m_point_vertex_array);
    const float point[3] = {position.x, position.y, position.z};
    glBindBuffer(GL_ARRAY_BUFFER, m_point_buffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(point), point);
    glDrawArrays(GL_POINTS, 0, 1);
    glBindVertexArray(default_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
