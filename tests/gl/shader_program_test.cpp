#include "gl/shader_program.h"

#include "gl/gl_object.h"
#include "gl/gles20.h"
#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kVertex[] =
    "precision mediump float;\n"
    "attribute vec2 v_pos;\n"
    "attribute vec3 v_col;\n"
    "varying vec3 v_color;\n"
    "void main()\n"
    "{\n"
    "    v_color = v_col;\n"
    "    gl_Position = vec4(v_pos, 0.0, 1.0);\n"
    "}\n";

const char kFragment[] =
    "precision mediump float;\n"
    "varying vec3 v_color;\n"
    "uniform vec4 v_tint;\n"
    "void main()\n"
    "{\n"
    "    gl_FragColor = vec4(v_color, 1.0) * v_tint;\n"
    "}\n";

const char kBrokenVertex[] =
    "precision mediump float;\n"
    "attribute vec2 v_pos;\n"
    "void main() { gl_Position = vec4(v_pos, 0.0, 1.0) + undeclared; }\n";

class ShaderProgramTest : public testsupport::GLTest {
protected:
    void TearDown() override
    {
        glUseProgram(0);
        m_program.Reset();
        testsupport::GLTest::TearDown();
    }

    // Builds m_program; standard error is captured into m_stderr.
    bool Build(const char* vertex, const char* fragment, const char* config)
    {
        testing::internal::CaptureStderr();
        const bool ok =
            Create_ShaderProgram(m_config_log, m_compile_log, m_program.Ref(), vertex, fragment, config, m_link_log);
        m_stderr = testing::internal::GetCapturedStderr();
        return ok;
    }

    std::vector<GLuint> AttachedShaders() const
    {
        GLint count = 0;
        glGetProgramiv(m_program, GL_ATTACHED_SHADERS, &count);
        std::vector<GLuint> shaders(static_cast<size_t>(count));
        if (count > 0)
            glGetAttachedShaders(m_program, count, nullptr, shaders.data());
        return shaders;
    }

    GLProgram m_program;
    std::string m_config_log, m_compile_log, m_link_log, m_stderr;
};

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST_F(ShaderProgramTest, BuildsAndBindsConfiguredLocations)
{
    ASSERT_TRUE(Build(kVertex, kFragment, "vertex {\n\tv_pos: 3;\n\tv_col: 5;\n}\n")) << m_stderr;
    EXPECT_NE(m_program.Get(), 0u);
    EXPECT_EQ(m_stderr, "");
    EXPECT_EQ(m_config_log, "");
    EXPECT_EQ(glGetAttribLocation(m_program, "v_pos"), 3);
    EXPECT_EQ(glGetAttribLocation(m_program, "v_col"), 5);
    EXPECT_EQ(AttachedShaders().size(), 2u);
}

TEST_F(ShaderProgramTest, RebuildKeepsHandleAndDestroysOldShaders)
{
    ASSERT_TRUE(Build(kVertex, kFragment, "vertex { v_pos: 0; v_col: 1; }"));
    const GLuint handle = m_program;
    const std::vector<GLuint> old_shaders = AttachedShaders();
    ASSERT_EQ(old_shaders.size(), 2u);
    for (GLuint shader : old_shaders)
        EXPECT_TRUE(glIsShader(shader));

    ASSERT_TRUE(Build(kVertex, kFragment, "vertex { v_pos: 2; v_col: 0; }")) << m_stderr;
    EXPECT_EQ(m_program.Get(), handle);
    const std::vector<GLuint> new_shaders = AttachedShaders();
    EXPECT_EQ(new_shaders.size(), 2u);
    // Flagged for deletion when attached, so detaching destroyed them.
    for (GLuint shader : old_shaders)
        EXPECT_FALSE(glIsShader(shader)) << shader;
    EXPECT_EQ(glGetAttribLocation(m_program, "v_pos"), 2);
    EXPECT_EQ(glGetAttribLocation(m_program, "v_col"), 0);
}

TEST_F(ShaderProgramTest, CompileErrorGivesFramedLog)
{
    EXPECT_FALSE(Build(kBrokenVertex, kFragment, "vertex { v_pos: 0; }"));
    EXPECT_TRUE(StartsWith(m_compile_log, "=== vertex shader (OpenGL ES core) ===\n")) << m_compile_log;
    EXPECT_GT(m_compile_log.size(), std::string("=== vertex shader (OpenGL ES core) ===\n").size());
    // The fragment stage was never compiled.
    EXPECT_EQ(m_compile_log.find("fragment shader"), std::string::npos);
    EXPECT_EQ(m_stderr, "error: while compiling shader:\n" + m_compile_log + "\n");
    // The failing shader is attached all the same; the caller keeps the handle.
    EXPECT_NE(m_program.Get(), 0u);
    EXPECT_EQ(AttachedShaders().size(), 1u);
}

TEST_F(ShaderProgramTest, FragmentErrorFollowsVertexSection)
{
    // A vertex warning, if the driver gives one, comes first; the fragment
    // section is separated from it by a blank line.
    const char broken_fragment[] = "precision mediump float;\nvoid main() { gl_FragColor = nothing; }\n";
    EXPECT_FALSE(Build(kVertex, broken_fragment, nullptr));
    const size_t section = m_compile_log.find("=== fragment shader (OpenGL ES core) ===\n");
    ASSERT_NE(section, std::string::npos) << m_compile_log;
    if (section != 0) {
        EXPECT_TRUE(StartsWith(m_compile_log, "=== vertex shader (OpenGL ES core) ===\n"));
        EXPECT_EQ(m_compile_log.substr(section - 2, 2), "\n\n");
    }
    EXPECT_EQ(AttachedShaders().size(), 2u);
}

// Plays a driver that reports an info log of length 1 (just the
// terminator) on top of the real one.
PFNGLGETSHADERIVPROC g_real_get_shaderiv = nullptr;

void GLAPIENTRY GetShaderivWithEmptyLog(GLuint shader, GLenum name, GLint* value)
{
    g_real_get_shaderiv(shader, name, value);
    if (name == GL_INFO_LOG_LENGTH)
        *value = 1;
}

TEST_F(ShaderProgramTest, InfoLogOfLengthOneLeavesTheLogEmpty)
{
    g_real_get_shaderiv = CGLES20ExtensionHandler::glGetShaderiv;
    CGLES20ExtensionHandler::glGetShaderiv = &GetShaderivWithEmptyLog;
    const bool built = Build(kBrokenVertex, kFragment, nullptr);
    CGLES20ExtensionHandler::glGetShaderiv = g_real_get_shaderiv;
    EXPECT_FALSE(built);
    EXPECT_EQ(m_compile_log, "");
    EXPECT_EQ(m_stderr, "error: while compiling shader:\n\n");
}

TEST_F(ShaderProgramTest, ConfigurationErrorIsReported)
{
    EXPECT_FALSE(Build(kVertex, kFragment, "vertex { v_pos: 0 }"));
    EXPECT_EQ(m_config_log, "=== shader (OpenGL ES core) ===\nerror: unexpected token before ';'\n");
    EXPECT_EQ(m_stderr, "error: while configuring shader:\n" + m_config_log + "\n");
    EXPECT_EQ(m_link_log, "");
}

TEST_F(ShaderProgramTest, ConfigurationWarningsStayInTheLog)
{
    ASSERT_TRUE(Build(kVertex, kFragment, "vertex { v_pos: 1; } // trailing"));
    EXPECT_EQ(m_config_log, "=== shader (OpenGL ES core) ===\nwarning: config string: missing the newline at the end\n");
    EXPECT_EQ(m_stderr, "");
    EXPECT_EQ(glGetAttribLocation(m_program, "v_pos"), 1);
}

TEST_F(ShaderProgramTest, LinkErrorGivesFramedLog)
{
    // Each stage compiles, but the fragment stage has no main.
    const char fragment[] = "precision mediump float;\nvoid helper() { gl_FragColor = vec4(1.0); }\n";
    EXPECT_FALSE(Build(kVertex, fragment, nullptr));
    EXPECT_EQ(m_compile_log, "");
    EXPECT_TRUE(StartsWith(m_link_log, "=== shader (OpenGL ES core) ===\n")) << m_link_log;
    EXPECT_GT(m_link_log.size(), std::string("=== shader (OpenGL ES core) ===\n").size());
    EXPECT_EQ(m_stderr, "error: while linking shader:\n" + m_link_log + "\n");
}

TEST_F(ShaderProgramTest, ConfigureCreatesAProgramWhenNeeded)
{
    std::string log;
    ASSERT_TRUE(Configure_Program(m_program.Ref(), "fragment { x: 1; }", log));
    EXPECT_NE(m_program.Get(), 0u);
    EXPECT_TRUE(glIsProgram(m_program));
    EXPECT_EQ(log, "");
}

TEST_F(ShaderProgramTest, DrawsWithTheBuiltProgram)
{
    ASSERT_TRUE(Build(kVertex, kFragment, "vertex { v_pos: 0; v_col: 1; }")) << m_stderr;

    // Two triangles over the left half, green; the right half stays clear.
    const float vertices[] = {
        -1, -1, 0, 1, 0, 0, -1, 0, 1, 0, -1, 1, 0, 1, 0,
        -1, -1, 0, 1, 0, 0, 1, 0, 1, 0, 0, -1, 0, 1, 0,
    };
    GLVertexArray vao;
    vao.Create();
    glBindVertexArray(vao);
    GLBuffer buffer;
    buffer.Create();
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(vertices), vertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 5 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 5 * sizeof(float),
                          reinterpret_cast<const void*>(2 * sizeof(float)));

    glUseProgram(m_program);
    glUniform4f(glGetUniformLocation(m_program, "v_tint"), 1.0f, 0.5f, 1.0f, 1.0f);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glBindVertexArray(default_vertex_array);

    const std::vector<uint8_t> inside = PixelAt(64, 128);
    EXPECT_EQ(inside[0], 0);
    EXPECT_NEAR(inside[1], 128, 1);
    EXPECT_EQ(inside[2], 0);
    EXPECT_EQ(inside[3], 255);
    const std::vector<uint8_t> outside = PixelAt(192, 128);
    EXPECT_EQ(outside, (std::vector<uint8_t>{0, 0, 0, 0}));

    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

TEST_F(ShaderProgramTest, SetShaderSourceHandsOverTheTranslation)
{
    GLShader shader;
    shader.Create(GLenum{GL_VERTEX_SHADER});
    ASSERT_TRUE(shader);
    const GLchar* source = kVertex;
    CGLES20ExtensionHandler::Set_ShaderSource(shader, &source, nullptr);
    const std::unique_ptr<char[]> expected = CGLES20ExtensionHandler::Translate_ShaderSource(kVertex, false);
    ASSERT_NE(expected, nullptr);
    std::vector<char> stored(8192);
    GLsizei length = 0;
    glGetShaderSource(shader, static_cast<GLsizei>(stored.size()), &length, stored.data());
    EXPECT_EQ(std::string(stored.data(), static_cast<size_t>(length)), expected.get());
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    EXPECT_EQ(status, 1);
}

TEST_F(ShaderProgramTest, SetShaderSourcePassesOtherStagesThrough)
{
    GLShader shader;
    shader.Create(GLenum{GL_GEOMETRY_SHADER});
    ASSERT_TRUE(shader);
    const char text[] = "#version 150\nlayout(points) in;\nEXTRA";
    const GLchar* source = text;
    const GLint length = static_cast<GLint>(sizeof(text) - 1 - 6);  // without "\nEXTRA"
    CGLES20ExtensionHandler::Set_ShaderSource(shader, &source, &length);
    std::vector<char> stored(256);
    GLsizei stored_length = 0;
    glGetShaderSource(shader, static_cast<GLsizei>(stored.size()), &stored_length, stored.data());
    EXPECT_EQ(std::string(stored.data(), static_cast<size_t>(stored_length)), "#version 150\nlayout(points) in;");
}

}  // namespace
