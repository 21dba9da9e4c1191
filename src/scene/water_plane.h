// The water surface y = 0 as geometry: three triangles sharing the origin
// whose other corners are points at infinity (w = 0), so the plane has no
// edge however far the camera sees. Counter-clockwise seen from +y, which
// lets back-face culling choose between the surface programs drawn on it
// (CWaterAbove from above, CWaterBelow from below with the front face
// inverted).
#pragma once

#include "gl/gl_object.h"

class CWaterPlane {
public:
    // Uploads the nine homogeneous vertices; nothing when a GL name is missing.
    CWaterPlane();

    // Binds the vertex array, draws the triangles, re-binds
    // `default_vertex_array`. Draws nothing when construction failed.
    void Draw() const;

    GLenum Mode() const { return m_mode; }                  // GL_TRIANGLES
    GLsizei VertexCount() const { return m_vertex_count; }  // 9, or 0 when construction failed

private:
    GLBuffer m_vertex_buffer;
    GLVertexArray m_vertex_array;
    GLenum m_mode = GL_TRIANGLES;
    GLsizei m_vertex_count = 0;
};
