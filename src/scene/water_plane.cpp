#include "scene/water_plane.h"

namespace {

// x, y, z, w: the origin and, with w = 0, the directions to the horizon.
constexpr float kPlaneVertices[9][4] = {
    {0, 0, 0, 1}, {1, 0, 0, 0},  {-1, 0, -1, 0},
    {0, 0, 0, 1}, {-1, 0, -1, 0}, {-1, 0, 1, 0},
    {0, 0, 0, 1}, {-1, 0, 1, 0}, {1, 0, 0, 0},
};
static_assert(sizeof(kPlaneVertices) == 144);

}  // namespace

CWaterPlane::CWaterPlane()
{
    vertexBuffer.Create();
    vertexArray.Create();
    if (vertexBuffer == 0 || vertexArray == 0)
        return;
    glBindVertexArray(vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kPlaneVertices), kPlaneVertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 16, nullptr);
    glBindVertexArray(default_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    vertexCount = 9;
}

void CWaterPlane::Draw() const
{
    if (vertexCount == 0)
        return;
    glBindVertexArray(vertexArray);
    glDrawArrays(mode, 0, vertexCount);
    glBindVertexArray(default_vertex_array);
}
