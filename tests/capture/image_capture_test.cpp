// Rendering one image into a bitmap on the headless context: the passes
// each sample count takes, what lands in the bitmap, and that a render
// target that cannot be made draws and reads nothing.
#include "capture/image_capture.h"

#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ImageCaptureTest = testsupport::GLTest;

constexpr uint32_t kBlue = 0xFF996633u;  // R 0x33, G 0x66, B 0x99: clear colour (0.2, 0.4, 0.6)
constexpr uint32_t kRed = 0xFF0000FFu;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

// What one call of the draw callback saw.
struct DrawCall {
    FrameRequest request;
    GLuint framebuffer;
    GLint samples;
};

// A frame: blue, the bottom-left quadrant red, a white triangle in the
// top-right quadrant whose diagonal edge multisampling softens.
void DrawTestFrame(int width, int height)
{
    glViewport(0, 0, width, height);
    glUseProgram(0);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, width / 2, height / 2);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLES);
    glVertex2f(0.0f, 0.0f);
    glVertex2f(1.0f, 0.0f);
    glVertex2f(1.0f, 1.0f);
    glEnd();
}

TEST_F(ImageCaptureTest, MultisampledImagesTakeTwoPassesSingleSampledOne)
{
    const int s = FramebufferSampleCount();
    ASSERT_GT(s, 0);
    constexpr int kWidth = 160, kHeight = 96;
    for (const int samples : {0, s}) {
        SCOPED_TRACE(samples);
        BitmapPtr bitmap(TBitmap::Create(kWidth, kHeight, false, false, 8));
        std::fill_n(bitmap->pixels, kWidth * kHeight, 0u);
        std::vector<DrawCall> calls;
        const DrawFrame draw = [&](const FrameRequest& request) {
            GLint framebuffer_samples = -1;
            glGetIntegerv(GL_SAMPLES, &framebuffer_samples);
            calls.push_back({request, BoundDrawFramebuffer(), framebuffer_samples});
            DrawTestFrame(request.width, request.height);
        };
        ImageRenderer renderer(samples);
        const Status rendered = renderer.Render(*bitmap, 2.5, {draw, {}});
        ASSERT_TRUE(rendered) << rendered.reason;

        // The passes: with S, a single-sample pass that makes the screen
        // textures, then the multisampled one reusing them; each of the
        // bitmap's size at the time asked for.
        const std::vector<std::pair<bool, GLint>> expected =
            samples ? std::vector<std::pair<bool, GLint>>{{false, 0}, {true, samples}}
                    : std::vector<std::pair<bool, GLint>>{{false, 0}};
        ASSERT_EQ(calls.size(), expected.size());
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].request.reuse_screen_textures, expected[i].first) << i;
            EXPECT_EQ(calls[i].request.width, kWidth) << i;
            EXPECT_EQ(calls[i].request.height, kHeight) << i;
            EXPECT_EQ(calls[i].request.t, 2.5) << i;
            EXPECT_EQ(calls[i].samples, expected[i].second) << i;
            EXPECT_NE(calls[i].framebuffer, Context().Framebuffer()) << "drew into the window's framebuffer";
            EXPECT_NE(calls[i].framebuffer, 0u);
        }
        EXPECT_EQ(BoundDrawFramebuffer(), Context().Framebuffer());

        // Bottom row first: row 0 starts in the red quadrant; blue top-left.
        EXPECT_EQ(bitmap->Row(0)[0], kRed);
        EXPECT_EQ(bitmap->Row(kHeight / 2 - 1)[kWidth / 2 - 1], kRed);
        EXPECT_EQ(bitmap->Row(kHeight - 1)[0], kBlue);
        EXPECT_EQ(bitmap->Row(kHeight / 2)[kWidth - 1], kWhite);
        EXPECT_EQ(bitmap->Row(kHeight - 2)[kWidth / 2 + 2], kBlue);
        // Along the diagonal only multisampling gives mixed pixels.
        int mixed = 0;
        for (int y = kHeight / 2; y < kHeight; ++y)
            for (int x = kWidth / 2; x < kWidth; ++x)
                mixed += bitmap->Row(y)[x] != kBlue && bitmap->Row(y)[x] != kWhite;
        if (samples)
            EXPECT_GT(mixed, kHeight / 4);
        else
            EXPECT_EQ(mixed, 0);

        // Another image of the same size comes out the same.
        BitmapPtr again(TBitmap::Create(kWidth, kHeight, false, false, 8));
        ASSERT_TRUE(renderer.Render(*again, 2.5, {draw, {}}));
        EXPECT_TRUE(std::equal(bitmap->pixels, bitmap->pixels + kWidth * kHeight, again->pixels));
        renderer.Release();
    }
}

TEST_F(ImageCaptureTest, WithoutARenderTargetNothingIsDrawnOrRead)
{
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    const struct {
        const char* what;
        int samples;
        int width, height;
        const char* reason;
    } cases[] = {
        {"too wide, single-sample", 0, max_size + 1, 2, "cannot create the image render target: "},
        {"too wide, multisampled", FramebufferSampleCount(), max_size + 1, 2,
         "cannot create the scene render target: "},
        {"too many samples", 64, 32, 32, "cannot create the image render target: "},
    };
    // What the window's framebuffer holds must not end up in the image.
    Context().BindFramebuffer();
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapPtr bitmap(TBitmap::Create(c.width, c.height, false, false, 8));
        ASSERT_TRUE(bitmap);
        const size_t count = size_t(c.width) * size_t(c.height);
        std::fill_n(bitmap->pixels, count, 0x12345678u);
        int draws = 0;
        ImageRenderer renderer(c.samples);
        const Status rendered = renderer.Render(*bitmap, 0, {[&](const FrameRequest&) { ++draws; }, {}});
        EXPECT_FALSE(rendered);
        EXPECT_EQ(draws, 0);
        EXPECT_EQ(rendered.reason.rfind(c.reason, 0), 0u) << rendered.reason;
        EXPECT_TRUE(std::all_of(bitmap->pixels, bitmap->pixels + count, [](uint32_t p) { return p == 0x12345678u; }));
        EXPECT_EQ(BoundDrawFramebuffer(), Context().Framebuffer());
    }
    TBitmap empty;
    EXPECT_EQ(ImageRenderer(0).Render(empty, 0, {[](const FrameRequest&) {}, {}}).reason, "no bitmap to render into");
}

}  // namespace
