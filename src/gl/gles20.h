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

class CGLES20ExtensionHandler {
public:
    CGLES20ExtensionHandler() = delete;

    // --- initialisation ---

    // Resolves the 97 ES 2.0 entry points; returns how many did not resolve.
    // When all did, also reads the version once so a bad version string is
    // reported at start-up.
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

    // --- ES 2.0 entry points (loaded name where it differs from the ES one) ---
    static PFNGLACTIVETEXTUREPROC glActiveTexture;
    static PFNGLATTACHSHADERPROC glAttachShader;                              // glAttachObjectARB
    static PFNGLBINDATTRIBLOCATIONPROC glBindAttribLocation;
    static PFNGLBINDBUFFERPROC glBindBuffer;
    static PFNGLBINDFRAMEBUFFERPROC glBindFramebuffer;                        // glBindFramebufferEXT
    static PFNGLBINDRENDERBUFFERPROC glBindRenderbuffer;                      // glBindRenderbufferEXT
    static PFNGLBLENDCOLORPROC glBlendColor;
    static PFNGLBLENDEQUATIONPROC glBlendEquation;
    static PFNGLBLENDEQUATIONSEPARATEPROC glBlendEquationSeparate;
    static PFNGLBLENDFUNCSEPARATEPROC glBlendFuncSeparate;
    static PFNGLBUFFERDATAPROC glBufferData;
    static PFNGLBUFFERSUBDATAPROC glBufferSubData;
    static PFNGLCHECKFRAMEBUFFERSTATUSPROC glCheckFramebufferStatus;          // glCheckFramebufferStatusEXT
    static PFNGLCLEARDEPTHFPROC glClearDepthf;
    static PFNGLCOMPILESHADERPROC glCompileShader;                            // glCompileShaderARB
    static PFNGLCOMPRESSEDTEXIMAGE2DPROC glCompressedTexImage2D;
    static PFNGLCOMPRESSEDTEXSUBIMAGE2DPROC glCompressedTexSubImage2D;
    static PFNGLCREATEPROGRAMPROC glCreateProgram;                            // glCreateProgramObjectARB
    static PFNGLCREATESHADERPROC glCreateShader;                              // glCreateShaderObjectARB
    static PFNGLDELETEBUFFERSPROC glDeleteBuffers;
    static PFNGLDELETEFRAMEBUFFERSPROC glDeleteFramebuffers;                  // glDeleteFramebuffersEXT
    static PFNGLDELETEPROGRAMPROC glDeleteProgram;
    static PFNGLDELETERENDERBUFFERSPROC glDeleteRenderbuffers;                // glDeleteRenderbuffersEXT
    static PFNGLDELETESHADERPROC glDeleteShader;                              // glDeleteObjectARB
    static PFNGLDEPTHRANGEFPROC glDepthRangef;
    static PFNGLDETACHSHADERPROC glDetachShader;                              // glDetachObjectARB
    static PFNGLDISABLEVERTEXATTRIBARRAYPROC glDisableVertexAttribArray;
    static PFNGLENABLEVERTEXATTRIBARRAYPROC glEnableVertexAttribArray;
    static PFNGLFRAMEBUFFERRENDERBUFFERPROC glFramebufferRenderbuffer;        // glFramebufferRenderbufferEXT
    static PFNGLFRAMEBUFFERTEXTURE2DPROC glFramebufferTexture2D;              // glFramebufferTexture2DEXT
    static PFNGLGENBUFFERSPROC glGenBuffers;
    static PFNGLGENERATEMIPMAPPROC glGenerateMipmap;
    static PFNGLGENFRAMEBUFFERSPROC glGenFramebuffers;                        // glGenFramebuffersEXT
    static PFNGLGENRENDERBUFFERSPROC glGenRenderbuffers;                      // glGenRenderbuffersEXT
    static PFNGLGETACTIVEATTRIBPROC glGetActiveAttrib;
    static PFNGLGETACTIVEUNIFORMPROC glGetActiveUniform;                      // glGetActiveUniformARB
    static PFNGLGETATTACHEDSHADERSPROC glGetAttachedShaders;                  // glGetAttachedObjectsARB
    static PFNGLGETATTRIBLOCATIONPROC glGetAttribLocation;
    static PFNGLGETBUFFERPARAMETERIVPROC glGetBufferParameteriv;
    static PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC glGetFramebufferAttachmentParameteriv;  // glGetFramebufferAttachmentParameterivEXT
    static PFNGLGETPROGRAMIVPROC glGetProgramiv;                              // glGetObjectParameterivARB
    static PFNGLGETPROGRAMINFOLOGPROC glGetProgramInfoLog;                    // glGetInfoLogARB
    static PFNGLGETRENDERBUFFERPARAMETERIVPROC glGetRenderbufferParameteriv;  // glGetRenderbufferParameterivEXT
    static PFNGLGETSHADERIVPROC glGetShaderiv;
    static PFNGLGETSHADERINFOLOGPROC glGetShaderInfoLog;
    static PFNGLGETSHADERPRECISIONFORMATPROC glGetShaderPrecisionFormat;
    static PFNGLGETSHADERSOURCEPROC glGetShaderSource;                        // glGetShaderSourceARB
    static PFNGLGETUNIFORMFVPROC glGetUniformfv;                              // glGetUniformfvARB
    static PFNGLGETUNIFORMIVPROC glGetUniformiv;                              // glGetUniformivARB
    static PFNGLGETUNIFORMLOCATIONPROC glGetUniformLocation;                  // glGetUniformLocationARB
    static PFNGLGETVERTEXATTRIBFVPROC glGetVertexAttribfv;
    static PFNGLGETVERTEXATTRIBIVPROC glGetVertexAttribiv;
    static PFNGLGETVERTEXATTRIBPOINTERVPROC glGetVertexAttribPointerv;
    static PFNGLISBUFFERPROC glIsBuffer;
    static PFNGLISFRAMEBUFFERPROC glIsFramebuffer;                            // glIsFramebufferEXT
    static PFNGLISPROGRAMPROC glIsProgram;
    static PFNGLISRENDERBUFFERPROC glIsRenderbuffer;                          // glIsRenderbufferEXT
    static PFNGLISSHADERPROC glIsShader;
    static PFNGLLINKPROGRAMPROC glLinkProgram;                                // glLinkProgramARB
    static PFNGLRELEASESHADERCOMPILERPROC glReleaseShaderCompiler;
    static PFNGLRENDERBUFFERSTORAGEPROC glRenderbufferStorage;                // glRenderbufferStorageEXT
    static PFNGLSAMPLECOVERAGEPROC glSampleCoverage;
    static PFNGLSHADERBINARYPROC glShaderBinary;
    static PFNGLSHADERSOURCEPROC glShaderSource;                              // glShaderSourceARB
    static PFNGLSTENCILFUNCSEPARATEPROC glStencilFuncSeparate;
    static PFNGLSTENCILMASKSEPARATEPROC glStencilMaskSeparate;
    static PFNGLSTENCILOPSEPARATEPROC glStencilOpSeparate;
    static PFNGLUNIFORM1FPROC glUniform1f;
    static PFNGLUNIFORM2FPROC glUniform2f;
    static PFNGLUNIFORM3FPROC glUniform3f;
    static PFNGLUNIFORM4FPROC glUniform4f;
    static PFNGLUNIFORM1IPROC glUniform1i;
    static PFNGLUNIFORM2IPROC glUniform2i;
    static PFNGLUNIFORM3IPROC glUniform3i;
    static PFNGLUNIFORM4IPROC glUniform4i;
    static PFNGLUNIFORM1FVPROC glUniform1fv;
    static PFNGLUNIFORM2FVPROC glUniform2fv;
    static PFNGLUNIFORM3FVPROC glUniform3fv;
    static PFNGLUNIFORM4FVPROC glUniform4fv;
    static PFNGLUNIFORM1IVPROC glUniform1iv;
    static PFNGLUNIFORM2IVPROC glUniform2iv;
    static PFNGLUNIFORM3IVPROC glUniform3iv;
    static PFNGLUNIFORM4IVPROC glUniform4iv;
    static PFNGLUNIFORMMATRIX2FVPROC glUniformMatrix2fv;
    static PFNGLUNIFORMMATRIX3FVPROC glUniformMatrix3fv;
    static PFNGLUNIFORMMATRIX4FVPROC glUniformMatrix4fv;
    static PFNGLUSEPROGRAMPROC glUseProgram;                                  // glUseProgramObjectARB
    static PFNGLVALIDATEPROGRAMPROC glValidateProgram;                        // glValidateProgramARB
    static PFNGLVERTEXATTRIB1FPROC glVertexAttrib1f;
    static PFNGLVERTEXATTRIB1FVPROC glVertexAttrib1fv;
    static PFNGLVERTEXATTRIB2FPROC glVertexAttrib2f;
    static PFNGLVERTEXATTRIB2FVPROC glVertexAttrib2fv;
    static PFNGLVERTEXATTRIB3FPROC glVertexAttrib3f;
    static PFNGLVERTEXATTRIB3FVPROC glVertexAttrib3fv;
    static PFNGLVERTEXATTRIB4FPROC glVertexAttrib4f;
    static PFNGLVERTEXATTRIB4FVPROC glVertexAttrib4fv;
    static PFNGLVERTEXATTRIBPOINTERPROC glVertexAttribPointer;

    // --- vertex-array objects ---
    static PFNGLBINDVERTEXARRAYPROC glBindVertexArray;
    static PFNGLDELETEVERTEXARRAYSPROC glDeleteVertexArrays;
    static PFNGLGENVERTEXARRAYSPROC glGenVertexArrays;
    static PFNGLISVERTEXARRAYPROC glIsVertexArray;
};

// Callers use the ES names; each one is the handler's pointer. The file that
// defines the pointers opts out.
#ifndef NERELLE_GLES20_DEFINE_POINTERS
#define glActiveTexture CGLES20ExtensionHandler::glActiveTexture
#define glAttachShader CGLES20ExtensionHandler::glAttachShader
#define glBindAttribLocation CGLES20ExtensionHandler::glBindAttribLocation
#define glBindBuffer CGLES20ExtensionHandler::glBindBuffer
#define glBindFramebuffer CGLES20ExtensionHandler::glBindFramebuffer
#define glBindRenderbuffer CGLES20ExtensionHandler::glBindRenderbuffer
#define glBlendColor CGLES20ExtensionHandler::glBlendColor
#define glBlendEquation CGLES20ExtensionHandler::glBlendEquation
#define glBlendEquationSeparate CGLES20ExtensionHandler::glBlendEquationSeparate
#define glBlendFuncSeparate CGLES20ExtensionHandler::glBlendFuncSeparate
#define glBufferData CGLES20ExtensionHandler::glBufferData
#define glBufferSubData CGLES20ExtensionHandler::glBufferSubData
#define glCheckFramebufferStatus CGLES20ExtensionHandler::glCheckFramebufferStatus
#define glClearDepthf CGLES20ExtensionHandler::glClearDepthf
#define glCompileShader CGLES20ExtensionHandler::glCompileShader
#define glCompressedTexImage2D CGLES20ExtensionHandler::glCompressedTexImage2D
#define glCompressedTexSubImage2D CGLES20ExtensionHandler::glCompressedTexSubImage2D
#define glCreateProgram CGLES20ExtensionHandler::glCreateProgram
#define glCreateShader CGLES20ExtensionHandler::glCreateShader
#define glDeleteBuffers CGLES20ExtensionHandler::glDeleteBuffers
#define glDeleteFramebuffers CGLES20ExtensionHandler::glDeleteFramebuffers
#define glDeleteProgram CGLES20ExtensionHandler::glDeleteProgram
#define glDeleteRenderbuffers CGLES20ExtensionHandler::glDeleteRenderbuffers
#define glDeleteShader CGLES20ExtensionHandler::glDeleteShader
#define glDepthRangef CGLES20ExtensionHandler::glDepthRangef
#define glDetachShader CGLES20ExtensionHandler::glDetachShader
#define glDisableVertexAttribArray CGLES20ExtensionHandler::glDisableVertexAttribArray
#define glEnableVertexAttribArray CGLES20ExtensionHandler::glEnableVertexAttribArray
#define glFramebufferRenderbuffer CGLES20ExtensionHandler::glFramebufferRenderbuffer
#define glFramebufferTexture2D CGLES20ExtensionHandler::glFramebufferTexture2D
#define glGenBuffers CGLES20ExtensionHandler::glGenBuffers
#define glGenerateMipmap CGLES20ExtensionHandler::glGenerateMipmap
#define glGenFramebuffers CGLES20ExtensionHandler::glGenFramebuffers
#define glGenRenderbuffers CGLES20ExtensionHandler::glGenRenderbuffers
#define glGetActiveAttrib CGLES20ExtensionHandler::glGetActiveAttrib
#define glGetActiveUniform CGLES20ExtensionHandler::glGetActiveUniform
#define glGetAttachedShaders CGLES20ExtensionHandler::glGetAttachedShaders
#define glGetAttribLocation CGLES20ExtensionHandler::glGetAttribLocation
#define glGetBufferParameteriv CGLES20ExtensionHandler::glGetBufferParameteriv
#define glGetFramebufferAttachmentParameteriv CGLES20ExtensionHandler::glGetFramebufferAttachmentParameteriv
#define glGetProgramiv CGLES20ExtensionHandler::glGetProgramiv
#define glGetProgramInfoLog CGLES20ExtensionHandler::glGetProgramInfoLog
#define glGetRenderbufferParameteriv CGLES20ExtensionHandler::glGetRenderbufferParameteriv
#define glGetShaderiv CGLES20ExtensionHandler::glGetShaderiv
#define glGetShaderInfoLog CGLES20ExtensionHandler::glGetShaderInfoLog
#define glGetShaderPrecisionFormat CGLES20ExtensionHandler::glGetShaderPrecisionFormat
#define glGetShaderSource CGLES20ExtensionHandler::glGetShaderSource
#define glGetUniformfv CGLES20ExtensionHandler::glGetUniformfv
#define glGetUniformiv CGLES20ExtensionHandler::glGetUniformiv
#define glGetUniformLocation CGLES20ExtensionHandler::glGetUniformLocation
#define glGetVertexAttribfv CGLES20ExtensionHandler::glGetVertexAttribfv
#define glGetVertexAttribiv CGLES20ExtensionHandler::glGetVertexAttribiv
#define glGetVertexAttribPointerv CGLES20ExtensionHandler::glGetVertexAttribPointerv
#define glIsBuffer CGLES20ExtensionHandler::glIsBuffer
#define glIsFramebuffer CGLES20ExtensionHandler::glIsFramebuffer
#define glIsProgram CGLES20ExtensionHandler::glIsProgram
#define glIsRenderbuffer CGLES20ExtensionHandler::glIsRenderbuffer
#define glIsShader CGLES20ExtensionHandler::glIsShader
#define glLinkProgram CGLES20ExtensionHandler::glLinkProgram
#define glReleaseShaderCompiler CGLES20ExtensionHandler::glReleaseShaderCompiler
#define glRenderbufferStorage CGLES20ExtensionHandler::glRenderbufferStorage
#define glSampleCoverage CGLES20ExtensionHandler::glSampleCoverage
#define glShaderBinary CGLES20ExtensionHandler::glShaderBinary
#define glShaderSource CGLES20ExtensionHandler::glShaderSource
#define glStencilFuncSeparate CGLES20ExtensionHandler::glStencilFuncSeparate
#define glStencilMaskSeparate CGLES20ExtensionHandler::glStencilMaskSeparate
#define glStencilOpSeparate CGLES20ExtensionHandler::glStencilOpSeparate
#define glUniform1f CGLES20ExtensionHandler::glUniform1f
#define glUniform2f CGLES20ExtensionHandler::glUniform2f
#define glUniform3f CGLES20ExtensionHandler::glUniform3f
#define glUniform4f CGLES20ExtensionHandler::glUniform4f
#define glUniform1i CGLES20ExtensionHandler::glUniform1i
#define glUniform2i CGLES20ExtensionHandler::glUniform2i
#define glUniform3i CGLES20ExtensionHandler::glUniform3i
#define glUniform4i CGLES20ExtensionHandler::glUniform4i
#define glUniform1fv CGLES20ExtensionHandler::glUniform1fv
#define glUniform2fv CGLES20ExtensionHandler::glUniform2fv
#define glUniform3fv CGLES20ExtensionHandler::glUniform3fv
#define glUniform4fv CGLES20ExtensionHandler::glUniform4fv
#define glUniform1iv CGLES20ExtensionHandler::glUniform1iv
#define glUniform2iv CGLES20ExtensionHandler::glUniform2iv
#define glUniform3iv CGLES20ExtensionHandler::glUniform3iv
#define glUniform4iv CGLES20ExtensionHandler::glUniform4iv
#define glUniformMatrix2fv CGLES20ExtensionHandler::glUniformMatrix2fv
#define glUniformMatrix3fv CGLES20ExtensionHandler::glUniformMatrix3fv
#define glUniformMatrix4fv CGLES20ExtensionHandler::glUniformMatrix4fv
#define glUseProgram CGLES20ExtensionHandler::glUseProgram
#define glValidateProgram CGLES20ExtensionHandler::glValidateProgram
#define glVertexAttrib1f CGLES20ExtensionHandler::glVertexAttrib1f
#define glVertexAttrib1fv CGLES20ExtensionHandler::glVertexAttrib1fv
#define glVertexAttrib2f CGLES20ExtensionHandler::glVertexAttrib2f
#define glVertexAttrib2fv CGLES20ExtensionHandler::glVertexAttrib2fv
#define glVertexAttrib3f CGLES20ExtensionHandler::glVertexAttrib3f
#define glVertexAttrib3fv CGLES20ExtensionHandler::glVertexAttrib3fv
#define glVertexAttrib4f CGLES20ExtensionHandler::glVertexAttrib4f
#define glVertexAttrib4fv CGLES20ExtensionHandler::glVertexAttrib4fv
#define glVertexAttribPointer CGLES20ExtensionHandler::glVertexAttribPointer
#define glBindVertexArray CGLES20ExtensionHandler::glBindVertexArray
#define glDeleteVertexArrays CGLES20ExtensionHandler::glDeleteVertexArrays
#define glGenVertexArrays CGLES20ExtensionHandler::glGenVertexArrays
#define glIsVertexArray CGLES20ExtensionHandler::glIsVertexArray
#endif
