// Owning handles for GL object names.
//
// Every GL object of the program (buffers, vertex arrays, textures,
// programs, shaders, framebuffers, renderbuffers) lives in one of these, so
// no class writes a destructor for its GL members. A handle is move-only; it
// deletes its name only when the name is non-zero and then sets it to zero.
// Draw code sees the plain name: a handle converts to GLuint, and `Ref()`
// hands out the name by reference for calls that create or rebuild it in
// place (`Create_ShaderProgram`). The handle types differ, so a texture
// cannot be passed where a buffer is meant. GL thread only; destroying a
// non-empty handle needs the context that made the name.
#pragma once

#include "gl/gles20.h"

#include <utility>

template <class Traits>
class GLObject {
public:
    GLObject() = default;
    explicit GLObject(GLuint name) : m_name(name) {}
    ~GLObject() { Reset(); }
    GLObject(const GLObject&) = delete;
    GLObject& operator=(const GLObject&) = delete;
    GLObject(GLObject&& other) noexcept : m_name(std::exchange(other.m_name, 0)) {}
    GLObject& operator=(GLObject&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.m_name, 0));
        return *this;
    }

    // Makes a new name (glGen* or glCreate*; a shader takes its stage),
    // deleting the old one first. The name stays 0 when the driver refuses.
    template <class... Args>
    void Create(Args... args)
    {
        Reset();
        m_name = Traits::Create(args...);
    }
    // Deletes the name when it is non-zero, then sets it to zero.
    void Reset()
    {
        if (m_name != 0) {
            Traits::Delete(m_name);
            m_name = 0;
        }
    }
    // Takes ownership of `name`, deleting the old one first. Handing a
    // handle its own name keeps it (deleting it would leave a dead name).
    void Reset(GLuint name)
    {
        if (name == m_name)
            return;
        Reset();
        m_name = name;
    }
    // Gives up ownership without deleting.
    [[nodiscard]] GLuint Release() { return std::exchange(m_name, 0); }

    GLuint Get() const { return m_name; }
    GLuint& Ref() { return m_name; }  // for calls that create or rebuild the name in place
    operator GLuint() const { return m_name; }
    explicit operator bool() const { return m_name != 0; }

private:
    GLuint m_name = 0;
};

namespace gl_object_traits {
struct Buffer {
    static GLuint Create() { GLuint n = 0; glGenBuffers(1, &n); return n; }
    static void Delete(GLuint n) { glDeleteBuffers(1, &n); }
};
struct VertexArray {
    static GLuint Create() { GLuint n = 0; glGenVertexArrays(1, &n); return n; }
    static void Delete(GLuint n) { glDeleteVertexArrays(1, &n); }
};
struct Texture {
    static GLuint Create() { GLuint n = 0; glGenTextures(1, &n); return n; }
    static void Delete(GLuint n) { glDeleteTextures(1, &n); }
};
struct Program {
    static GLuint Create() { return glCreateProgram(); }
    static void Delete(GLuint n) { glDeleteProgram(n); }
};
struct Shader {
    static GLuint Create(GLenum stage) { return glCreateShader(stage); }
    static void Delete(GLuint n) { glDeleteShader(n); }
};
struct Framebuffer {
    static GLuint Create() { GLuint n = 0; glGenFramebuffers(1, &n); return n; }
    static void Delete(GLuint n) { glDeleteFramebuffers(1, &n); }
};
struct Renderbuffer {
    static GLuint Create() { GLuint n = 0; glGenRenderbuffers(1, &n); return n; }
    static void Delete(GLuint n) { glDeleteRenderbuffers(1, &n); }
};
}  // namespace gl_object_traits

using GLBuffer = GLObject<gl_object_traits::Buffer>;
using GLVertexArray = GLObject<gl_object_traits::VertexArray>;
using GLTexture = GLObject<gl_object_traits::Texture>;
using GLProgram = GLObject<gl_object_traits::Program>;
using GLFramebuffer = GLObject<gl_object_traits::Framebuffer>;
using GLRenderbuffer = GLObject<gl_object_traits::Renderbuffer>;
using GLShader = GLObject<gl_object_traits::Shader>;
