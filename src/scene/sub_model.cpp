#include "scene/sub_model.h"

#include "mesh/assemblies.h"
#include "scene/scene_gl.h"

#include <cmath>

namespace {

// The draw's matrices place the model.
constexpr char kSubPlacement[] = "vec3 ModelPosition(vec3 p) { return p; }\n";

constexpr char kSubFragmentMain[] = R"(
uniform sampler2D n_tex;
void main()
{
    vec2 light = Light(0.4);
    gl_FragColor = texture2D(n_tex, v_texcoord) * light.x + light.y;
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
    if (!m_program.Build(kSubPlacement, kSubFragmentMain))
        return;
    CPolyMesh hull;
    if (!mesh::BuildSubmersibleMesh(hull))
        return;
    indexCount = scene::UploadLitMesh(hull, m_vertex_array, m_vertex_buffer, m_index_buffer);
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
    m_program.Use(mvp * placement * Matrix4::Scale(-scale), mv * placement * Matrix4::Scale(scale));
    scene::DrawIndexedTriangles(m_vertex_array, indexCount);
}
