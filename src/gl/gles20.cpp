// Entry-point loading, version and extension queries.
#define NERELLE_GLES20_DEFINE_POINTERS
#include "gl/gles20.h"

#include "core/report.h"
#include "gl/shader_translation.h"
#include "platform/message.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <type_traits>

GLuint default_vertex_array = 0;

#define NERELLE_DEFINE_ENTRY_POINT(type, name, lookup) type CGLES20ExtensionHandler::name = nullptr;
NERELLE_GLES20_ENTRY_POINTS(NERELLE_DEFINE_ENTRY_POINT)
NERELLE_VERTEX_ARRAY_ENTRY_POINTS(NERELLE_DEFINE_ENTRY_POINT)
NERELLE_MULTISAMPLE_ENTRY_POINTS(NERELLE_DEFINE_ENTRY_POINT)
#undef NERELLE_DEFINE_ENTRY_POINT

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

#define NERELLE_ENTRY_POINT_ROW(type, name, lookup) {lookup, &Store<&CGLES20ExtensionHandler::name>},
const TEntryPoint kGLES20EntryPoints[] = {NERELLE_GLES20_ENTRY_POINTS(NERELLE_ENTRY_POINT_ROW)};
const TEntryPoint kVertexArrayEntryPoints[] = {NERELLE_VERTEX_ARRAY_ENTRY_POINTS(NERELLE_ENTRY_POINT_ROW)};
const TEntryPoint kMultisampleEntryPoints[] = {NERELLE_MULTISAMPLE_ENTRY_POINTS(NERELLE_ENTRY_POINT_ROW)};
#undef NERELLE_ENTRY_POINT_ROW
static_assert(std::size(kGLES20EntryPoints) == 97);
static_assert(std::size(kVertexArrayEntryPoints) == 4);
static_assert(std::size(kMultisampleEntryPoints) == 2);

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

// The multisample pair under the names the context offers it, or null: a
// name looked up without the functionality behind it (Mesa answers every
// name) would be called on a context that cannot run it.
void ResolveMultisample()
{
    for (const TEntryPoint& entry : kMultisampleEntryPoints)
        entry.store(nullptr);
    // Read quietly: a bad version string has been reported already.
    const GLubyte* version = g_queries.GetString(GL_VERSION);
    int major = -1, minor = -1;
    if (version)
        Scan_Version(Skip_ESPrefix(reinterpret_cast<const char*>(version)), major, minor);
    std::string suffix;
    if (major >= 3 || CGLES20ExtensionHandler::Has_Extension("GL_ARB_framebuffer_object"))
        suffix = "";
    else if (CGLES20ExtensionHandler::Has_Extension("GL_EXT_framebuffer_multisample") &&
             CGLES20ExtensionHandler::Has_Extension("GL_EXT_framebuffer_blit"))
        suffix = "EXT";
    else
        return;
    for (const TEntryPoint& entry : kMultisampleEntryPoints)
        entry.store(g_queries.GetProcAddress((std::string(entry.name) + suffix).c_str()));
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
    ResolveMultisample();
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
    if (Scan_Version(Skip_ESPrefix(reinterpret_cast<const char*>(version)), major, minor) < 2) {
        platform::ShowMessage("OpenGL version string malformed!", kCaption);
        return {-1, -1};
    }
    return {major, minor};
}

bool CGLES20ExtensionHandler::Is_ESContext()
{
    return Is_ESVersionString(reinterpret_cast<const char*>(g_queries.GetString(GL_VERSION)));
}

GLenum CGLES20ExtensionHandler::Texture_InternalFormat(GLenum internal_format, GLenum data_format)
{
    return Is_ESContext() ? data_format : internal_format;
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
        PrintWarning("shader source code requires precision specifier in OpenGL ES");

    int glsl_major = 0, glsl_minor = 0;
    const GLubyte* glsl = g_queries.GetString(GL_SHADING_LANGUAGE_VERSION);
    if (!glsl || Scan_Version(Skip_ESPrefix(reinterpret_cast<const char*>(glsl)), glsl_major, glsl_minor) < 2)
        glsl_major = glsl_minor = 0;

    // A missing or malformed context version (-1, -1) counts as below 3.3.
    // An ES context takes the ES source as it is.
    const auto [gl_major, gl_minor] = Get_GLVersion();
    const EShaderDialect dialect =
        Is_ESContext() ? EShaderDialect::kES : Choose_ShaderDialect(gl_major, gl_minor, glsl_major, glsl_minor);

    std::string text;
    int version_warnings = 0;
    if (!Translate_ShaderText(source, is_fragment, dialect, text, version_warnings))
        return nullptr;
    for (int i = 0; i < version_warnings; ++i)
        PrintWarning("version specification does not end in newline");

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
