#include "gl/gles20.h"

#include "gl/fake_gl_queries.h"
#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

// Every ES name of the list means the handler's pointer here: a row the
// generated renaming missed would name gl.h's function or nothing at all.
#define CHECK_RENAMED(type, name, lookup) \
    static_assert(std::is_same_v<decltype(name), type>, #name " is not renamed to the handler's pointer");
NERELLE_GLES20_ENTRY_POINTS(CHECK_RENAMED)
NERELLE_VERTEX_ARRAY_ENTRY_POINTS(CHECK_RENAMED)
#undef CHECK_RENAMED

namespace {

using testsupport::FakeGLQueries;
using testsupport::ScopedFakeGLQueries;

const std::vector<std::string> kExpectedGLES20Lookups = {
    "glActiveTexture",
    "glAttachObjectARB",
    "glBindAttribLocation",
    "glBindBuffer",
    "glBindFramebufferEXT",
    "glBindRenderbufferEXT",
    "glBlendColor",
    "glBlendEquation",
    "glBlendEquationSeparate",
    "glBlendFuncSeparate",
    "glBufferData",
    "glBufferSubData",
    "glCheckFramebufferStatusEXT",
    "glClearDepthf",
    "glCompileShaderARB",
    "glCompressedTexImage2D",
    "glCompressedTexSubImage2D",
    "glCreateProgramObjectARB",
    "glCreateShaderObjectARB",
    "glDeleteBuffers",
    "glDeleteFramebuffersEXT",
    "glDeleteProgram",
    "glDeleteRenderbuffersEXT",
    "glDeleteObjectARB",
    "glDepthRangef",
    "glDetachObjectARB",
    "glDisableVertexAttribArray",
    "glEnableVertexAttribArray",
    "glFramebufferRenderbufferEXT",
    "glFramebufferTexture2DEXT",
    "glGenBuffers",
    "glGenerateMipmap",
    "glGenFramebuffersEXT",
    "glGenRenderbuffersEXT",
    "glGetActiveAttrib",
    "glGetActiveUniformARB",
    "glGetAttachedObjectsARB",
    "glGetAttribLocation",
    "glGetBufferParameteriv",
    "glGetFramebufferAttachmentParameterivEXT",
    "glGetObjectParameterivARB",
    "glGetInfoLogARB",
    "glGetRenderbufferParameterivEXT",
    "glGetShaderiv",
    "glGetShaderInfoLog",
    "glGetShaderPrecisionFormat",
    "glGetShaderSourceARB",
    "glGetUniformfvARB",
    "glGetUniformivARB",
    "glGetUniformLocationARB",
    "glGetVertexAttribfv",
    "glGetVertexAttribiv",
    "glGetVertexAttribPointerv",
    "glIsBuffer",
    "glIsFramebufferEXT",
    "glIsProgram",
    "glIsRenderbufferEXT",
    "glIsShader",
    "glLinkProgramARB",
    "glReleaseShaderCompiler",
    "glRenderbufferStorageEXT",
    "glSampleCoverage",
    "glShaderBinary",
    "glShaderSourceARB",
    "glStencilFuncSeparate",
    "glStencilMaskSeparate",
    "glStencilOpSeparate",
    "glUniform1f",
    "glUniform2f",
    "glUniform3f",
    "glUniform4f",
    "glUniform1i",
    "glUniform2i",
    "glUniform3i",
    "glUniform4i",
    "glUniform1fv",
    "glUniform2fv",
    "glUniform3fv",
    "glUniform4fv",
    "glUniform1iv",
    "glUniform2iv",
    "glUniform3iv",
    "glUniform4iv",
    "glUniformMatrix2fv",
    "glUniformMatrix3fv",
    "glUniformMatrix4fv",
    "glUseProgramObjectARB",
    "glValidateProgramARB",
    "glVertexAttrib1f",
    "glVertexAttrib1fv",
    "glVertexAttrib2f",
    "glVertexAttrib2fv",
    "glVertexAttrib3f",
    "glVertexAttrib3fv",
    "glVertexAttrib4f",
    "glVertexAttrib4fv",
    "glVertexAttribPointer",
    // the optional multisample pair, under the core names on this version
    "glBlitFramebuffer",
    "glRenderbufferStorageMultisample",
};

const std::vector<std::string> kExpectedVertexArrayLookups = {
    "glBindVertexArray", "glDeleteVertexArrays", "glGenVertexArrays", "glIsVertexArray"};

// --- the real headless context ---

class GLES20ContextTest : public testsupport::GLTest {};

TEST_F(GLES20ContextTest, EveryEntryPointResolvesOnMesa)
{
    EXPECT_TRUE(CGLES20ExtensionHandler::Missing_EntryPoints().empty());
    // A sample of those the program calls, under their ES names.
    EXPECT_NE(glCreateShader, nullptr);
    EXPECT_NE(glAttachShader, nullptr);
    EXPECT_NE(glUseProgram, nullptr);
    EXPECT_NE(glUniformMatrix4fv, nullptr);
    EXPECT_NE(glBindFramebuffer, nullptr);
    EXPECT_NE(glGenerateMipmap, nullptr);
    EXPECT_NE(glBindVertexArray, nullptr);
}

TEST_F(GLES20ContextTest, PointersReachTheContext)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    ASSERT_NE(buffer, 0u);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    const float data[3] = {1, 2, 3};
    glBufferData(GL_ARRAY_BUFFER, sizeof(data), data, GL_STATIC_DRAW);
    GLint size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, static_cast<GLint>(sizeof(data)));
    EXPECT_TRUE(glIsBuffer(buffer));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
}

TEST_F(GLES20ContextTest, DefaultVertexArrayIsCreatedAndBound)
{
    ASSERT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array_object"));
    EXPECT_NE(default_vertex_array, 0u);
    EXPECT_TRUE(glIsVertexArray(default_vertex_array));
    GLint bound = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), default_vertex_array);
}

TEST_F(GLES20ContextTest, HasExtensionMatchesWholeNamesOnly)
{
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array_object"));
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array"));
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_NERELLE_no_such_extension"));
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension(""));
}

TEST_F(GLES20ContextTest, VersionOfTheContext)
{
    const auto [major, minor] = CGLES20ExtensionHandler::Get_GLVersion();
    EXPECT_GE(major, 2);
    EXPECT_GE(minor, 0);
}

TEST_F(GLES20ContextTest, InitialisersLookNamesUpInOrder)
{
    FakeGLQueries fake;
    {
        ScopedFakeGLQueries scope(fake);
        EXPECT_EQ(CGLES20ExtensionHandler::Init_GLES20(), 0);
        EXPECT_EQ(fake.lookups, kExpectedGLES20Lookups);
        fake.lookups.clear();
        const GLuint saved = default_vertex_array;
        fake.offer_get_stringi = true;
        fake.indexed_extensions = {"GL_ARB_vertex_array_object"};
        EXPECT_EQ(CGLES20ExtensionHandler::Init_VertexArrayObject(), 0);
        EXPECT_EQ(std::vector<std::string>(fake.lookups.begin(), fake.lookups.begin() + 4),
                  kExpectedVertexArrayLookups);
        // A second default array was made; drop it and restore the first.
        EXPECT_NE(default_vertex_array, saved);
        glBindVertexArray(saved);
        glDeleteVertexArrays(1, &default_vertex_array);
        default_vertex_array = saved;
    }
}

TEST_F(GLES20ContextTest, MissingEntryPointsAreCountedAndNamed)
{
    FakeGLQueries fake;
    fake.unresolved = {"glShaderBinary", "glCreateShaderObjectARB", "glIsVertexArray"};
    {
        ScopedFakeGLQueries scope(fake);
        testing::internal::CaptureStderr();
        EXPECT_EQ(CGLES20ExtensionHandler::Init_GLES20(), 2);
        EXPECT_EQ(glCreateShader, nullptr);
        const GLuint saved = default_vertex_array;
        default_vertex_array = 0;
        EXPECT_EQ(CGLES20ExtensionHandler::Init_VertexArrayObject(), 1);
        // With a name missing no default array is made.
        EXPECT_EQ(default_vertex_array, 0u);
        default_vertex_array = saved;
        // Some were missing, so the version was not read and nothing printed.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        const std::vector<const char*> missing = CGLES20ExtensionHandler::Missing_EntryPoints();
        ASSERT_EQ(missing.size(), 3u);
        EXPECT_STREQ(missing[0], "glCreateShaderObjectARB");
        EXPECT_STREQ(missing[1], "glShaderBinary");
        EXPECT_STREQ(missing[2], "glIsVertexArray");
    }
    // Back to the real lookup for the tests that follow.
    EXPECT_EQ(CGLES20ExtensionHandler::Init_GLES20(), 0);
    fake.unresolved.clear();
    {
        ScopedFakeGLQueries scope(fake);
        fake.offer_get_stringi = true;
        fake.indexed_extensions = {};  // no VAO extension: nothing created
        EXPECT_EQ(CGLES20ExtensionHandler::Init_VertexArrayObject(), 0);
    }
    EXPECT_NE(glCreateShader, nullptr);
    EXPECT_TRUE(CGLES20ExtensionHandler::Missing_EntryPoints().empty());
}

TEST_F(GLES20ContextTest, InitReportsABadVersionOnlyWhenAllResolved)
{
    FakeGLQueries fake;
    fake.version = "OpenGL";
    ScopedFakeGLQueries scope(fake);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CGLES20ExtensionHandler::Init_GLES20(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CGLES20ExtensionHandler: OpenGL version string malformed!\n");
}

TEST_F(GLES20ContextTest, WithoutTheExtensionTheDefaultArrayIsZero)
{
    FakeGLQueries fake;
    fake.extensions = "GL_ARB_vertex_array GL_EXT_vertex_array_object_x";
    const GLuint saved = default_vertex_array;
    {
        ScopedFakeGLQueries scope(fake);
        default_vertex_array = 0;
        EXPECT_EQ(CGLES20ExtensionHandler::Init_VertexArrayObject(), 0);
        EXPECT_EQ(default_vertex_array, 0u);
        GLint bound = -1;
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), saved) << "nothing is bound without the extension";
        // Re-binding the default binds the zero object.
        glBindVertexArray(default_vertex_array);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
        EXPECT_EQ(bound, 0);
    }
    default_vertex_array = saved;
    glBindVertexArray(default_vertex_array);
}

// --- injected strings only (no context needed) ---

TEST(GLES20VersionTest, ParsesMajorAndMinor)
{
    FakeGLQueries fake;
    ScopedFakeGLQueries scope(fake);
    fake.version = "4.6 (Compatibility Profile) Mesa 22.3.6";
    EXPECT_EQ(CGLES20ExtensionHandler::Get_GLVersion(), std::make_pair(4, 6));
    fake.version = "3.30";
    EXPECT_EQ(CGLES20ExtensionHandler::Get_GLVersion(), std::make_pair(3, 30));
    // ES contexts (a browser's WebGL) put their name before the number.
    fake.version = "OpenGL ES 2.0 (WebGL 1.0 (OpenGL ES 2.0 Chromium))";
    EXPECT_EQ(CGLES20ExtensionHandler::Get_GLVersion(), std::make_pair(2, 0));
    EXPECT_TRUE(CGLES20ExtensionHandler::Is_ESContext());
    EXPECT_EQ(CGLES20ExtensionHandler::Texture_InternalFormat(GL_R8, GL_RGBA), GLenum(GL_RGBA));
    fake.version = "4.6 (Compatibility Profile) Mesa 22.3.6";
    EXPECT_FALSE(CGLES20ExtensionHandler::Is_ESContext());
    EXPECT_EQ(CGLES20ExtensionHandler::Texture_InternalFormat(GL_R8, GL_RGBA), GLenum(GL_R8));
}

TEST(GLES20VersionTest, MissingOrMalformedStringIsReported)
{
    FakeGLQueries fake;
    ScopedFakeGLQueries scope(fake);
    fake.version = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(CGLES20ExtensionHandler::Get_GLVersion(), std::make_pair(-1, -1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CGLES20ExtensionHandler: OpenGL extension string is 0!\n");
    for (const char* bad : {"", "4", "4 .5", "version 4.5", "4."}) {
        fake.version = bad;
        testing::internal::CaptureStderr();
        EXPECT_EQ(CGLES20ExtensionHandler::Get_GLVersion(), std::make_pair(-1, -1)) << bad;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "CGLES20ExtensionHandler: OpenGL version string malformed!\n");
    }
}

TEST(GLES20ExtensionTest, ListStringPathNeedsWholeWords)
{
    FakeGLQueries fake;
    fake.extensions = "GL_ARB_vertex_array_object GL_EXT_a\tGL_NV_draw_buffers";
    ScopedFakeGLQueries scope(fake);
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array"));
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array_object"));
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_EXT_a"));
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_NV_draw_buffers"));
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("array_object"));
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_NV_draw"));
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension(""));
    // The lookup of glGetStringi was tried each time (a null is not cached).
    EXPECT_EQ(fake.lookups.size(), 6u);
}

TEST(GLES20ExtensionTest, ListStringPathResumesAfterAPartialHit)
{
    FakeGLQueries fake;
    fake.extensions = "GL_ARB_vertex_array_object GL_ARB_vertex_array";
    ScopedFakeGLQueries scope(fake);
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array"));
    fake.extensions = "XGL_EXT_b GL_EXT_bc GL_EXT_b";
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_EXT_b"));
    fake.extensions = "XGL_EXT_b GL_EXT_bc";
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_EXT_b"));
    fake.extensions = nullptr;
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_EXT_b"));
}

TEST(GLES20ExtensionTest, IndexedPathComparesExactly)
{
    FakeGLQueries fake;
    fake.offer_get_stringi = true;
    fake.extensions = "GL_ARB_vertex_array";  // must not be read on this path
    fake.indexed_extensions = {"GL_EXT_a", nullptr, "GL_ARB_vertex_array_object"};
    ScopedFakeGLQueries scope(fake);
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array"));
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_ARB_vertex_array_object"));
    EXPECT_TRUE(CGLES20ExtensionHandler::Has_Extension("GL_EXT_a"));
    EXPECT_FALSE(CGLES20ExtensionHandler::Has_Extension("GL_EXT"));
    // Resolved once, then cached.
    EXPECT_EQ(fake.lookups, std::vector<std::string>{"glGetStringi"});
}

}  // namespace
