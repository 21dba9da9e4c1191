#include "scene/lit_program.h"

#include "mesh/processing.h"
#include "scene/lighting.h"
#include "scene/scene_gl.h"

#include <string>
#include <vector>

namespace scene {

bool LitProgram::Build(const char* placement, const char* fragment_main)
{
    const std::string vertex = LitVertexShader(placement);
    const std::string fragment = LitFragmentShader(fragment_main);
    if (!BuildProgram(m_program, vertex.c_str(), fragment.c_str(), kLitConfig))
        return false;
    m_mvp = scene::Uniform(m_program, "t_mvp");
    m_mv = scene::Uniform(m_program, "t_mv");
    glUseProgram(m_program);
    glUniform1i(scene::Uniform(m_program, "n_tex"), 0);
    return true;
}

void LitProgram::Use(const Matrix4& mvp, const Matrix4& mv) const
{
    glUseProgram(m_program);
    SetMatrix(m_mvp, mvp);
    SetMatrix(m_mv, mv);
}

GLint LitProgram::Uniform(const char* name) const
{
    return scene::Uniform(m_program, name);
}

uint32_t UploadLitMesh(const CPolyMesh& mesh, GLuint vertex_array, GLuint vertex_buffer, GLuint index_buffer)
{
    std::vector<float> floats;
    std::vector<uint32_t> indices;
    if (!mesh::ExportArrays(mesh, true, false, floats, indices))
        return 0;
    // Position, normal, texture s t, at the locations kLitConfig binds.
    if (!UploadIndexedMesh(vertex_array, vertex_buffer, index_buffer, floats, indices,
                           {{0, 3, 0}, {1, 3, 12}, {2, 2, 24}}, 32))
        return 0;
    return uint32_t(indices.size());
}

}  // namespace scene
