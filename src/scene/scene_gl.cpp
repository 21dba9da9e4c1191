#include "scene/scene_gl.h"

#include "gl/shader_program.h"

#include <string>

namespace scene {

void LoadSceneTexture(const char* file_name, TTexture& texture)
{
    LoadTexture(file_name, texture, GL_RGB);
    if (!texture.name)
        return;
    glBindTexture(texture.target, texture.name);
    glTexParameteri(texture.target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
}

bool BuildProgram(GLProgram& program, const char* vertex_source, const char* fragment_source, const char* config)
{
    // The builder prints the failing step's log; a successful build's
    // warnings are not worth showing.
    std::string config_log, compile_log, link_log;
    if (Create_ShaderProgram(config_log, compile_log, program.Ref(), vertex_source, fragment_source, config, link_log))
        return true;
    program.Reset();
    return false;
}

GLint Uniform(const GLProgram& program, const char* name)
{
    return program ? glGetUniformLocation(program, name) : -1;
}

void SetMatrix(GLint location, const Matrix4& m)
{
    glUniformMatrix4fv(location, 1, GL_FALSE, m.Data());
}

bool UploadIndexedMesh(GLuint vertex_array, GLuint vertex_buffer, GLuint index_buffer, const std::vector<float>& floats,
                       const std::vector<uint32_t>& indices, std::initializer_list<VertexAttribute> attributes,
                       GLsizei stride, GLenum usage)
{
    if (vertex_array == 0 || vertex_buffer == 0 || index_buffer == 0 || floats.empty() || indices.empty())
        return false;
    glBindVertexArray(vertex_array);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, index_buffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(uint32_t)), indices.data(), usage);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(floats.size() * sizeof(float)), floats.data(), usage);
    for (const VertexAttribute& a : attributes) {
        glEnableVertexAttribArray(a.location);
        glVertexAttribPointer(a.location, a.size, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(a.offset));
    }
    glBindVertexArray(default_vertex_array);
    // The element binding belongs to the vertex array; the array binding
    // does not, so it is cleared here rather than left for the next object.
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return true;
}

void DrawIndexedTriangles(GLuint vertex_array, uint32_t count)
{
    if (count == 0)
        return;
    glBindVertexArray(vertex_array);
    glDrawElements(GL_TRIANGLES, GLsizei(count), GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(default_vertex_array);
}

}  // namespace scene
