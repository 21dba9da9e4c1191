// nerelle-sceneview as a user runs it: what it does with options and a bad
// texture directory before it makes anything, and what a failed write
// leaves behind.
#include "image/png_file.h"
#include "support/run_tool.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

class SceneviewTool : public testing::Test {
protected:
    testsupport::ToolRun Run(const std::string& arguments, const std::string& tool = NERELLE_SCENEVIEW_TOOL)
    {
        return testsupport::RunTool("cd '" + m_dir.Path().string() + "' && " + tool, arguments, m_dir.Path());
    }
    // What the tool left in the scratch directory besides the captured output.
    bool MadeNothing() const
    {
        for (const auto& entry : fs::directory_iterator(m_dir.Path()))
            if (entry.path().filename().string().rfind("tool_std", 0) != 0)
                return false;
        return true;
    }
    const std::string m_textures = std::string(NERELLE_SOURCE_DIR) + "/data/textures";
    testsupport::ScratchDir m_dir{"sceneview"};
};

TEST_F(SceneviewTool, OptionsAndABadTextureDirectoryMakeNoDirectory)
{
    testsupport::ToolRun run = Run("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: nerelle-sceneview OUTPUT_DIR [TEXTURE_DIR]\n", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
    const struct {
        std::string arguments, error;
        int status;
    } cases[] = {
        {"", "error: usage: nerelle-sceneview OUTPUT_DIR [TEXTURE_DIR] (--help for more)\n", 2},
        {"-x", "error: usage: nerelle-sceneview OUTPUT_DIR [TEXTURE_DIR] (--help for more)\n", 2},
        {"out --help", "error: usage: nerelle-sceneview OUTPUT_DIR [TEXTURE_DIR] (--help for more)\n", 2},
        {"out no_textures", "error: cannot enter the texture directory 'no_textures': No such file or directory\n", 1},
        {"out", "error: cannot enter the texture directory 'data/textures': No such file or directory\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        run = Run(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.error);
    }
    EXPECT_TRUE(MadeNothing());
}

// Every view that cannot be written is named with its cause; what is left
// under a view's name is a whole PNG, and no temporary file stays.
TEST_F(SceneviewTool, AFailedWriteLeavesNoPartialView)
{
    const testsupport::ToolRun run =
        Run("out '" + m_textures + "'", testsupport::UnderFileSizeLimit(NERELLE_SCENEVIEW_TOOL, 32 * 1024));
    EXPECT_EQ(run.status, 1);
    const std::string prefix = "error: cannot write " + (m_dir / "out").string() + "/";
    EXPECT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
    EXPECT_NE(run.err.find(".png: File too large\n"), std::string::npos) << run.err;
    for (const auto& entry : fs::directory_iterator(m_dir / "out")) {
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(entry.path().extension(), ".png");
        EXPECT_NE(ReadPNG(entry.path().c_str()), nullptr);
        EXPECT_EQ(run.err.find(entry.path().string()), std::string::npos) << "written and reported lost";
    }
}

}  // namespace
