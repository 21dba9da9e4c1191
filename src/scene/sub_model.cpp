#include "scene/sub_model.h"

#include "mesh/assemblies.h"
#include "mesh/processing.h"
#include "scene/lighting.h"
#include "scene/scene_gl.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr char kSubConfig[] = "vertex {\n\tv_pos: 0;\n\tv_nrm: 1;\n\tv_tex: 2;\n}\n";

// The draw's matrices place the model.
constexpr char kSubPlacement[] = "vec3 ModelPosition(vec3 p) { return p; }\n";

constexpr char kSubFragmentShader[] = R"(precision mediump float;
uniform sampler2D n_tex;
varying vec3 v_view_;
varying vec3 v_normal_;
varying vec3 v_light_;
varying vec2 v_texcoord;
void main()
{
    vec3 v = normalize(v_view_);
    vec3 l = normalize(v_light_ + v_view_);
    vec3 n = normalize(v_normal_);
    float diffuse = max(0.0, dot(l, n)) * 0.6;
    float r = max(0.0, dot(v, -reflect(l, n)));
    float specular = r * r * r * 0.4;  // no pow(): an exp and a log per pixel
    gl_FragColor = texture2D(n_tex, v_texcoord) * (diffuse + 0.25) + specular;
}
)";

bool Finite(const Vector3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

Matrix4 CSubModel::Placement(const Vector3& position, const Vector3& direction, Vector3& heading)
{
    // Below this horizontal share the look-at's side axis (up x forward)
    // loses its precision, and at zero it has none.
    constexpr float kMinHorizontal = 1e-3f;
    const float heading_length = std::sqrt(heading.x * heading.x + heading.z * heading.z);
    heading = std::isfinite(heading_length) && heading_length > 0
                  ? Vector3(heading.x / heading_length, 0, heading.z / heading_length)
                  : Vector3(0, 0, -1);
    Vector3 forward = Finite(direction) ? Normalise(direction) : Vector3();
    if (forward == Vector3())
        forward = heading;
    Vector3 up(0, 1, 0);
    const float horizontal = std::sqrt(forward.x * forward.x + forward.z * forward.z);
    if (horizontal >= kMinHorizontal) {
        heading = Vector3(forward.x / horizontal, 0, forward.z / horizontal);
    } else {
        // Pitching from the last heading: the sail leans into the dive when
        // going down and away from it when going up.
        forward = Vector3(0, forward.y < 0 ? -1.0f : 1.0f, 0);
        up = forward.y < 0 ? heading : -heading;
    }
    // The rotation is built at the origin so a far position cannot swamp a
    // unit heading.
    return Matrix4::Translation(position) * Matrix4::LookAt(Vector3(), forward, up).Inverse();
}

CSubModel::CSubModel()
{
    m_vertex_buffer.Create();
    m_index_buffer.Create();
    m_vertex_array.Create();
    scene::LoadSceneTexture("sub.png", m_texture);
    if (!scene::BuildProgram(m_program, scene::LitVertexShader(kSubPlacement).c_str(), kSubFragmentShader, kSubConfig))
        return;
    t_mv = scene::Uniform(m_program, "t_mv");
    t_mvp = scene::Uniform(m_program, "t_mvp");
    n_tex = scene::Uniform(m_program, "n_tex");
    glUseProgram(m_program);
    glUniform1i(n_tex, 0);

    std::vector<float> floats;
    std::vector<uint32_t> indices;
    {
        CPolyMesh hull;
        if (!mesh::BuildSubmersibleMesh(hull) || !mesh::ExportArrays(hull, true, false, floats, indices))
            return;
    }
    if (!scene::UploadIndexedMesh(m_vertex_array, m_vertex_buffer, m_index_buffer, floats, indices,
                                  {{0, 3, 0}, {1, 3, 12}, {2, 2, 24}}, 32))
        return;
    indexCount = uint32_t(indices.size());
}

void CSubModel::Draw(const Vector3& position, const Vector3& direction, float scale, const Matrix4& mvp,
                     const Matrix4& mv)
{
    // A position that is not finite has nowhere to be drawn.
    if (indexCount == 0 || !Finite(position))
        return;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(m_texture.target, m_texture.name);
    const Matrix4 placement = Placement(position, direction, m_last_heading);
    // The negated scale turns the model (built sail down, stern to -z) right
    // way up with its bow along the heading, and with the placement's mirror
    // keeps its outward winding; lighting takes the positive scale.
    glUseProgram(m_program);
    scene::SetMatrix(t_mvp, mvp * placement * Matrix4::Scale(-scale));
    scene::SetMatrix(t_mv, mv * placement * Matrix4::Scale(scale));
    scene::DrawIndexedTriangles(m_vertex_array, indexCount);
}
