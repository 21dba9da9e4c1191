// Entry-point loading, version and extension queries.
#define NERELLE_GLES20_DEFINE_POINTERS
#include "gl/gles20.h"

#include "gl/shader_translation.h"
#include "platform/message.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>

GLuint default_vertex_array = 0;

PFNGLACTIVETEXTUREPROC CGLES20ExtensionHandler::glActiveTexture = nullptr;
PFNGLATTACHSHADERPROC CGLES20ExtensionHandler::glAttachShader = nullptr;
PFNGLBINDATTRIBLOCATIONPROC CGLES20ExtensionHandler::glBindAttribLocation = nullptr;
PFNGLBINDBUFFERPROC CGLES20ExtensionHandler::glBindBuffer = nullptr;
PFNGLBINDFRAMEBUFFERPROC CGLES20ExtensionHandler::glBindFramebuffer = nullptr;
PFNGLBINDRENDERBUFFERPROC CGLES20ExtensionHandler::glBindRenderbuffer = nullptr;
PFNGLBLENDCOLORPROC CGLES20ExtensionHandler::glBlendColor = nullptr;
PFNGLBLENDEQUATIONPROC CGLES20ExtensionHandler::glBlendEquation = nullptr;
PFNGLBLENDEQUATIONSEPARATEPROC CGLES20ExtensionHandler::glBlendEquationSeparate = nullptr;
PFNGLBLENDFUNCSEPARATEPROC CGLES20ExtensionHandler::glBlendFuncSeparate = nullptr;
PFNGLBUFFERDATAPROC CGLES20ExtensionHandler::glBufferData = nullptr;
PFNGLBUFFERSUBDATAPROC CGLES20ExtensionHandler::glBufferSubData = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSPROC CGLES20ExtensionHandler::glCheckFramebufferStatus = nullptr;
PFNGLCLEARDEPTHFPROC CGLES20ExtensionHandler::glClearDepthf = nullptr;
PFNGLCOMPILESHADERPROC CGLES20ExtensionHandler::glCompileShader = nullptr;
PFNGLCOMPRESSEDTEXIMAGE2DPROC CGLES20ExtensionHandler::glCompressedTexImage2D = nullptr;
PFNGLCOMPRESSEDTEXSUBIMAGE2DPROC CGLES20ExtensionHandler::glCompressedTexSubImage2D = nullptr;
PFNGLCREATEPROGRAMPROC CGLES20ExtensionHandler::glCreateProgram = nullptr;
PFNGLCREATESHADERPROC CGLES20ExtensionHandler::glCreateShader = nullptr;
PFNGLDELETEBUFFERSPROC CGLES20ExtensionHandler::glDeleteBuffers = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC CGLES20ExtensionHandler::glDeleteFramebuffers = nullptr;
PFNGLDELETEPROGRAMPROC CGLES20ExtensionHandler::glDeleteProgram = nullptr;
PFNGLDELETERENDERBUFFERSPROC CGLES20ExtensionHandler::glDeleteRenderbuffers = nullptr;
PFNGLDELETESHADERPROC CGLES20ExtensionHandler::glDeleteShader = nullptr;
PFNGLDEPTHRANGEFPROC CGLES20ExtensionHandler::glDepthRangef = nullptr;
PFNGLDETACHSHADERPROC CGLES20ExtensionHandler::glDetachShader = nullptr;
PFNGLDISABLEVERTEXATTRIBARRAYPROC CGLES20ExtensionHandler::glDisableVertexAttribArray = nullptr;
PFNGLENABLEVERTEXATTRIBARRAYPROC CGLES20ExtensionHandler::glEnableVertexAttribArray = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFERPROC CGLES20ExtensionHandler::glFramebufferRenderbuffer = nullptr;
PFNGLFRAMEBUFFERTEXTURE2DPROC CGLES20ExtensionHandler::glFramebufferTexture2D = nullptr;
PFNGLGENBUFFERSPROC CGLES20ExtensionHandler::glGenBuffers = nullptr;
PFNGLGENERATEMIPMAPPROC CGLES20ExtensionHandler::glGenerateMipmap = nullptr;
PFNGLGENFRAMEBUFFERSPROC CGLES20ExtensionHandler::glGenFramebuffers = nullptr;
PFNGLGENRENDERBUFFERSPROC CGLES20ExtensionHandler::glGenRenderbuffers = nullptr;
PFNGLGETACTIVEATTRIBPROC CGLES20ExtensionHandler::glGetActiveAttrib = nullptr;
PFNGLGETACTIVEUNIFORMPROC CGLES20ExtensionHandler::glGetActiveUniform = nullptr;
PFNGLGETATTACHEDSHADERSPROC CGLES20ExtensionHandler::glGetAttachedShaders = nullptr;
PFNGLGETATTRIBLOCATIONPROC CGLES20ExtensionHandler::glGetAttribLocation = nullptr;
PFNGLGETBUFFERPARAMETERIVPROC CGLES20ExtensionHandler::glGetBufferParameteriv = nullptr;
PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC CGLES20ExtensionHandler::glGetFramebufferAttachmentParameteriv = nullptr;
PFNGLGETPROGRAMIVPROC CGLES20ExtensionHandler::glGetProgramiv = nullptr;
PFNGLGETPROGRAMINFOLOGPROC CGLES20ExtensionHandler::glGetProgramInfoLog = nullptr;
PFNGLGETRENDERBUFFERPARAMETERIVPROC CGLES20ExtensionHandler::glGetRenderbufferParameteriv = nullptr;
PFNGLGETSHADERIVPROC CGLES20ExtensionHandler::glGetShaderiv = nullptr;
PFNGLGETSHADERINFOLOGPROC CGLES20ExtensionHandler::glGetShaderInfoLog = nullptr;
PFNGLGETSHADERPRECISIONFORMATPROC CGLES20ExtensionHandler::glGetShaderPrecisionFormat = nullptr;
PFNGLGETSHADERSOURCEPROC CGLES20ExtensionHandler::glGetShaderSource = nullptr;
PFNGLGETUNIFORMFVPROC CGLES20ExtensionHandler::glGetUniformfv = nullptr;
PFNGLGETUNIFORMIVPROC CGLES20ExtensionHandler::glGetUniformiv = nullptr;
PFNGLGETUNIFORMLOCATIONPROC CGLES20ExtensionHandler::glGetUniformLocation = nullptr;
PFNGLGETVERTEXATTRIBFVPROC CGLES20ExtensionHandler::glGetVertexAttribfv = nullptr;
PFNGLGETVERTEXATTRIBIVPROC CGLES20ExtensionHandler::glGetVertexAttribiv = nullptr;
PFNGLGETVERTEXATTRIBPOINTERVPROC CGLES20ExtensionHandler::glGetVertexAttribPointerv = nullptr;
PFNGLISBUFFERPROC CGLES20ExtensionHandler::glIsBuffer = nullptr;
PFNGLISFRAMEBUFFERPROC CGLES20ExtensionHandler::glIsFramebuffer = nullptr;
PFNGLISPROGRAMPROC CGLES20ExtensionHandler::glIsProgram = nullptr;
PFNGLISRENDERBUFFERPROC CGLES20ExtensionHandler::glIsRenderbuffer = nullptr;
PFNGLISSHADERPROC CGLES20ExtensionHandler::glIsShader = nullptr;
PFNGLLINKPROGRAMPROC CGLES20ExtensionHandler::glLinkProgram = nullptr;
PFNGLRELEASESHADERCOMPILERPROC CGLES20ExtensionHandler::glReleaseShaderCompiler = nullptr;
PFNGLRENDERBUFFERSTORAGEPROC CGLES20ExtensionHandler::glRenderbufferStorage = nullptr;
PFNGLSAMPLECOVERAGEPROC CGLES20ExtensionHandler::glSampleCoverage = nullptr;
PFNGLSHADERBINARYPROC CGLES20ExtensionHandler::glShaderBinary = nullptr;
PFNGLSHADERSOURCEPROC CGLES20ExtensionHandler::glShaderSource = nullptr;
PFNGLSTENCILFUNCSEPARATEPROC CGLES20ExtensionHandler::glStencilFuncSeparate = nullptr;
PFNGLSTENCILMASKSEPARATEPROC CGLES20ExtensionHandler::glStencilMaskSeparate = nullptr;
PFNGLSTENCILOPSEPARATEPROC CGLES20ExtensionHandler::glStencilOpSeparate = nullptr;
PFNGLUNIFORM1FPROC CGLES20ExtensionHandler::glUniform1f = nullptr;
PFNGLUNIFORM2FPROC CGLES20ExtensionHandler::glUniform2f = nullptr;
PFNGLUNIFORM3FPROC CGLES20ExtensionHandler::glUniform3f = nullptr;
PFNGLUNIFORM4FPROC CGLES20ExtensionHandler::glUniform4f = nullptr;
PFNGLUNIFORM1IPROC CGLES20ExtensionHandler::glUniform1i = nullptr;
PFNGLUNIFORM2IPROC CGLES20ExtensionHandler::glUniform2i = nullptr;
PFNGLUNIFORM3IPROC CGLES20ExtensionHandler::glUniform3i = nullptr;
PFNGLUNIFORM4IPROC CGLES20ExtensionHandler::glUniform4i = nullptr;
PFNGLUNIFORM1FVPROC CGLES20ExtensionHandler::glUniform1fv = nullptr;
PFNGLUNIFORM2FVPROC CGLES20ExtensionHandler::glUniform2fv = nullptr;
PFNGLUNIFORM3FVPROC CGLES20ExtensionHandler::glUniform3fv = nullptr;
PFNGLUNIFORM4FVPROC CGLES20ExtensionHandler::glUniform4fv = nullptr;
PFNGLUNIFORM1IVPROC CGLES20ExtensionHandler::glUniform1iv = nullptr;
PFNGLUNIFORM2IVPROC CGLES20ExtensionHandler::glUniform2iv = nullptr;
PFNGLUNIFORM3IVPROC CGLES20ExtensionHandler::glUniform3iv = nullptr;
PFNGLUNIFORM4IVPROC CGLES20ExtensionHandler::glUniform4iv = nullptr;
PFNGLUNIFORMMATRIX2FVPROC CGLES20ExtensionHandler::glUniformMatrix2fv = nullptr;
PFNGLUNIFORMMATRIX3FVPROC CGLES20ExtensionHandler::glUniformMatrix3fv = nullptr;
PFNGLUNIFORMMATRIX4FVPROC CGLES20ExtensionHandler::glUniformMatrix4fv = nullptr;
PFNGLUSEPROGRAMPROC CGLES20ExtensionHandler::glUseProgram = nullptr;
PFNGLVALIDATEPROGRAMPROC CGLES20ExtensionHandler::glValidateProgram = nullptr;
PFNGLVERTEXATTRIB1FPROC CGLES20ExtensionHandler::glVertexAttrib1f = nullptr;
PFNGLVERTEXATTRIB1FVPROC CGLES20ExtensionHandler::glVertexAttrib1fv = nullptr;
PFNGLVERTEXATTRIB2FPROC CGLES20ExtensionHandler::glVertexAttrib2f = nullptr;
PFNGLVERTEXATTRIB2FVPROC CGLES20ExtensionHandler::glVertexAttrib2fv = nullptr;
PFNGLVERTEXATTRIB3FPROC CGLES20ExtensionHandler::glVertexAttrib3f = nullptr;
PFNGLVERTEXATTRIB3FVPROC CGLES20ExtensionHandler::glVertexAttrib3fv = nullptr;
PFNGLVERTEXATTRIB4FPROC CGLES20ExtensionHandler::glVertexAttrib4f = nullptr;
PFNGLVERTEXATTRIB4FVPROC CGLES20ExtensionHandler::glVertexAttrib4fv = nullptr;
PFNGLVERTEXATTRIBPOINTERPROC CGLES20ExtensionHandler::glVertexAttribPointer = nullptr;

PFNGLBINDVERTEXARRAYPROC CGLES20ExtensionHandler::glBindVertexArray = nullptr;
PFNGLDELETEVERTEXARRAYSPROC CGLES20ExtensionHandler::glDeleteVertexArrays = nullptr;
PFNGLGENVERTEXARRAYSPROC CGLES20ExtensionHandler::glGenVertexArrays = nullptr;
PFNGLISVERTEXARRAYPROC CGLES20ExtensionHandler::glIsVertexArray = nullptr;

namespace {

const char* const kCaption = "CGLES20ExtensionHandler";

CGLES20ExtensionHandler::TQueries g_queries = CGLES20ExtensionHandler::Default_Queries();
PFNGLGETSTRINGIPROC g_get_stringi = nullptr;  // resolved lazily by Has_Extension

// Names that did not resolve, per initialiser.
std::vector<const char*> g_missing_gles20;
std::vector<const char*> g_missing_vertex_array;

template <auto* Slot>
void Store(platform::GLProc proc)
{
    *Slot = reinterpret_cast<std::remove_pointer_t<decltype(Slot)>>(proc);
}

struct TEntryPoint {
    const char* name;  // the name looked up
    void (*store)(platform::GLProc);
};

// The ES 2.0 function set beyond OpenGL 1.1, ordered by ES name.
const TEntryPoint kGLES20EntryPoints[] = {
    {"glActiveTexture", &Store<&CGLES20ExtensionHandler::glActiveTexture>},
    {"glAttachObjectARB", &Store<&CGLES20ExtensionHandler::glAttachShader>},
    {"glBindAttribLocation", &Store<&CGLES20ExtensionHandler::glBindAttribLocation>},
    {"glBindBuffer", &Store<&CGLES20ExtensionHandler::glBindBuffer>},
    {"glBindFramebufferEXT", &Store<&CGLES20ExtensionHandler::glBindFramebuffer>},
    {"glBindRenderbufferEXT", &Store<&CGLES20ExtensionHandler::glBindRenderbuffer>},
    {"glBlendColor", &Store<&CGLES20ExtensionHandler::glBlendColor>},
    {"glBlendEquation", &Store<&CGLES20ExtensionHandler::glBlendEquation>},
    {"glBlendEquationSeparate", &Store<&CGLES20ExtensionHandler::glBlendEquationSeparate>},
    {"glBlendFuncSeparate", &Store<&CGLES20ExtensionHandler::glBlendFuncSeparate>},
    {"glBufferData", &Store<&CGLES20ExtensionHandler::glBufferData>},
    {"glBufferSubData", &Store<&CGLES20ExtensionHandler::glBufferSubData>},
    {"glCheckFramebufferStatusEXT", &Store<&CGLES20ExtensionHandler::glCheckFramebufferStatus>},
    {"glClearDepthf", &Store<&CGLES20ExtensionHandler::glClearDepthf>},
    {"glCompileShaderARB", &Store<&CGLES20ExtensionHandler::glCompileShader>},
    {"glCompressedTexImage2D", &Store<&CGLES20ExtensionHandler::glCompressedTexImage2D>},
    {"glCompressedTexSubImage2D", &Store<&CGLES20ExtensionHandler::glCompressedTexSubImage2D>},
    {"glCreateProgramObjectARB", &Store<&CGLES20ExtensionHandler::glCreateProgram>},
    {"glCreateShaderObjectARB", &Store<&CGLES20ExtensionHandler::glCreateShader>},
    {"glDeleteBuffers", &Store<&CGLES20ExtensionHandler::glDeleteBuffers>},
    {"glDeleteFramebuffersEXT", &Store<&CGLES20ExtensionHandler::glDeleteFramebuffers>},
    {"glDeleteProgram", &Store<&CGLES20ExtensionHandler::glDeleteProgram>},
    {"glDeleteRenderbuffersEXT", &Store<&CGLES20ExtensionHandler::glDeleteRenderbuffers>},
    {"glDeleteObjectARB", &Store<&CGLES20ExtensionHandler::glDeleteShader>},
    {"glDepthRangef", &Store<&CGLES20ExtensionHandler::glDepthRangef>},
    {"glDetachObjectARB", &Store<&CGLES20ExtensionHandler::glDetachShader>},
    {"glDisableVertexAttribArray", &Store<&CGLES20ExtensionHandler::glDisableVertexAttribArray>},
    {"glEnableVertexAttribArray", &Store<&CGLES20ExtensionHandler::glEnableVertexAttribArray>},
    {"glFramebufferRenderbufferEXT", &Store<&CGLES20ExtensionHandler::glFramebufferRenderbuffer>},
    {"glFramebufferTexture2DEXT", &Store<&CGLES20ExtensionHandler::glFramebufferTexture2D>},
    {"glGenBuffers", &Store<&CGLES20ExtensionHandler::glGenBuffers>},
    {"glGenerateMipmap", &Store<&CGLES20ExtensionHandler::glGenerateMipmap>},
    {"glGenFramebuffersEXT", &Store<&CGLES20ExtensionHandler::glGenFramebuffers>},
    {"glGenRenderbuffersEXT", &Store<&CGLES20ExtensionHandler::glGenRenderbuffers>},
    {"glGetActiveAttrib", &Store<&CGLES20ExtensionHandler::glGetActiveAttrib>},
    {"glGetActiveUniformARB", &Store<&CGLES20ExtensionHandler::glGetActiveUniform>},
    {"glGetAttachedObjectsARB", &Store<&CGLES20ExtensionHandler::glGetAttachedShaders>},
    {"glGetAttribLocation", &Store<&CGLES20ExtensionHandler::glGetAttribLocation>},
    {"glGetBufferParameteriv", &Store<&CGLES20ExtensionHandler::glGetBufferParameteriv>},
    {"glGetFramebufferAttachmentParameterivEXT", &Store<&CGLES20ExtensionHandler::glGetFramebufferAttachmentParameteriv>},
    {"glGetObjectParameterivARB", &Store<&CGLES20ExtensionHandler::glGetProgramiv>},
    {"glGetInfoLogARB", &Store<&CGLES20ExtensionHandler::glGetProgramInfoLog>},
    {"glGetRenderbufferParameterivEXT", &Store<&CGLES20ExtensionHandler::glGetRenderbufferParameteriv>},
    {"glGetShaderiv", &Store<&CGLES20ExtensionHandler::glGetShaderiv>},
    {"glGetShaderInfoLog", &Store<&CGLES20ExtensionHandler::glGetShaderInfoLog>},
    {"glGetShaderPrecisionFormat", &Store<&CGLES20ExtensionHandler::glGetShaderPrecisionFormat>},
    {"glGetShaderSourceARB", &Store<&CGLES20ExtensionHandler::glGetShaderSource>},
    {"glGetUniformfvARB", &Store<&CGLES20ExtensionHandler::glGetUniformfv>},
    {"glGetUniformivARB", &Store<&CGLES20ExtensionHandler::glGetUniformiv>},
    {"glGetUniformLocationARB", &Store<&CGLES20ExtensionHandler::glGetUniformLocation>},
    {"glGetVertexAttribfv", &Store<&CGLES20ExtensionHandler::glGetVertexAttribfv>},
    {"glGetVertexAttribiv", &Store<&CGLES20ExtensionHandler::glGetVertexAttribiv>},
    {"glGetVertexAttribPointerv", &Store<&CGLES20ExtensionHandler::glGetVertexAttribPointerv>},
    {"glIsBuffer", &Store<&CGLES20ExtensionHandler::glIsBuffer>},
    {"glIsFramebufferEXT", &Store<&CGLES20ExtensionHandler::glIsFramebuffer>},
    {"glIsProgram", &Store<&CGLES20ExtensionHandler::glIsProgram>},
    {"glIsRenderbufferEXT", &Store<&CGLES20ExtensionHandler::glIsRenderbuffer>},
    {"glIsShader", &Store<&CGLES20ExtensionHandler::glIsShader>},
    {"glLinkProgramARB", &Store<&CGLES20ExtensionHandler::glLinkProgram>},
    {"glReleaseShaderCompiler", &Store<&CGLES20ExtensionHandler::glReleaseShaderCompiler>},
    {"glRenderbufferStorageEXT", &Store<&CGLES20ExtensionHandler::glRenderbufferStorage>},
    {"glSampleCoverage", &Store<&CGLES20ExtensionHandler::glSampleCoverage>},
    {"glShaderBinary", &Store<&CGLES20ExtensionHandler::glShaderBinary>},
    {"glShaderSourceARB", &Store<&CGLES20ExtensionHandler::glShaderSource>},
    {"glStencilFuncSeparate", &Store<&CGLES20ExtensionHandler::glStencilFuncSeparate>},
    {"glStencilMaskSeparate", &Store<&CGLES20ExtensionHandler::glStencilMaskSeparate>},
    {"glStencilOpSeparate", &Store<&CGLES20ExtensionHandler::glStencilOpSeparate>},
    {"glUniform1f", &Store<&CGLES20ExtensionHandler::glUniform1f>},
    {"glUniform2f", &Store<&CGLES20ExtensionHandler::glUniform2f>},
    {"glUniform3f", &Store<&CGLES20ExtensionHandler::glUniform3f>},
    {"glUniform4f", &Store<&CGLES20ExtensionHandler::glUniform4f>},
    {"glUniform1i", &Store<&CGLES20ExtensionHandler::glUniform1i>},
    {"glUniform2i", &Store<&CGLES20ExtensionHandler::glUniform2i>},
    {"glUniform3i", &Store<&CGLES20ExtensionHandler::glUniform3i>},
    {"glUniform4i", &Store<&CGLES20ExtensionHandler::glUniform4i>},
    {"glUniform1fv", &Store<&CGLES20ExtensionHandler::glUniform1fv>},
    {"glUniform2fv", &Store<&CGLES20ExtensionHandler::glUniform2fv>},
    {"glUniform3fv", &Store<&CGLES20ExtensionHandler::glUniform3fv>},
    {"glUniform4fv", &Store<&CGLES20ExtensionHandler::glUniform4fv>},
    {"glUniform1iv", &Store<&CGLES20ExtensionHandler::glUniform1iv>},
    {"glUniform2iv", &Store<&CGLES20ExtensionHandler::glUniform2iv>},
    {"glUniform3iv", &Store<&CGLES20ExtensionHandler::glUniform3iv>},
    {"glUniform4iv", &Store<&CGLES20ExtensionHandler::glUniform4iv>},
    {"glUniformMatrix2fv", &Store<&CGLES20ExtensionHandler::glUniformMatrix2fv>},
    {"glUniformMatrix3fv", &Store<&CGLES20ExtensionHandler::glUniformMatrix3fv>},
    {"glUniformMatrix4fv", &Store<&CGLES20ExtensionHandler::glUniformMatrix4fv>},
    {"glUseProgramObjectARB", &Store<&CGLES20ExtensionHandler::glUseProgram>},
    {"glValidateProgramARB", &Store<&CGLES20ExtensionHandler::glValidateProgram>},
    {"glVertexAttrib1f", &Store<&CGLES20ExtensionHandler::glVertexAttrib1f>},
    {"glVertexAttrib1fv", &Store<&CGLES20ExtensionHandler::glVertexAttrib1fv>},
    {"glVertexAttrib2f", &Store<&CGLES20ExtensionHandler::glVertexAttrib2f>},
    {"glVertexAttrib2fv", &Store<&CGLES20ExtensionHandler::glVertexAttrib2fv>},
    {"glVertexAttrib3f", &Store<&CGLES20ExtensionHandler::glVertexAttrib3f>},
    {"glVertexAttrib3fv", &Store<&CGLES20ExtensionHandler::glVertexAttrib3fv>},
    {"glVertexAttrib4f", &Store<&CGLES20ExtensionHandler::glVertexAttrib4f>},
    {"glVertexAttrib4fv", &Store<&CGLES20ExtensionHandler::glVertexAttrib4fv>},
    {"glVertexAttribPointer", &Store<&CGLES20ExtensionHandler::glVertexAttribPointer>},
};
static_assert(sizeof(kGLES20EntryPoints) / sizeof(kGLES20EntryPoints[0]) == 97);

const TEntryPoint kVertexArrayEntryPoints[] = {
    {"glBindVertexArray", &Store<&CGLES20ExtensionHandler::glBindVertexArray>},
    {"glDeleteVertexArrays", &Store<&CGLES20ExtensionHandler::glDeleteVertexArrays>},
    {"glGenVertexArrays", &Store<&CGLES20ExtensionHandler::glGenVertexArrays>},
    {"glIsVertexArray", &Store<&CGLES20ExtensionHandler::glIsVertexArray>},
};

// Looks every name up in order, storing each pointer (null included). A
// non-null answer is only as good as the platform's: Mesa returns a stub for
// names it has never heard of, so there a missing function goes unnoticed.
template <size_t N>
int Resolve(const TEntryPoint (&table)[N], std::vector<const char*>& missing)
{
    missing.clear();
    int unresolved = 0;
    for (const TEntryPoint& entry : table) {
        const platform::GLProc proc = g_queries.GetProcAddress(entry.name);
        entry.store(proc);
        if (!proc) {
            ++unresolved;
            missing.push_back(entry.name);
        }
    }
    return unresolved;
}

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

CGLES20ExtensionHandler::TQueries CGLES20ExtensionHandler::Default_Queries()
{
    return {&::glGetString, &::glGetIntegerv, &platform::GetGLProcAddress};
}

void CGLES20ExtensionHandler::Set_Queries(const TQueries& queries)
{
    g_queries = queries;
    g_get_stringi = nullptr;
}

int CGLES20ExtensionHandler::Init_GLES20()
{
    const int unresolved = Resolve(kGLES20EntryPoints, g_missing_gles20);
    if (unresolved == 0)
        Get_GLVersion();  // only for its messages about a bad version string
    return unresolved;
}

int CGLES20ExtensionHandler::Init_VertexArrayObject()
{
    const int unresolved = Resolve(kVertexArrayEntryPoints, g_missing_vertex_array);
    if (unresolved == 0 && Has_Extension("GL_ARB_vertex_array_object")) {
        glGenVertexArrays(1, &default_vertex_array);
        glBindVertexArray(default_vertex_array);
    }
    return unresolved;
}

std::vector<const char*> CGLES20ExtensionHandler::Missing_EntryPoints()
{
    std::vector<const char*> names = g_missing_gles20;
    names.insert(names.end(), g_missing_vertex_array.begin(), g_missing_vertex_array.end());
    return names;
}

std::pair<int, int> CGLES20ExtensionHandler::Get_GLVersion()
{
    const GLubyte* version = g_queries.GetString(GL_VERSION);
    if (!version) {
        platform::ShowMessage("OpenGL extension string is 0!", kCaption);
        return {-1, -1};
    }
    int major = 0, minor = 0;
    if (Scan_Version(reinterpret_cast<const char*>(version), major, minor) < 2) {
        platform::ShowMessage("OpenGL version string malformed!", kCaption);
        return {-1, -1};
    }
    return {major, minor};
}

bool CGLES20ExtensionHandler::Has_Extension(const char* name)
{
    // No extension has an empty name, and an empty needle would walk the
    // whole-word search below past the end of the list.
    if (!name || !*name)
        return false;

    if (!g_get_stringi)
        g_get_stringi = reinterpret_cast<PFNGLGETSTRINGIPROC>(g_queries.GetProcAddress("glGetStringi"));

    if (!g_get_stringi) {
        // Before 3.0: one space-separated string; a hit counts only as a
        // whole word, so a name that prefixes a longer one does not match.
        const char* list = reinterpret_cast<const char*>(g_queries.GetString(GL_EXTENSIONS));
        if (!list)
            return false;
        const size_t length = std::strlen(name);
        for (const char* hit = std::strstr(list, name); hit; hit = std::strstr(hit + 1, name)) {
            const bool starts_word = hit == list || IsSpace(hit[-1]);
            const bool ends_word = hit[length] == '\0' || IsSpace(hit[length]);
            if (starts_word && ends_word)
                return true;
        }
        return false;
    }

    GLint count = 0;
    g_queries.GetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const GLubyte* extension = g_get_stringi(GL_EXTENSIONS, static_cast<GLuint>(i));
        if (extension && std::strcmp(reinterpret_cast<const char*>(extension), name) == 0)
            return true;
    }
    return false;
}

std::unique_ptr<char[]> CGLES20ExtensionHandler::Translate_ShaderSource(const char* source, bool is_fragment)
{
    if (!std::strstr(source, "precision"))
        std::fputs("warning: shader source code requires precision specifier in OpenGL ES\n", stderr);

    int glsl_major = 0, glsl_minor = 0;
    const GLubyte* glsl = g_queries.GetString(GL_SHADING_LANGUAGE_VERSION);
    if (!glsl || Scan_Version(reinterpret_cast<const char*>(glsl), glsl_major, glsl_minor) < 2)
        glsl_major = glsl_minor = 0;

    // A missing or malformed context version (-1, -1) counts as below 3.3.
    const auto [gl_major, gl_minor] = Get_GLVersion();
    const EShaderDialect dialect = Choose_ShaderDialect(gl_major, gl_minor, glsl_major, glsl_minor);

    std::string text;
    int version_warnings = 0;
    if (!Translate_ShaderText(source, is_fragment, dialect, text, version_warnings))
        return nullptr;
    for (int i = 0; i < version_warnings; ++i)
        std::fputs("warning: version specification does not end in newline\n", stderr);

    std::unique_ptr<char[]> copy(new (std::nothrow) char[text.size() + 1]);
    if (copy)
        std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

void CGLES20ExtensionHandler::Set_ShaderSource(GLuint shader, const GLchar* const* sources, const GLint* lengths)
{
    GLint type = 0;
    glGetShaderiv(shader, GL_SHADER_TYPE, &type);
    if (type != GL_VERTEX_SHADER && type != GL_FRAGMENT_SHADER) {
        // Nothing to translate: hand the first string over as it is.
        glShaderSource(shader, 1, sources, lengths);
        return;
    }
    const std::unique_ptr<char[]> text = Translate_ShaderSource(sources[0], type == GL_FRAGMENT_SHADER);
    // Out of memory: leave the shader without source, so its compilation
    // fails and the build reports it, rather than handing GL a null string.
    if (!text)
        return;
    const GLchar* translated = text.get();
    const GLint length = static_cast<GLint>(std::strlen(translated));
    glShaderSource(shader, 1, &translated, &length);
}
