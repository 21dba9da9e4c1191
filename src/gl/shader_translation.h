// Text side of running OpenGL ES 2.0 shaders on desktop OpenGL: choosing the
// desktop dialect from the context and shading-language versions, and
// rewriting an ES source for it.
//
// `CGLES20ExtensionHandler::Translate_ShaderSource` reads the versions from
// the context and calls these; they are plain C++ so the rewriting is tested
// and fuzzed without a context. Nothing here prints.
#pragma once

#include <string>
#include <string_view>

// How an ES 2.0 source becomes a desktop one.
enum class EShaderDialect {
    kGLSL330,         // "#version 330" header with texture*D compatibility defines
    kGLSL130,         // "#version 130" header
    kStripPrecision,  // no header; precision statements removed
    kES,              // an ES context (a browser's WebGL): the source as it is
};

// ES 2.0 has fwidth, dFdx and dFdy only through an extension: a source that
// uses them without naming it gets its "#extension ... : enable" line, after
// a leading "#version" line when there is one.
void Enable_Derivatives(std::string& text);

// Whether a GL_VERSION string is an OpenGL ES context's: "OpenGL ES N.M ...".
bool Is_ESVersionString(const char* version);

// The "N.M" of a GL_VERSION or GL_SHADING_LANGUAGE_VERSION string: past the
// "OpenGL ES " (and "GLSL ES ") that ES contexts put before it.
const char* Skip_ESPrefix(const char* version);

// Parses "<int>.<int>" as scanf("%d.%d") would; returns how many numbers
// were read (0, 1 or 2). Out-of-range numbers saturate.
int Scan_Version(const char* text, int& major, int& minor);

// Dialect for a context version and a shading-language version. Versions
// compare as integer pairs: shading language "3.30" has minor thirty.
EShaderDialect Choose_ShaderDialect(int gl_major, int gl_minor, int glsl_major, int glsl_minor);

// Removes every "#version ..." directive of `text`, keeping the line break
// that ended it. Returns how many directives did not end at a line break.
int Remove_VersionDirectives(std::string& text);

// Erases every statement "precision <lowp|mediump|highp> <type>;".
void Strip_PrecisionStatements(std::string& text);

// Writes the desktop source for `source` into `out` (replacing its
// contents). `version_warnings` receives the count of directives that did not
// end at a line break. False when memory runs out.
bool Translate_ShaderText(std::string_view source, bool is_fragment, EShaderDialect dialect,
                          std::string& out, int& version_warnings);
