#include "gl/shader_program.h"

#include "gl/gl_object.h"
#include "gl/shader_config.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

// Appending to a message buffer never throws; a failed append fails the step.
bool Append(std::string& log, const char* text)
{
    try {
        log += text;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Compiles one stage into `program`; false when it did not compile or the
// log could not be kept. The handle deletes the shader on return, after it
// was attached; GL then only flags it, so it lives as long as it is attached
// and a rebuild that detaches it destroys it.
bool CompileStage(GLuint program, GLenum type, const char* source, const char* header, std::string& log)
{
    GLShader shader;
    shader.Create(type);
    if (!shader)
        return true;  // the driver would not make one: the stage is skipped

    const GLint source_length = static_cast<GLint>(std::strlen(source));
    CGLES20ExtensionHandler::Set_ShaderSource(shader, &source, &source_length);
    glCompileShader(shader);
    GLint status = 0, log_length = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &log_length);

    bool kept = true;
    if (log_length > 1) {
        std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<size_t>(log_length) + 1]);
        if (!text) {
            kept = false;
        } else {
            text[0] = '\0';
            glGetShaderInfoLog(shader, log_length + 1, nullptr, text.get());
            text[log_length] = '\0';
            kept = (log.empty() || Append(log, "\n\n")) && Append(log, header) && Append(log, text.get());
        }
    }

    glAttachShader(program, shader);
    return kept && status == 1;
}

}  // namespace

bool Compile_Shaders(GLuint& program, const char* vertex_source, const char* fragment_source, std::string& log)
{
    log.clear();
    if (program) {
        GLint count = 0;
        glGetProgramiv(program, GL_ATTACHED_SHADERS, &count);
        if (count > 0) {
            std::unique_ptr<GLuint[]> shaders(new (std::nothrow) GLuint[static_cast<size_t>(count)]);
            if (!shaders)
                return false;
            GLsizei fetched = 0;
            glGetAttachedShaders(program, count, &fetched, shaders.get());
            for (GLsizei i = 0; i < fetched && i < count; ++i)
                glDetachShader(program, shaders[i]);
        }
    } else {
        program = glCreateProgram();
        if (!program)
            return false;
    }

    if (vertex_source && !CompileStage(program, GL_VERTEX_SHADER, vertex_source, kVertexShaderLogHeader, log))
        return false;
    if (fragment_source && !CompileStage(program, GL_FRAGMENT_SHADER, fragment_source, kFragmentShaderLogHeader, log))
        return false;
    return true;
}

bool Configure_Program(GLuint& program, const char* config, std::string& log)
{
    if (!program) {
        program = glCreateProgram();
        if (!program)
            return false;
    }
    log.clear();
    if (!Append(log, kProgramLogHeader))
        return false;

    std::vector<TAttributeBinding> bindings;
    const bool parsed = Parse_ShaderConfig(config, log, bindings);
    // Entries read before an error are bound all the same. GL errors of the
    // binding (a location past the attribute limit, a reserved name) are
    // left to the link.
    for (const TAttributeBinding& binding : bindings)
        glBindAttribLocation(program, binding.location, binding.name.c_str());
    if (!parsed)
        return false;

    if (log == kProgramLogHeader)
        log.clear();
    return true;
}

bool Link_Program(std::string& log, GLuint program)
{
    log.clear();
    glLinkProgram(program);
    GLint status = 0, log_length = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &log_length);
    if (log_length > 1) {
        std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<size_t>(log_length) + 1]);
        if (!text)
            return false;
        text[0] = '\0';
        glGetProgramInfoLog(program, log_length + 1, nullptr, text.get());
        text[log_length] = '\0';
        if (!Append(log, kProgramLogHeader) || !Append(log, text.get()))
            return false;
    }
    return status == 1;
}

bool Create_ShaderProgram(std::string& config_log, std::string& compile_log, GLuint& program,
                          const char* vertex_source, const char* fragment_source, const char* config,
                          std::string& link_log)
{
    compile_log.clear();
    config_log.clear();
    link_log.clear();
    if (!Compile_Shaders(program, vertex_source, fragment_source, compile_log)) {
        std::fprintf(stderr, "error: while compiling shader:\n%s\n", compile_log.c_str());
        return false;
    }
    if (config && !Configure_Program(program, config, config_log)) {
        std::fprintf(stderr, "error: while configuring shader:\n%s\n", config_log.c_str());
        return false;
    }
    if (!Link_Program(link_log, program)) {
        std::fprintf(stderr, "error: while linking shader:\n%s\n", link_log.c_str());
        return false;
    }
    return true;
}
