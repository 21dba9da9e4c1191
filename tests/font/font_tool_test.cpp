// Runs nerelle-font as a user would, with the inputs a careless user or an
// attacker might give it.
#include "support/run_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "font/font_cache.h"
#include "font/unicode_blocks.h"
#include "font/font_test_util.h"

namespace {

namespace fs = std::filesystem;

class FontTool : public testing::Test {
protected:
    testsupport::ToolRun Run(const std::string &arguments)
    {
        return testsupport::RunTool(NERELLE_FONT_TOOL, arguments, dir.Path());
    }
    static std::string Quote(const std::string &s) { return "'" + s + "'"; }

    fonttest::TempDir dir;
};

TEST_F(FontTool, HelpGoesToStandardOutput)
{
    for (const char *option : {"--help", "-h"}) {
        testsupport::ToolRun run = Run(option);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("usage: nerelle-font build FONT PATTERN", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("fontconfig"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    testsupport::ToolRun run = Run("");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("usage:", 0), 0u);
}

// Each failure exits 1 with one line that says what went wrong, and leaves
// no page behind.
TEST_F(FontTool, FailedBuildsSayWhyAndLeaveNoPages)
{
    { std::ofstream(dir.File("passwd")) << "root:x:0:0:root:/root:/bin/bash\n"; }
    { std::ofstream(dir.File("file")) << "in the way"; }
    fs::create_directory(dir.File("out"));
    const std::string font = fonttest::SourceFont("cmunrm.otf"), pages = Quote(dir.File("out/p%02u.tga"));
    const struct {
        std::string arguments, error;
    } cases[] = {
        {Quote(dir.File("missing.otf")) + " " + pages,
         "error: cannot open font '" + dir.File("missing.otf") + "': No such file or directory\n"},
        {Quote(dir.File("passwd")) + " " + pages, "error: cannot open font '" + dir.File("passwd") + "': not a font file\n"},
        {"'' " + pages, "error: cannot open font ''\n"},
        {font + " " + pages + " --block Hiragana",
         "error: no glyphs: the font has none of the 90 code points asked for\n"},
        {font + " " + Quote(dir.File("file/p%02u.tga")),
         "error: cannot write '" + dir.File("file/p00.tga") + "': Not a directory\n"},
        {font + " 'x%.2000000000u.tga'",
         "error: page file pattern 'x%.2000000000u.tga...' makes names longer than 4096 bytes\n"},
    };
    for (const auto &c : cases) {
        testsupport::ToolRun run = Run("build " + c.arguments);
        EXPECT_NE(run.status, 0) << c.arguments;
        EXPECT_EQ(run.err, c.error) << c.arguments;
        EXPECT_TRUE(fs::is_empty(dir.File("out"))) << c.arguments;
    }
    testsupport::ToolRun run = Run("verify 'x%2000000000u.tga'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: page file pattern 'x%2000000000u.tga...' makes names longer than 4096 bytes\n");
}

TEST_F(FontTool, AFamilyNameThatFontconfigReplacesIsReported)
{
    testsupport::ToolRun run = Run("build 'No Such Family Nerelle' " + Quote(dir.File("p%02u.tga")));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind("warning: font family 'No Such Family Nerelle' not found, using '", 0), 0u) << run.err;
    EXPECT_TRUE(fs::exists(dir.File("p00.tga")));
    run = Run("build 'CMU Serif' " + Quote(dir.File("q%02u.tga")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

// `hud` makes the program's HUD fonts where the program cannot build them:
// each font of its list under the page file name it reads, built from the
// source file under the name it gives it, with glyphs of each of its
// blocks; a font already there is kept, a missing one built again.
TEST_F(FontTool, HudBuildsTheProgramsFontsUnderItsNames)
{
    for (const TFontCacheSource &font : g_hud_fonts) {
        const fs::path source = dir / font.font_file;
        fs::create_directories(source.parent_path());
        fs::create_symlink(fonttest::SourceFont(source.filename().c_str()), source);
    }
    fs::create_directory(dir / "pages");
    // From the directory that holds data/fonts/, as the program runs.
    const std::string hud = "cd " + Quote(dir.Path().string()) + " && " NERELLE_FONT_TOOL;
    testsupport::ToolRun run = testsupport::RunTool(hud, "hud pages", dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    std::string first_pages[std::size(g_hud_fonts)];
    for (size_t i = 0; i < std::size(g_hud_fonts); ++i) {
        const TFontCacheSource &font = g_hud_fonts[i];
        const std::string pattern = (dir / "pages" / fs::path(font.page_pattern).filename()).string();
        ASSERT_TRUE(Format_PagePattern(pattern.c_str(), 0, first_pages[i]));
        fonttest::CollectingConsumer pages;
        CBitmapFont loaded;
        ASSERT_TRUE(CBitmapFont::LoadPages(loaded, pages, pattern.c_str())) << pattern;
        EXPECT_EQ(loaded.name, font.font_file);
        for (const char *name : g_hud_font_blocks) {
            const TUnicodeBlock *block = Find_UnicodeBlock(name);
            ASSERT_NE(block, nullptr) << name;
            EXPECT_TRUE(std::any_of(loaded.glyphs.begin(), loaded.glyphs.end(), [&](const GlyphInfo &g) {
                return g.code >= block->first && g.code <= block->last;
            })) << font.font_file << ": nothing of " << name;
        }
    }

    const auto kept_time = fs::last_write_time(first_pages[1]);
    fs::remove(first_pages[0]);
    run = testsupport::RunTool(hud, "hud pages", dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(first_pages[0]));
    EXPECT_EQ(fs::last_write_time(first_pages[1]), kept_time);
}

} // namespace
