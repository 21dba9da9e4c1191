#include "gl/fake_gl_queries.h"

#include <cstring>

namespace testsupport {

namespace {

FakeGLQueries* g_fake = nullptr;

const GLubyte* GLAPIENTRY FakeGetString(GLenum name)
{
    const char* text = nullptr;
    switch (name) {
    case GL_VERSION:
        text = g_fake->version;
        break;
    case GL_SHADING_LANGUAGE_VERSION:
        text = g_fake->glsl_version;
        break;
    case GL_EXTENSIONS:
        text = g_fake->extensions;
        break;
    default:
        return ::glGetString(name);
    }
    return reinterpret_cast<const GLubyte*>(text);
}

void GLAPIENTRY FakeGetIntegerv(GLenum name, GLint* data)
{
    if (name == GL_NUM_EXTENSIONS)
        *data = static_cast<GLint>(g_fake->indexed_extensions.size());
    else
        ::glGetIntegerv(name, data);
}

const GLubyte* GLAPIENTRY FakeGetStringi(GLenum name, GLuint index)
{
    if (name != GL_EXTENSIONS || index >= g_fake->indexed_extensions.size())
        return nullptr;
    return reinterpret_cast<const GLubyte*>(g_fake->indexed_extensions[index]);
}

platform::GLProc FakeLookup(const char* name)
{
    g_fake->lookups.emplace_back(name);
    if (g_fake->unresolved.count(name))
        return nullptr;
    if (std::strcmp(name, "glGetStringi") == 0)
        return g_fake->offer_get_stringi ? reinterpret_cast<platform::GLProc>(&FakeGetStringi) : nullptr;
    return platform::GetGLProcAddress(name);
}

}  // namespace

ScopedFakeGLQueries::ScopedFakeGLQueries(FakeGLQueries& fake)
{
    g_fake = &fake;
    CGLES20ExtensionHandler::Set_Queries({&FakeGetString, &FakeGetIntegerv, &FakeLookup});
}

ScopedFakeGLQueries::~ScopedFakeGLQueries()
{
    CGLES20ExtensionHandler::Set_Queries(CGLES20ExtensionHandler::Default_Queries());
    g_fake = nullptr;
}

}  // namespace testsupport
