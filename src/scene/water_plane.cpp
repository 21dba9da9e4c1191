#include "scene/water_plane.h"

namespace {

// x, y, z, w: the origin and, with w = 0, the directions to the horizon.
// clang-format off
constexpr float kPlaneVertices[9][4] = {
    {0, 0, 0, 1}, {1, 0, 0, 0},  {-1, 0, -1, 0},
    {0, 0, 0, 1}, {-1, 0, -1, 0}, {-1, 0, 1, 0},
    {0, 0, 0, 1}, {-1, 0, 1, 0}, {1, 0, 0, 0},
};
// clang-format on
static_assert(sizeof(kPlaneVertices) == 144);

}  // namespace

CWaterPlane::CWaterPlane()
{
    m_vertex_buffer.Create();
    m_vertex_array.Create();
    if (m_vertex_buffer == 0 || m_vertex_array == 0)
        return;
    glBindVertexArray(m_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, m_vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kPlaneVertices), kPlaneVertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 16, nullptr);
    glBindVertexArray(default_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_vertex_count = 9;
}

void CWaterPlane::Draw() const
{
    if (m_vertex_count == 0)
        return;
    glBindVertexArray(m_vertex_array);
    glDrawArrays(m_mode, 0, m_vertex_count);
    glBindVertexArray(default_vertex_array);
}
