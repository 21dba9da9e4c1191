// The HUD text block on the headless context: font caches built, repaired
// and loaded at construction; panel and text drawn where the layout says, in
// the HUD colour over the panel, with the frame's culling left on.
#include "hud/text_block.h"

#include "hud/hud_text.h"
#include "font/page_meta_stream.h"
#include "image/bitmap.h"
#include "image/png_file.h"
#include "image/tga.h"

#include "support/gl_test.h"
#include "support/rgba_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char kCmuDir[] = "/usr/share/fonts/truetype/cmu/";

// Two fonts of the system's CMU family with page caches in a temporary
// directory, and the panel texture of the source tree.
class TextBlockTest : public testsupport::GLTest {
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        if (!fs::exists(std::string(kCmuDir) + "cmunrm.ttf"))
            GTEST_SKIP() << "the CMU fonts (package fonts-cmu) are not installed";
        char name[] = "/tmp/nerelle-hud-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        patterns[0] = (dir / "rm%02u.tga").string();
        patterns[1] = (dir / "sl%02u.tga").string();
        sources[0] = {patterns[0].c_str(), "/usr/share/fonts/truetype/cmu/cmunrm.ttf"};
        sources[1] = {patterns[1].c_str(), "/usr/share/fonts/truetype/cmu/cmunsl.ttf"};
        background = std::string(NERELLE_SOURCE_DIR) + "/data/textures/gui_bk_alpha.png";
        files.background = background.c_str();
        files.fonts = sources;
        files.blocks = kBlocks;
        files.block_count = 2;
    }
    void TearDown() override
    {
        glDisable(GL_CULL_FACE);  // as the other GL tests expect the context
        if (!dir.empty())
            fs::remove_all(dir);
        GLTest::TearDown();
    }

    // Constructs a block, keeping what it printed.
    std::unique_ptr<CTextBlock> Make(float size, float x, float y)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        auto block = std::make_unique<CTextBlock>(size, x, y, files);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return block;
    }

    static constexpr const char* kBlocks[2] = {"Basic Latin", "Latin-1 Supplement"};
    fs::path dir;
    std::string patterns[2], background, out, err;
    TFontCacheSource sources[2];
    TextBlockFiles files;
};

using testsupport::RgbaImage;

// Text pixels, y from the bottom: the HUD green shows through the grey panel.
bool IsText(const RgbaImage& f, int x, int y)
{
    const uint8_t* p = f.AtGL(x, y);
    return p[1] > p[0] + 40 && p[1] > p[2] + 40;
}

// The box of text pixels, in pixels.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool Empty() const { return x1 < 0; }
};

Box TextBox(const RgbaImage& f)
{
    Box b;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            if (IsText(f, x, y)) {
                b.x0 = std::min(b.x0, x);
                b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y);
                b.y1 = std::max(b.y1, y);
            }
    return b;
}

float ToPixel(float ndc, int size)
{
    return (ndc + 1.0f) * 0.5f * float(size);
}

TEST_F(TextBlockTest, StartBuildsMissingCachesOnceAndLoadsBothFonts)
{
    auto first = Make(0.5f, -0.9f, -1.0f);
    EXPECT_TRUE(fs::exists(dir / "rm00.tga"));
    EXPECT_TRUE(fs::exists(dir / "sl00.tga"));
    EXPECT_NE(out.find("done. produced"), std::string::npos) << out;
    EXPECT_EQ(err, "");
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(first->Font(i).Texture().name.Get(), 0u) << i;
        EXPECT_NE(first->Font(i).Lookup(0xE9), nullptr) << i;  // from Latin-1 Supplement
        EXPECT_EQ(first->Font(i).primitive_mode, GLenum(GL_TRIANGLES));
        EXPECT_EQ(first->Font(i).restart_index, 0xFFFFFFFFu);
    }
    EXPECT_FLOAT_EQ(first->BackgroundAspect(), 3.0f);

    // The next start loads the caches without building.
    const auto written = fs::last_write_time(dir / "rm00.tga");
    auto second = Make(0.5f, -0.9f, -1.0f);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(fs::last_write_time(dir / "rm00.tga"), written);
    EXPECT_NE(second->Font(0).Texture().name.Get(), 0u);
}

TEST_F(TextBlockTest, ACacheWhosePageZeroDoesNotLoadIsRebuiltWithOneWarning)
{
    struct Case {
        const char* name;
        void (*damage)(const fs::path& page0);
        const char* why;
    };
    const Case cases[] = {
        {"glyph table changed (CRC mismatch)",
         [](const fs::path& page0) {
             // One byte of the stored FontInfo, in the metadata area's first row.
             BitmapPtr page(ReadTGA(page0.string().c_str()));
             ASSERT_TRUE(page);
             uint32_t& pixel = page->Row(0)[40];
             pixel = GreyPixel((pixel & 0xFF) ^ 0x10);
             ASSERT_TRUE(WriteTGA(page0.string().c_str(), page.get()));
         },
         "does not hold a valid glyph table"},
        {"page 0 unreadable", [](const fs::path& page0) { std::ofstream(page0, std::ios::trunc) << "not a tga"; },
         "is missing or unreadable"},
    };
    for (const Case& c : cases) {
        Make(0.5f, -0.9f, -1.0f);  // builds the caches
        c.damage(dir / "rm00.tga");
        auto block = Make(0.5f, -0.9f, -1.0f);
        const std::string warning = "warning: font page cache '" + patterns[0] + "' does not load (";
        EXPECT_EQ(err.rfind(warning, 0), 0u) << c.name << ": " << err;
        EXPECT_NE(err.find(c.why), std::string::npos) << c.name << ": " << err;
        EXPECT_NE(err.find("); rebuilding it\n"), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name << ": " << err;
        EXPECT_NE(out.find("done. produced"), std::string::npos) << c.name;
        EXPECT_NE(block->Font(0).Texture().name.Get(), 0u) << c.name;
        // Repaired: the next start is quiet.
        Make(0.5f, -0.9f, -1.0f);
        EXPECT_EQ(err, "") << c.name;
    }
}

TEST_F(TextBlockTest, PanelAndTextLandWhereTheLayoutSaysWithCullingOn)
{
    const int w = Context().Width(), h = Context().Height();
    // The frame leaves culling on with counter-clockwise front faces.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    const float size = 0.6f, x = -0.9f, y = -1.0f, z = 0.25f;
    auto block = Make(size, x, y);
    const char* text = "HUD 123\nlat lon";
    block->SetText(text, z);
    ASSERT_GT(block->TextIndexCount(), 0u);
    block->Draw();
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    const RgbaImage f = testsupport::ReadFramebuffer(w, h);
    testsupport::SaveForViewing(f, "text_block_panel");

    // Panel: 3 panel heights wide at aspect 1.
    const float a = block->BackgroundAspect(), r = float(h) / float(w);
    const float px0 = ToPixel(x, w), px1 = ToPixel(x + a * r * size, w);
    const float py0 = ToPixel(y, h), py1 = ToPixel(y + size, h);
    // Inside the panel, away from the text and the rounded border, the panel
    // texture shows (its colour times its alpha over the cleared black).
    BitmapPtr png(ReadPNG(files.background));
    ASSERT_TRUE(png);
    const uint8_t* texel = reinterpret_cast<const uint8_t*>(&png->Row(png->height / 2)[png->width / 8]);
    const uint8_t* panel = f.AtGL(int(px0 + (px1 - px0) / 8), int((py0 + py1) / 2));
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(panel[c], texel[c] * texel[3] / 255.0, 6) << c;
    EXPECT_GT(panel[3], 0);
    // Outside it the frame is untouched.
    for (auto [ox, oy] : {std::pair{int(px1) + 3, 5}, std::pair{5, int(py1) + 3}, std::pair{w - 1, h - 1}})
        EXPECT_EQ(f.AtGL(ox, oy)[3], 0) << ox << ',' << oy;

    // Text: inside the panel, centred on it, both lines inked with a gap
    // between them, the first above the second.
    const Box box = TextBox(f);
    ASSERT_FALSE(box.Empty());
    EXPECT_GT(box.x0, px0);
    EXPECT_LT(box.x1, px1);
    EXPECT_GT(box.y0, py0);
    EXPECT_LT(box.y1, py1);
    EXPECT_NEAR((box.x0 + box.x1) / 2.0, (px0 + px1) / 2.0, 3);
    EXPECT_NEAR((box.y0 + box.y1) / 2.0, (py0 + py1) / 2.0, (py1 - py0) / 6);
    std::vector<std::pair<int, int>> bands;  // rows with ink, bottom up
    for (int yy = box.y0; yy <= box.y1; ++yy) {
        bool ink = false;
        for (int xx = box.x0; xx <= box.x1 && !ink; ++xx)
            ink = IsText(f, xx, yy);
        if (ink && (bands.empty() || bands.back().second != yy - 1))
            bands.push_back({yy, yy});
        else if (ink)
            bands.back().second = yy;
    }
    ASSERT_EQ(bands.size(), 2u) << "two lines, apart";
    // "HUD 123" on top is wider than "lat lon" below it... both are inked
    // over several rows.
    EXPECT_GT(bands[0].second - bands[0].first, 3);
    EXPECT_GT(bands[1].second - bands[1].first, 3);
}

TEST_F(TextBlockTest, FullInkIsTheHudColour)
{
    glEnable(GL_CULL_FACE);
    auto block = Make(0.9f, -0.95f, -0.95f);
    block->SetText("H", 0.9f);  // big enough for stems several pixels wide
    block->Draw();
    const RgbaImage f = testsupport::ReadFramebuffer(Context().Width(), Context().Height());
    const uint8_t* best = nullptr;
    for (int yy = 0; yy < f.height; ++yy)
        for (int xx = 0; xx < f.width; ++xx)
            if (!best || f.AtGL(xx, yy)[1] > best[1])
                best = f.AtGL(xx, yy);
    ASSERT_NE(best, nullptr);
    EXPECT_NEAR(best[0], 0.3 * 255, 3);
    EXPECT_GE(best[1], 253);
    EXPECT_NEAR(best[2], 0.4 * 255, 3);
}

TEST_F(TextBlockTest, InklessTextLeavesThePanelAlone)
{
    glEnable(GL_CULL_FACE);
    auto block = Make(0.5f, -0.9f, -1.0f);
    for (const char* text : {"   \t ", "", static_cast<const char*>(nullptr), "\xC2\xA0\n"}) {
        block->SetText("x", 0.25f);
        block->SetText(text, 0.25f);
        EXPECT_EQ(block->TextIndexCount(), 0u);
        EXPECT_EQ(block->TextWidth(), 0.0f);
    }
    glClear(GL_COLOR_BUFFER_BIT);
    block->Draw();
    const RgbaImage f = testsupport::ReadFramebuffer(Context().Width(), Context().Height());
    EXPECT_TRUE(TextBox(f).Empty());
    EXPECT_GT(f.AtGL(int(ToPixel(-0.5f, f.width)), int(ToPixel(-0.75f, f.height)))[3], 0);  // the panel
}

TEST_F(TextBlockTest, EachLineAddsTheSameHeightOfInkBelowTheOthers)
{
    glEnable(GL_CULL_FACE);
    auto block = Make(0.9f, -0.95f, -0.95f);
    std::vector<Box> boxes;
    std::string text = "Hb";
    for (int lines = 1; lines <= 3; ++lines) {
        glClear(GL_COLOR_BUFFER_BIT);
        block->SetText(text.c_str(), 0.2f);
        block->Draw();
        boxes.push_back(TextBox(testsupport::ReadFramebuffer(Context().Width(), Context().Height())));
        ASSERT_FALSE(boxes.back().Empty()) << lines;
        text += "\nHb";
    }
    // The block stays centred, so the first line moves up as lines are
    // added; each added line adds the same height.
    const int grow1 = (boxes[1].y1 - boxes[1].y0) - (boxes[0].y1 - boxes[0].y0);
    const int grow2 = (boxes[2].y1 - boxes[2].y0) - (boxes[1].y1 - boxes[1].y0);
    EXPECT_GT(grow1, 5);
    EXPECT_NEAR(grow2, grow1, 2);
    EXPECT_GT(boxes[1].y1, boxes[0].y1);
    EXPECT_LT(boxes[1].y0, boxes[0].y0);
}

TEST_F(TextBlockTest, ThePanelKeepsItsProportionsWhenTheViewportChanges)
{
    auto block = Make(0.6f, -1.0f, -1.0f);
    block->SetText("ab", 0.4f);
    const int heights[2] = {256, 128};
    int widths[2], panel_heights[2], text_widths[2];
    for (int i = 0; i < 2; ++i) {
        const int h = heights[i];
        glClear(GL_COLOR_BUFFER_BIT);
        glViewport(0, 0, 256, h);
        block->Draw();
        const RgbaImage f = testsupport::ReadFramebuffer(256, 256);
        const int middle_row = int(0.15f * float(h)), middle_column = int(0.3f * float(h));
        widths[i] = panel_heights[i] = 0;
        for (int x = 0; x < 256; ++x)
            widths[i] += f.AtGL(x, middle_row)[3] > 0;
        for (int y = 0; y < 256; ++y)
            panel_heights[i] += f.AtGL(middle_column, y)[3] > 0;
        const Box box = TextBox(f);
        ASSERT_FALSE(box.Empty()) << h;
        text_widths[i] = box.x1 - box.x0 + 1;
        EXPECT_NEAR((box.x0 + box.x1) / 2.0, widths[i] / 2.0, 2) << h;  // centred on the panel
    }
    Context().BindFramebuffer();
    // Half the viewport height: panel and text shrink alike in both directions.
    EXPECT_GT(widths[0], 200);
    EXPECT_NEAR(widths[1], widths[0] / 2.0, 2);
    EXPECT_NEAR(panel_heights[1], panel_heights[0] / 2.0, 2);
    EXPECT_NEAR(text_widths[1], text_widths[0] / 2.0, 2);
}

// The HUD as the program shows it, at the window size, written to a PNG for
// a look: the four status lines.
TEST_F(TextBlockTest, StatusTextAtTheWindowSize)
{
    GLFramebuffer fbo;
    GLRenderbuffer color;
    fbo.Create();
    color.Create();
    glBindRenderbuffer(GL_RENDERBUFFER, color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 720, 480);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glViewport(0, 0, 720, 480);
    glClearColor(0.1f, 0.3f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_CULL_FACE);

    auto block = Make(0.5f, -0.9f, -1.0f);
    const std::string text = FormatHudText(HudReadingAt(GeoFrame(), LocalPoint(7.5f, -10.08f, -0.27f), {2.0f, 0, 0}));
    block->SetText(text.c_str(), 0.18f);
    block->Draw();
    const RgbaImage f = testsupport::ReadFramebuffer(720, 480);
    testsupport::SaveForViewing(f, "hud_720x480");
    // Four separate bands of text rows, all inside the panel (x 36..396, y 0..120).
    int bands = 0;
    bool in_band = false;
    for (int yy = 479; yy >= 0; --yy) {
        bool ink = false;
        for (int xx = 0; xx < 720 && !ink; ++xx)
            ink = IsText(f, xx, yy);
        if (ink && !in_band)
            ++bands;
        in_band = ink;
    }
    EXPECT_EQ(bands, 4);
    const Box box = TextBox(f);
    EXPECT_GE(box.x0, 36);
    EXPECT_LE(box.x1, 396);
    EXPECT_LE(box.y1, 120);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    Context().BindFramebuffer();
}

}  // namespace
