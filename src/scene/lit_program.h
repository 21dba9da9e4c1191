// The program of the objects the scene's light falls on (the buoy ball, the
// submersible): built from the lit stages of lighting.h, with their matrix
// uniforms, and their meshes uploaded in the lit vertex stage's layout.
// GL thread only.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"
#include "mesh/poly_mesh.h"

#include <cstdint>

namespace scene {

class LitProgram {
public:
    // Builds LitVertexShader(placement) with LitFragmentShader(fragment_main),
    // finds the matrices and points a sampler `n_tex`, where the fragment
    // main has one, at texture unit 0. False, with a zero program, when the
    // build fails.
    bool Build(const char* placement, const char* fragment_main);

    // Makes the program current with its matrices: `mv` places the normals
    // and the light, `mvp` the vertices.
    void Use(const Matrix4& mvp, const Matrix4& mv) const;

    // Location of a uniform of the placement or the fragment main; -1 when absent.
    GLint Uniform(const char* name) const;

private:
    GLProgram m_program;
    GLint m_mvp = -1, m_mv = -1;
};

// Exports the mesh with normals and texture coordinates and uploads it to
// the buffers for the lit vertex stage. The index count; 0, with nothing
// drawable, when the export or upload fails.
uint32_t UploadLitMesh(const CPolyMesh& mesh, GLuint vertex_array, GLuint vertex_buffer, GLuint index_buffer);

}  // namespace scene
