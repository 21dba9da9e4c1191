#include "gl/shader_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Result {
    bool ok = false;
    std::string log;
    std::vector<TAttributeBinding> bindings;
};

Result Parse(const char* text)
{
    Result r;
    r.ok = Parse_ShaderConfig(text, r.log, r.bindings);
    return r;
}

const char kStageError[] = "error: unexpected token before stage specifier\n";
const char kOpenError[] = "error: unexpected token before '{'\n";
const char kCloseError[] = "error: unexpected token before '}'\n";
const char kColonError[] = "error: unexpected token before ':'\n";
const char kSemicolonError[] = "error: unexpected token before ';'\n";
const char kIntegerError[] = "error: expected integer value after vertex attribute name\n";
const char kNewlineWarning[] = "warning: config string: missing the newline at the end\n";
const char kCommentWarning[] = "warning: config string: end of commend not found\n";

TEST(ShaderConfigTest, EmptyAndBlankStringsSucceedQuietly)
{
    for (const char* text : {"", "  \n\t ", "// nothing here\n", "/* a */ \n // b\n", "/**/"}) {
        const Result r = Parse(text);
        EXPECT_TRUE(r.ok) << text;
        EXPECT_EQ(r.log, "") << text;
        EXPECT_TRUE(r.bindings.empty()) << text;
    }
}

TEST(ShaderConfigTest, VertexBlockBindsInOrder)
{
    const Result r = Parse("vertex {\n\tv_pos: 0;\n\tv_col: 1;\n\tv_tex: 2;\n}\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.log, "");
    ASSERT_EQ(r.bindings.size(), 3u);
    EXPECT_EQ(r.bindings[0].name, "v_pos");
    EXPECT_EQ(r.bindings[0].location, 0u);
    EXPECT_EQ(r.bindings[2].name, "v_tex");
    EXPECT_EQ(r.bindings[2].location, 2u);
}

TEST(ShaderConfigTest, WhiteSpaceIsOptional)
{
    for (const char* text : {"vertex { v_pos: 0; }", "vertex{v_pos:0;}", "vertex\n{\nv_pos\n:\n0\n;\n}"}) {
        const Result r = Parse(text);
        ASSERT_TRUE(r.ok) << text;
        ASSERT_EQ(r.bindings.size(), 1u) << text;
        EXPECT_EQ(r.bindings[0].name, "v_pos");
        EXPECT_EQ(r.bindings[0].location, 0u);
    }
}

TEST(ShaderConfigTest, VertexValuesMustBePlainIntegers)
{
    for (const char* text : {"vertex { v_pos: -1; }", "vertex { v_pos: ; }", "vertex { v_pos: +1; }",
                             "vertex { v_pos: 1.0; }", "vertex { v_pos: 1e3; }", "vertex { v_pos: 4294967296; }"}) {
        const Result r = Parse(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(r.log, kIntegerError) << text;
    }
    const Result big = Parse("vertex { v_pos: 4294967295; v_nrm: 0007; }");
    ASSERT_TRUE(big.ok);
    EXPECT_EQ(big.bindings[0].location, 4294967295u);
    EXPECT_EQ(big.bindings[1].location, 7u);
}

TEST(ShaderConfigTest, OtherStagesAreCheckedButIgnored)
{
    const Result r = Parse(
        "fragment { anything: -1.5e+3; }\n"
        "geometry { a: b; }\n"
        "tesselation-control { _x: ; }\n"
        "tesselation-evaluation { }\n"
        "vertex { v_pos: 3; } vertex { v_nrm: 4; }\n");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.bindings.size(), 2u);
    EXPECT_EQ(r.bindings[1].name, "v_nrm");
    EXPECT_EQ(r.bindings[1].location, 4u);
}

TEST(ShaderConfigTest, SyntaxErrors)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"vertex { v_pos: 0 }", kSemicolonError},
        {"vertex { v_pos: 0", kSemicolonError},
        {"vertex { 0: 1; }", kCloseError},
        {"vertex { v_pos: 0;", kCloseError},
        {"vertex { v-pos: 0; }", kColonError},
        {"vertex { v_pos", kColonError},
        {"vertexes { }", kOpenError},
        {"vertex", kOpenError},
        {"pixel { }", kStageError},
        {"vertex { } }", kStageError},
        {"Vertex { }", kStageError},
        {"fragment { a: b c; }", kSemicolonError},
    };
    for (const Case& c : cases) {
        const Result r = Parse(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.log, c.error) << c.text;
    }
}

TEST(ShaderConfigTest, BindingsBeforeAnErrorAreKept)
{
    const Result r = Parse("vertex { v_pos: 0; v_tex: 1; } vertex { v_nrm: x; }");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, kIntegerError);
    ASSERT_EQ(r.bindings.size(), 2u);
    EXPECT_EQ(r.bindings[1].name, "v_tex");
}

TEST(ShaderConfigTest, LineCommentWithoutNewlineWarns)
{
    const Result r = Parse("vertex { v_pos: 0; } // position");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.log, kNewlineWarning);
    ASSERT_EQ(r.bindings.size(), 1u);
}

TEST(ShaderConfigTest, CommentsAreRemovedBeforeParsing)
{
    const Result r = Parse(
        "// attribute locations\n"
        "vertex { /* position */ v_pos: 0; // first\n"
        "  v_nrm /* normal */ : 1; /* multi\n line */ }\n");
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.log, "");
    ASSERT_EQ(r.bindings.size(), 2u);
    EXPECT_EQ(r.bindings[1].name, "v_nrm");
    // A comment splits nothing: it vanishes without leaving a blank.
    const Result joined = Parse("vertex { v_/**/pos: 1; }\n");
    ASSERT_TRUE(joined.ok);
    EXPECT_EQ(joined.bindings[0].name, "v_pos");
}

TEST(ShaderConfigTest, UnclosedBlockCommentCutsTheRest)
{
    const Result r = Parse("vertex { v_pos: 0; /* v_nrm: 1; }\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, std::string(kCommentWarning) + kCloseError);
    ASSERT_EQ(r.bindings.size(), 1u);

    const Result closed_late = Parse("vertex { v_pos: 0; } /*/");
    EXPECT_TRUE(closed_late.ok);
    EXPECT_EQ(closed_late.log, kCommentWarning);
}

TEST(ShaderConfigTest, LineCommentsGoFirst)
{
    // The "//" inside the block comment removes its "*/", so the block
    // comment runs to the end.
    const Result r = Parse("vertex { v_pos: 0; } /* a // b */\nvertex { v_tex: 1; }\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.log, kCommentWarning);
    EXPECT_EQ(r.bindings.size(), 1u);
}

TEST(ShaderConfigTest, NonAsciiBytesAreRejectedNotMisread)
{
    const Result r = Parse("vertex { \xc3\xa9t\xc3\xa9: 1; }");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, kCloseError);
}

}  // namespace
