// OpenGL ES 2.0 on desktop OpenGL: the one header every GL-using file includes.
//
// It brings the GL types and constants (<GL/gl.h>, <GL/glext.h> without
// prototypes) and `CGLES20ExtensionHandler`, the process-wide layer that makes
// a desktop context look like an ES 2.0 one: it resolves the ES 2.0 entry
// points beyond OpenGL 1.1 (some under ARB or EXT names), creates the default
// vertex-array object, answers extension queries and rewrites ES shader
// sources for the running context. The program entry calls `Init_GLES20` and
// `Init_VertexArrayObject` once, right after the context exists; everything
// else then calls the entry points by their ES names (glCreateShader, ...),
// which this header maps onto the handler's pointers. The handler owns those
// pointers and `default_vertex_array`; it has no instances. Every operation
// runs on the thread that has the context current.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/gl_lookup.h"

// Vertex-array object bound between draws: every draw binds its own vertex
// array, draws, and binds this one again. 0 when the context has none.
extern GLuint default_vertex_array;

// The entry points, written once: X(pointer type, ES name, name looked up).
// The class declares one pointer per row, gles20.cpp defines them and looks
// them up in this order, and the build writes "gl/gles20_names.h" from these
// rows: the macros that make each ES name mean the handler's pointer. The
// ES 2.0 set beyond OpenGL 1.1 is ordered by ES name; where the looked-up name
// differs, the pointer stands for the ES function all the same.
#define NERELLE_GLES20_ENTRY_POINTS(X)                                                                      \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture, "glActiveTexture")                                           \
    X(PFNGLATTACHSHADERPROC, glAttachShader, "glAttachObjectARB")                                           \
    X(PFNGLBINDATTRIBLOCATIONPROC, glBindAttribLocation, "glBindAttribLocation")                            \
    X(PFNGLBINDBUFFERPROC, glBindBuffer, "glBindBuffer")                                                    \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer, "glBindFramebufferEXT")                                  \
    X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer, "glBindRenderbufferEXT")                               \
    X(PFNGLBLENDCOLORPROC, glBlendColor, "glBlendColor")                                                    \
    X(PFNGLBLENDEQUATIONPROC, glBlendEquation, "glBlendEquation")                                           \
    X(PFNGLBLENDEQUATIONSEPARATEPROC, glBlendEquationSeparate, "glBlendEquationSeparate")                   \
    X(PFNGLBLENDFUNCSEPARATEPROC, glBlendFuncSeparate, "glBlendFuncSeparate")                               \
    X(PFNGLBUFFERDATAPROC, glBufferData, "glBufferData")                                                    \
    X(PFNGLBUFFERSUBDATAPROC, glBufferSubData, "glBufferSubData")                                           \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus, "glCheckFramebufferStatusEXT")             \
    X(PFNGLCLEARDEPTHFPROC, glClearDepthf, "glClearDepthf")                                                 \
    X(PFNGLCOMPILESHADERPROC, glCompileShader, "glCompileShaderARB")                                        \
    X(PFNGLCOMPRESSEDTEXIMAGE2DPROC, glCompressedTexImage2D, "glCompressedTexImage2D")                      \
    X(PFNGLCOMPRESSEDTEXSUBIMAGE2DPROC, glCompressedTexSubImage2D, "glCompressedTexSubImage2D")             \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram, "glCreateProgramObjectARB")                                  \
    X(PFNGLCREATESHADERPROC, glCreateShader, "glCreateShaderObjectARB")                                     \
    X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers, "glDeleteBuffers")                                           \
    X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers, "glDeleteFramebuffersEXT")                         \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram, "glDeleteProgram")                                           \
    X(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers, "glDeleteRenderbuffersEXT")                      \
    X(PFNGLDELETESHADERPROC, glDeleteShader, "glDeleteObjectARB")                                           \
    X(PFNGLDEPTHRANGEFPROC, glDepthRangef, "glDepthRangef")                                                 \
    X(PFNGLDETACHSHADERPROC, glDetachShader, "glDetachObjectARB")                                           \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, glDisableVertexAttribArray, "glDisableVertexAttribArray")          \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray, "glEnableVertexAttribArray")             \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer, "glFramebufferRenderbufferEXT")          \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, glFramebufferTexture2D, "glFramebufferTexture2DEXT")                   \
    X(PFNGLGENBUFFERSPROC, glGenBuffers, "glGenBuffers")                                                    \
    X(PFNGLGENERATEMIPMAPPROC, glGenerateMipmap, "glGenerateMipmap")                                        \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers, "glGenFramebuffersEXT")                                  \
    X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers, "glGenRenderbuffersEXT")                               \
    X(PFNGLGETACTIVEATTRIBPROC, glGetActiveAttrib, "glGetActiveAttrib")                                     \
    X(PFNGLGETACTIVEUNIFORMPROC, glGetActiveUniform, "glGetActiveUniformARB")                               \
    X(PFNGLGETATTACHEDSHADERSPROC, glGetAttachedShaders, "glGetAttachedObjectsARB")                         \
    X(PFNGLGETATTRIBLOCATIONPROC, glGetAttribLocation, "glGetAttribLocation")                               \
    X(PFNGLGETBUFFERPARAMETERIVPROC, glGetBufferParameteriv, "glGetBufferParameteriv")                      \
    X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC, glGetFramebufferAttachmentParameteriv,                  \
      "glGetFramebufferAttachmentParameterivEXT")                                                           \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv, "glGetObjectParameterivARB")                                   \
    X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog, "glGetInfoLogARB")                                   \
    X(PFNGLGETRENDERBUFFERPARAMETERIVPROC, glGetRenderbufferParameteriv, "glGetRenderbufferParameterivEXT") \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv, "glGetShaderiv")                                                 \
    X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog, "glGetShaderInfoLog")                                  \
    X(PFNGLGETSHADERPRECISIONFORMATPROC, glGetShaderPrecisionFormat, "glGetShaderPrecisionFormat")          \
    X(PFNGLGETSHADERSOURCEPROC, glGetShaderSource, "glGetShaderSourceARB")                                  \
    X(PFNGLGETUNIFORMFVPROC, glGetUniformfv, "glGetUniformfvARB")                                           \
    X(PFNGLGETUNIFORMIVPROC, glGetUniformiv, "glGetUniformivARB")                                           \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation, "glGetUniformLocationARB")                         \
    X(PFNGLGETVERTEXATTRIBFVPROC, glGetVertexAttribfv, "glGetVertexAttribfv")                               \
    X(PFNGLGETVERTEXATTRIBIVPROC, glGetVertexAttribiv, "glGetVertexAttribiv")                               \
    X(PFNGLGETVERTEXATTRIBPOINTERVPROC, glGetVertexAttribPointerv, "glGetVertexAttribPointerv")             \
    X(PFNGLISBUFFERPROC, glIsBuffer, "glIsBuffer")                                                          \
    X(PFNGLISFRAMEBUFFERPROC, glIsFramebuffer, "glIsFramebufferEXT")                                        \
    X(PFNGLISPROGRAMPROC, glIsProgram, "glIsProgram")                                                       \
    X(PFNGLISRENDERBUFFERPROC, glIsRenderbuffer, "glIsRenderbufferEXT")                                     \
    X(PFNGLISSHADERPROC, glIsShader, "glIsShader")                                                          \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram, "glLinkProgramARB")                                              \
    X(PFNGLRELEASESHADERCOMPILERPROC, glReleaseShaderCompiler, "glReleaseShaderCompiler")                   \
    X(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage, "glRenderbufferStorageEXT")                      \
    X(PFNGLSAMPLECOVERAGEPROC, glSampleCoverage, "glSampleCoverage")                                        \
    X(PFNGLSHADERBINARYPROC, glShaderBinary, "glShaderBinary")                                              \
    X(PFNGLSHADERSOURCEPROC, glShaderSource, "glShaderSourceARB")                                           \
    X(PFNGLSTENCILFUNCSEPARATEPROC, glStencilFuncSeparate, "glStencilFuncSeparate")                         \
    X(PFNGLSTENCILMASKSEPARATEPROC, glStencilMaskSeparate, "glStencilMaskSeparate")                         \
    X(PFNGLSTENCILOPSEPARATEPROC, glStencilOpSeparate, "glStencilOpSeparate")                               \
    X(PFNGLUNIFORM1FPROC, glUniform1f, "glUniform1f")                                                       \
    X(PFNGLUNIFORM2FPROC, glUniform2f, "glUniform2f")                                                       \
    X(PFNGLUNIFORM3FPROC, glUniform3f, "glUniform3f")                                                       \
    X(PFNGLUNIFORM4FPROC, glUniform4f, "glUniform4f")                                                       \
    X(PFNGLUNIFORM1IPROC, glUniform1i, "glUniform1i")                                                       \
    X(PFNGLUNIFORM2IPROC, glUniform2i, "glUniform2i")                                                       \
    X(PFNGLUNIFORM3IPROC, glUniform3i, "glUniform3i")                                                       \
    X(PFNGLUNIFORM4IPROC, glUniform4i, "glUniform4i")                                                       \
    X(PFNGLUNIFORM1FVPROC, glUniform1fv, "glUniform1fv")                                                    \
    X(PFNGLUNIFORM2FVPROC, glUniform2fv, "glUniform2fv")                                                    \
    X(PFNGLUNIFORM3FVPROC, glUniform3fv, "glUniform3fv")                                                    \
    X(PFNGLUNIFORM4FVPROC, glUniform4fv, "glUniform4fv")                                                    \
    X(PFNGLUNIFORM1IVPROC, glUniform1iv, "glUniform1iv")                                                    \
    X(PFNGLUNIFORM2IVPROC, glUniform2iv, "glUniform2iv")                                                    \
    X(PFNGLUNIFORM3IVPROC, glUniform3iv, "glUniform3iv")                                                    \
    X(PFNGLUNIFORM4IVPROC, glUniform4iv, "glUniform4iv")                                                    \
    X(PFNGLUNIFORMMATRIX2FVPROC, glUniformMatrix2fv, "glUniformMatrix2fv")                                  \
    X(PFNGLUNIFORMMATRIX3FVPROC, glUniformMatrix3fv, "glUniformMatrix3fv")                                  \
    X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv, "glUniformMatrix4fv")                                  \
    X(PFNGLUSEPROGRAMPROC, glUseProgram, "glUseProgramObjectARB")                                           \
    X(PFNGLVALIDATEPROGRAMPROC, glValidateProgram, "glValidateProgramARB")                                  \
    X(PFNGLVERTEXATTRIB1FPROC, glVertexAttrib1f, "glVertexAttrib1f")                                        \
    X(PFNGLVERTEXATTRIB1FVPROC, glVertexAttrib1fv, "glVertexAttrib1fv")                                     \
    X(PFNGLVERTEXATTRIB2FPROC, glVertexAttrib2f, "glVertexAttrib2f")                                        \
    X(PFNGLVERTEXATTRIB2FVPROC, glVertexAttrib2fv, "glVertexAttrib2fv")                                     \
    X(PFNGLVERTEXATTRIB3FPROC, glVertexAttrib3f, "glVertexAttrib3f")                                        \
    X(PFNGLVERTEXATTRIB3FVPROC, glVertexAttrib3fv, "glVertexAttrib3fv")                                     \
    X(PFNGLVERTEXATTRIB4FPROC, glVertexAttrib4f, "glVertexAttrib4f")                                        \
    X(PFNGLVERTEXATTRIB4FVPROC, glVertexAttrib4fv, "glVertexAttrib4fv")                                     \
    X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer, "glVertexAttribPointer")

#define NERELLE_VERTEX_ARRAY_ENTRY_POINTS(X)                                     \
    X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray, "glBindVertexArray")          \
    X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays, "glDeleteVertexArrays") \
    X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays, "glGenVertexArrays")          \
    X(PFNGLISVERTEXARRAYPROC, glIsVertexArray, "glIsVertexArray")

// Multisampled renderbuffer storage and framebuffer blitting, for
// multisampled off-screen images. Optional: looked up under these names from
// OpenGL 3.0 or GL_ARB_framebuffer_object, with "EXT" appended where only the
// EXT framebuffer blit and multisample extensions offer them, and left null
// otherwise (images are then single-sample).
#define NERELLE_MULTISAMPLE_ENTRY_POINTS(X)                                                                         \
    X(PFNGLBLITFRAMEBUFFERPROC, glBlitFramebuffer, "glBlitFramebuffer")                                             \
    X(PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC, glRenderbufferStorageMultisample, "glRenderbufferStorageMultisample")

class CGLES20ExtensionHandler {
public:
    CGLES20ExtensionHandler() = delete;

    // --- initialisation ---

    // Resolves the 97 ES 2.0 entry points; returns how many did not resolve.
    // When all did, also reads the version once so a bad version string is
    // reported at start-up. Then resolves the 2 optional multisample entry
    // points, which count neither as unresolved nor as missing.
    static int Init_GLES20();
    // Resolves the 4 vertex-array entry points and, when the context offers
    // GL_ARB_vertex_array_object, creates and binds `default_vertex_array`.
    // Returns how many of the 4 did not resolve.
    static int Init_VertexArrayObject();
    // Names (as looked up) that the last two initialisations could not
    // resolve, in lookup order, so start-up can name them and stop rather than
    // crash later through a null pointer. Mesa hands out a dispatch stub for
    // almost any name, so an empty list there does not prove the context
    // implements every function.
    static std::vector<const char*> Missing_EntryPoints();

    // --- queries ---

    // (major, minor) of GL_VERSION; (-1, -1), with a message, when the string
    // is missing or malformed.
    static std::pair<int, int> Get_GLVersion();
    // Whole-name match against the context's extension list (glGetStringi
    // where it exists, otherwise the space-separated GL_EXTENSIONS string).
    static bool Has_Extension(const char* name);
    // Whether the context is an OpenGL ES one (a browser's WebGL): its
    // shaders run as written, and desktop-only state does not exist.
    static bool Is_ESContext();
    // The internal format to create a texture with: as asked on the
    // desktop; on ES, which converts nothing, the format of the data.
    static GLenum Texture_InternalFormat(GLenum internal_format, GLenum data_format);

    // --- shader sources ---

    // Rewrites an ES 2.0 source for the running context (GLSL 3.30 or 1.30
    // header, or precision statements stripped for older ones). Null when
    // memory runs out.
    static std::unique_ptr<char[]> Translate_ShaderSource(const char* source, bool is_fragment);
    // Stands in for glShaderSource: translates vertex and fragment sources
    // according to the shader's type, then hands the first string over.
    static void Set_ShaderSource(GLuint shader, const GLchar* const* sources, const GLint* lengths);

    // --- where the strings come from ---

    // The GL queries the handler reads. Tests replace them to play contexts
    // of other versions; the defaults are the real GL and platform lookup.
    struct TQueries {
        const GLubyte*(GLAPIENTRY* GetString)(GLenum name);
        void(GLAPIENTRY* GetIntegerv)(GLenum name, GLint* data);
        platform::GLProc (*GetProcAddress)(const char* name);
    };
    static TQueries Default_Queries();
    // Installs `queries` and forgets the cached glGetStringi.
    static void Set_Queries(const TQueries& queries);

    // --- entry points (97 ES 2.0, the 4 vertex-array and the 2 multisample ones) ---
#define NERELLE_DECLARE_ENTRY_POINT(type, name, lookup) static type name;
    NERELLE_GLES20_ENTRY_POINTS(NERELLE_DECLARE_ENTRY_POINT)
    NERELLE_VERTEX_ARRAY_ENTRY_POINTS(NERELLE_DECLARE_ENTRY_POINT)
    NERELLE_MULTISAMPLE_ENTRY_POINTS(NERELLE_DECLARE_ENTRY_POINT)
#undef NERELLE_DECLARE_ENTRY_POINT
};

// Callers use the ES names; each one is the handler's pointer. The file that
// defines the pointers opts out.
#ifndef NERELLE_GLES20_DEFINE_POINTERS
#include "gl/gles20_names.h"
#endif
