// Shader programs built from an ES 2.0 vertex source, an ES 2.0 fragment
// source and a configuration string that fixes attribute locations.
//
// Every shaded object calls `Create_ShaderProgram` once with its inline
// texts and keeps the program handle: it then looks up its own uniforms,
// makes the program current and deletes it (glDeleteProgram) when it is
// destroyed. The three steps below are the parts of that call, in the order
// compile, configure, link; each clears and fills a message buffer of its
// own. Only `Create_ShaderProgram` prints, one "error: ..." block on
// standard error for the failing step. GL thread only.
#pragma once

#include "gl/gles20.h"

#include <string>

// Section headers of the message buffers.
inline constexpr char kVertexShaderLogHeader[] = "=== vertex shader (OpenGL ES core) ===\n";
inline constexpr char kFragmentShaderLogHeader[] = "=== fragment shader (OpenGL ES core) ===\n";
inline constexpr char kProgramLogHeader[] = "=== shader (OpenGL ES core) ===\n";

// Builds `program` (created when 0, rebuilt in place otherwise). A null
// `config` skips the configuration step. True when the program linked.
bool Create_ShaderProgram(std::string& config_log, std::string& compile_log, GLuint& program,
                          const char* vertex_source, const char* fragment_source, const char* config,
                          std::string& link_log);

// Detaches (and so destroys) the shaders of a rebuilt program, or creates
// the program, then compiles and attaches the vertex and fragment stages
// (a null source skips its stage). The driver's logs go into `log`.
bool Compile_Shaders(GLuint& program, const char* vertex_source, const char* fragment_source, std::string& log);

// Binds the attribute locations of the configuration string's vertex blocks;
// warnings and the syntax error go into `log`, which is left empty when
// there is nothing to say.
bool Configure_Program(GLuint& program, const char* config, std::string& log);

// Links `program`; the driver's log goes into `log`. Not validated.
bool Link_Program(std::string& log, GLuint program);
