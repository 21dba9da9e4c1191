#include "gl/shader_translation.h"

#include "gl/fake_gl_queries.h"
#include "gl/gles20.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::FakeGLQueries;
using testsupport::ScopedFakeGLQueries;

const std::string kHeaderA =
    "#version 330\r\n"
    "#define texture1D(t,c) texture((t), (c))\r\n"
    "#define texture2D(t,c) texture((t), (c))\r\n"
    "#define texture3D(t,c) texture((t), (c))\r\n";
const std::string kHeaderB = "#version 130\r\n";
const std::string kFragmentLines =
    "out vec4 _v_gl_frag_color_;\r\n#define gl_FragColor _v_gl_frag_color_\r\n#define varying in\r\n";
const std::string kVertexLines = "#define attribute in\r\n#define varying out\r\n";

const char kFragment[] =
    "#version 100\n"
    "precision mediump float;\n"
    "varying vec2 v_tex;\n"
    "uniform sampler2D n_tex;\n"
    "void main() { gl_FragColor = texture2D(n_tex, v_tex); }\n";

// Translates through the handler on a context that reports these versions;
// `warnings` receives what went to standard error.
std::string Translate(const char* gl, const char* glsl, const char* source, bool is_fragment,
                      std::string* warnings = nullptr)
{
    FakeGLQueries fake;
    fake.version = gl;
    fake.glsl_version = glsl;
    ScopedFakeGLQueries scope(fake);
    testing::internal::CaptureStderr();
    const std::unique_ptr<char[]> text = CGLES20ExtensionHandler::Translate_ShaderSource(source, is_fragment);
    const std::string err = testing::internal::GetCapturedStderr();
    if (warnings)
        *warnings = err;
    EXPECT_NE(text, nullptr);
    return text ? std::string(text.get()) : std::string();
}

TEST(ShaderDialectTest, VersionsCompareAsIntegerPairs)
{
    EXPECT_EQ(Choose_ShaderDialect(4, 5, 4, 50), EShaderDialect::kGLSL330);
    EXPECT_EQ(Choose_ShaderDialect(3, 3, 3, 30), EShaderDialect::kGLSL330);
    for (int minor = 0; minor < 30; ++minor)
        EXPECT_EQ(Choose_ShaderDialect(3, 3, 3, minor), EShaderDialect::kGLSL130) << minor;
    EXPECT_EQ(Choose_ShaderDialect(3, 2, 4, 50), EShaderDialect::kGLSL130);
    EXPECT_EQ(Choose_ShaderDialect(-1, -1, 1, 30), EShaderDialect::kGLSL130);
    EXPECT_EQ(Choose_ShaderDialect(2, 1, 1, 20), EShaderDialect::kStripPrecision);
    EXPECT_EQ(Choose_ShaderDialect(4, 5, 0, 0), EShaderDialect::kStripPrecision);
}

TEST(ShaderDialectTest, ScanVersionLikeScanf)
{
    int major = 0, minor = 0;
    EXPECT_EQ(Scan_Version("4.50 NVIDIA", major, minor), 2);
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 50);
    EXPECT_EQ(Scan_Version("  3. 3", major, minor), 2);
    EXPECT_EQ(minor, 3);
    EXPECT_EQ(Scan_Version("OpenGL ES 3.2", major, minor), 0);
    EXPECT_EQ(Scan_Version("7", major, minor), 1);
    EXPECT_EQ(Scan_Version("99999999999999999999.1", major, minor), 2);
    EXPECT_EQ(major, 2147483647);
    EXPECT_EQ(Scan_Version(nullptr, major, minor), 0);
}

TEST(ShaderTranslationTest, HeaderAForFragmentOnModernContext)
{
    std::string warnings;
    const std::string out = Translate("4.5 (Core Profile) Mesa", "4.50", kFragment, true, &warnings);
    std::string source = kFragment;
    source.erase(0, std::string("#version 100").size());
    EXPECT_EQ(out, kHeaderA + kFragmentLines + "#line 0\r\n" + source);
    EXPECT_EQ(warnings, "");
}

TEST(ShaderTranslationTest, HeaderAForVertex)
{
    const char vertex[] = "precision highp float;\nattribute vec3 v_pos;\nvoid main() { gl_Position = vec4(v_pos, 1.0); }\n";
    EXPECT_EQ(Translate("3.3", "3.30", vertex, false), kHeaderA + kVertexLines + "#line 0\r\n" + vertex);
}

TEST(ShaderTranslationTest, HeaderBForOlderContexts)
{
    const char vertex[] = "precision highp float;\nvoid main() {}\n";
    const std::string expected = kHeaderB + kVertexLines + "#line 0\r\n" + vertex;
    EXPECT_EQ(Translate("3.3", "3.20", vertex, false), expected);
    EXPECT_EQ(Translate("3.3", "3.29", vertex, false), expected);
    EXPECT_EQ(Translate("3.0 Mesa", "1.30", vertex, false), expected);
    // An unreadable context version counts as below 3.3, with its message.
    std::string warnings;
    EXPECT_EQ(Translate("garbage", "4.50", vertex, false, &warnings), expected);
    EXPECT_EQ(warnings, "CGLES20ExtensionHandler: OpenGL version string malformed!\n");
    EXPECT_EQ(Translate(nullptr, "4.50", vertex, false, &warnings), expected);
    EXPECT_EQ(warnings, "CGLES20ExtensionHandler: OpenGL extension string is 0!\n");
}

TEST(ShaderTranslationTest, PrecisionStrippingForOldShadingLanguage)
{
    const char source[] =
        "#version 100\n"
        "precision mediump float;\n"
        "precision  highp\tsampler2D ;\n"
        "uniform sampler2D n_tex;\n"
        "void main() { gl_FragColor = vec4(1.0); }\n";
    const std::string expected =
        "#version 100\n"
        "\n"
        "\n"
        "uniform sampler2D n_tex;\n"
        "void main() { gl_FragColor = vec4(1.0); }\n";
    std::string warnings;
    EXPECT_EQ(Translate("2.1 Mesa", "1.20", source, true, &warnings), expected);
    EXPECT_EQ(warnings, "");
    // An unreadable shading-language version counts as 0.0, silently.
    EXPECT_EQ(Translate("4.5", nullptr, source, true, &warnings), expected);
    EXPECT_EQ(warnings, "");
}

TEST(ShaderTranslationTest, MissingPrecisionWarnsAndGoesOn)
{
    const char source[] = "void main() {}\n";
    std::string warnings;
    EXPECT_EQ(Translate("4.5", "4.50", source, false, &warnings), kHeaderA + kVertexLines + "#line 0\r\n" + source);
    EXPECT_EQ(warnings, "warning: shader source code requires precision specifier in OpenGL ES\n");
}

TEST(ShaderTranslationTest, VersionDirectiveWithTrailingWordWarns)
{
    const char source[] = "#version 100 es\nprecision lowp float;\n";
    std::string warnings;
    const std::string out = Translate("4.5", "4.50", source, false, &warnings);
    EXPECT_EQ(out, kHeaderA + kVertexLines + "#line 0\r\n" + " es\nprecision lowp float;\n");
    EXPECT_EQ(warnings, "warning: version specification does not end in newline\n");
}

TEST(ShaderTranslationTest, HashAndWordMayBeSeparated)
{
    // "# version" is a directive too; its CRLF line break stays.
    std::string out;
    int warnings = -1;
    ASSERT_TRUE(Translate_ShaderText("# version 100\r\nprecision mediump float;", true, EShaderDialect::kGLSL130, out,
                                     warnings));
    EXPECT_EQ(out, kHeaderB + kFragmentLines + "#line 0\r\n" + "\r\nprecision mediump float;");
    EXPECT_EQ(warnings, 0);
}

TEST(VersionDirectiveTest, OnlyHashVersionFollowedBySpaceIsADirective)
{
    std::string text = "// version 1\n#versions 2\n#version\n";
    EXPECT_EQ(Remove_VersionDirectives(text), 0);
    // "#version\n" followed by nothing but white space stays.
    EXPECT_EQ(text, "// version 1\n#versions 2\n#version\n");

    text = "#version 100";
    EXPECT_EQ(Remove_VersionDirectives(text), 0);  // the run reaches the end: no warning
    EXPECT_EQ(text, "");

    text = "a\n  #  version 300\r\nb #version 100\nc";
    EXPECT_EQ(Remove_VersionDirectives(text), 0);
    EXPECT_EQ(text, "a\n  \r\nb \nc");
}

TEST(VersionDirectiveTest, DirectiveAtEndOfTextDoesNotHang)
{
    std::string text = "#version   ";
    EXPECT_EQ(Remove_VersionDirectives(text), 0);
    EXPECT_EQ(text, "#version   ");
    text = "#version 100\n#version \t";
    Remove_VersionDirectives(text);
    EXPECT_EQ(text, "\n#version \t");
}

TEST(PrecisionStatementTest, OnlyCompleteStatementsAreErased)
{
    std::string text = "precision mediump;precision lowp vec2 ; precision float; precision highp";
    Strip_PrecisionStatements(text);
    // The type may be empty; a missing qualifier or a statement cut short stays.
    EXPECT_EQ(text, " precision float; precision highp");

    text = "precisionprecision mediump float;x";
    Strip_PrecisionStatements(text);
    EXPECT_EQ(text, "precisionx");

    text = "precision mediump float";
    Strip_PrecisionStatements(text);
    EXPECT_EQ(text, "precision mediump float");
}

// On an ES context the source is used as written; a fragment shader that
// takes derivatives gets the extension that ES 2.0 keeps them in, after its
// "#version" line.
TEST(ShaderTranslationTest, AnESContextKeepsTheSourceAndEnablesDerivatives)
{
    const char* es = "OpenGL ES 2.0 (WebGL 1.0)";
    const char* es_glsl = "OpenGL ES GLSL ES 1.00 (WebGL GLSL ES 1.0)";
    EXPECT_EQ(Translate(es, es_glsl, kFragment, true), kFragment);
    const std::string derivatives = std::string(kFragment) + "float w() { return fwidth(v_tex.x); }\n";
    EXPECT_EQ(Translate(es, es_glsl, derivatives.c_str(), false), derivatives) << "vertex shaders have none";
    const std::string enabled = Translate(es, es_glsl, derivatives.c_str(), true);
    EXPECT_EQ(enabled, "#version 100\n#extension GL_OES_standard_derivatives : enable\n" +
                           derivatives.substr(std::string("#version 100\n").size()));
    struct Case {
        std::string source, want;
    } cases[] = {
        {"void main() { gl_FragColor = vec4(dFdx(1.0)); }",
         "#extension GL_OES_standard_derivatives : enable\nvoid main() { gl_FragColor = vec4(dFdx(1.0)); }"},
        {"#version 100", "#version 100"},  // nothing to enable
        {"#version 100\r\nfloat a = fwidth(b);",
         "#version 100\r\n#extension GL_OES_standard_derivatives : enable\nfloat a = fwidth(b);"},
        {"#extension GL_OES_standard_derivatives : enable\nfloat f = dFdy(x);",
         "#extension GL_OES_standard_derivatives : enable\nfloat f = dFdy(x);"},  // named already
    };
    for (Case& c : cases) {
        Enable_Derivatives(c.source);
        EXPECT_EQ(c.source, c.want);
    }
}

}  // namespace
