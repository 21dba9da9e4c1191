// Scene objects: the renderable parts of the demo (sky, terrain and sea
// floor, water surface, buoys, submersible) and the small flat, textured and
// point programs, one source pair each, with their ES 2.0 shader sources as
// string constants beside them.
//
// The application builds each object once at start-up with the GL context
// current; the frame renderer then calls its draw operations with the
// matrices of the pass. An object owns its buffers, vertex arrays, programs
// and textures through the owning handles of gl/gl_object.h. Geometry is
// made with the mesh library and discarded once it is in GL buffers. A
// construction step that fails leaves the object's index count at 0, and the
// object then draws nothing; the program builder has already said why on
// standard error. Every draw binds its own vertex array and then
// `default_vertex_array` again. GL thread only.
//
// This header holds the few steps every object repeats.
#pragma once

#include "gl/gl_object.h"
#include "image/texture.h"
#include "math/matrix4.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace scene {

// Loads a scene texture (LoadTexture: by extension, mipmapped, a placeholder
// when the file cannot be read) and samples it from the nearest mipmap level
// only. Blending two levels doubled the cost of every textured pixel in the
// software rasteriser and changed no frame by more than a shade (frames
// differ from trilinear ones by over 65 dB PSNR).
void LoadSceneTexture(const char* file_name, TTexture& texture);

// Builds `program` from ES 2.0 sources and a configuration string. On
// failure the program is deleted, so its holder keeps a zero handle.
bool BuildProgram(GLProgram& program, const char* vertex_source, const char* fragment_source, const char* config);

// Location of `name` in `program`; -1 when absent (uploads to -1 are ignored).
GLint Uniform(const GLProgram& program, const char* name);

// Uploads a matrix uniform as stored (column-major, no transpose).
void SetMatrix(GLint location, const Matrix4& m);

// One float attribute of an interleaved vertex.
struct VertexAttribute {
    GLuint location;  // attribute location bound by the configuration string
    GLint size;       // floats
    size_t offset;    // bytes from the start of the vertex
};

// Binds `vertex_array`, uploads `indices` and `floats` (with `usage`:
// GL_DYNAMIC_DRAW for meshes remade often, such as text) and points the
// attributes at the interleaved floats; re-binds `default_vertex_array`.
// False, with nothing uploaded, when a name is 0 or the arrays are empty.
bool UploadIndexedMesh(GLuint vertex_array, GLuint vertex_buffer, GLuint index_buffer, const std::vector<float>& floats,
                       const std::vector<uint32_t>& indices, std::initializer_list<VertexAttribute> attributes,
                       GLsizei stride, GLenum usage = GL_STATIC_DRAW);

// Binds `vertex_array`, draws `count` 32-bit indexed triangles from offset 0,
// re-binds `default_vertex_array`. Nothing happens when count is 0.
void DrawIndexedTriangles(GLuint vertex_array, uint32_t count);

}  // namespace scene
