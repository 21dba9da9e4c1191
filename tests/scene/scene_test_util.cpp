#include "scene/scene_test_util.h"

#include "image/bitmap.h"
#include "image/png_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <unistd.h>

namespace scenetest {

namespace {

bool WriteTexture(const char* name, int width, int height, const std::function<uint32_t(int x, int y)>& texel)
{
    BitmapPtr bitmap(TBitmap::Create(width, height, false, false, 8));
    if (!bitmap)
        return false;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap->Row(y)[x] = texel(x, y);
    return WritePNG(name, bitmap.get(), true);
}

// The known textures in a scratch directory, current for the rest of the
// test program.
struct TextureDirectory {
    std::filesystem::path previous = std::filesystem::current_path();
    testsupport::ScratchDir dir{"scene"};
    bool entered = false;
    TextureDirectory()
    {
        std::error_code error;
        std::filesystem::current_path(dir.Path(), error);
        if (error)
            return;
        entered = true;
        // Clouds: red follows s, green follows t, so the scrolling can be read off.
        WriteTexture("clouds.png", 256, 256, [](int x, int y) { return PackRGBA(RampByte(x), RampByte(y), 0, 255); });
        WriteTexture("lightmap.png", 4, 4,
                     [](int, int) { return PackRGBA(kLightmapRGB[0], kLightmapRGB[1], kLightmapRGB[2], 255); });
        WriteTexture("sub.png", 8, 8, [](int, int) { return PackRGBA(255, 255, 255, 255); });
    }
    ~TextureDirectory()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }
};

}  // namespace

uint8_t RampByte(int i)
{
    return uint8_t(std::lround((i + 0.5) / 256.0 * 255.0));
}

void EnterTextureDirectory()
{
    static TextureDirectory directory;
    ASSERT_TRUE(directory.entered) << "cannot make the test texture directory";
}

ScopedTextureFile::ScopedTextureFile(const char* name, int width, int height,
                                     const std::function<uint32_t(int x, int y)>& texel)
    : m_previous(std::filesystem::current_path())
{
    std::error_code error;
    std::filesystem::current_path(m_dir.Path(), error);
    if (!error)
        m_written = WriteTexture(name, width, height, texel);
}

ScopedTextureFile::~ScopedTextureFile()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}

Matrix4 View(const Vector3& eye, const Vector3& target, const Vector3& up)
{
    const Vector3 f = Normalise(target - eye);
    const Vector3 s = Normalise(Cross(f, up));
    const Vector3 u = Cross(s, f);
    Matrix4 m = Matrix4::Identity();
    const Vector3 rows[3] = {s, u, -f};
    for (int r = 0; r < 3; ++r) {
        m.At(r, 0) = rows[r].x;
        m.At(r, 1) = rows[r].y;
        m.At(r, 2) = rows[r].z;
    }
    return m * Matrix4::Translation(-eye);
}

Matrix4 Ortho(float left, float right, float bottom, float top, float near_z, float far_z)
{
    Matrix4 m = Matrix4::Identity();
    m[0] = 2 / (right - left);
    m[5] = 2 / (top - bottom);
    m[10] = -2 / (far_z - near_z);
    m[12] = -(right + left) / (right - left);
    m[13] = -(top + bottom) / (top - bottom);
    m[14] = -(far_z + near_z) / (far_z - near_z);
    return m;
}

Matrix4 Perspective60()
{
    return Matrix4::Perspective(60, 1, 0.1f, 10000);
}

Vector3 EyeRay(int x, int y, int size)
{
    const float t = std::tan(30.0f * 3.14159265f / 180);
    const float nx = (2 * (float(x) + 0.5f) / float(size) - 1) * t;
    const float ny = (2 * (float(y) + 0.5f) / float(size) - 1) * t;
    return Normalise(Vector3(nx, ny, -1));
}

::testing::AssertionResult ColourNear(const uint8_t* pixel, const float* rgb, int tolerance)
{
    for (int c = 0; c < 3; ++c) {
        const int expected = int(std::lround(std::clamp(rgb[c], 0.0f, 1.0f) * 255));
        if (std::abs(int(pixel[c]) - expected) > tolerance)
            return ::testing::AssertionFailure()
                   << "pixel (" << int(pixel[0]) << ", " << int(pixel[1]) << ", " << int(pixel[2]) << ") vs expected ("
                   << std::lround(rgb[0] * 255) << ", " << std::lround(rgb[1] * 255) << ", "
                   << std::lround(rgb[2] * 255) << ")";
    }
    return ::testing::AssertionSuccess();
}

GLTexture MakeTexture(int width, int height, const std::vector<uint32_t>& pixels)
{
    GLTexture texture;
    texture.Create();
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return texture;
}

// --- simplex noise, step for step as the shader computes it ---

namespace {

struct V4 {
    float v[4];
    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
};

float Mod289(float x)
{
    return x - std::floor(x * (1.0f / 289.0f)) * 289.0f;
}

float Permute(float x)
{
    return Mod289(((x * 34.0f) + 1.0f) * x);
}

}  // namespace

float SimplexNoise(float vx, float vy, float vz)
{
    const float Cx = 1.0f / 6.0f, Cy = 1.0f / 3.0f;
    const float v[3] = {vx, vy, vz};
    const float sv = (vx + vy + vz) * Cy;
    float i[3], x0[3];
    for (int k = 0; k < 3; ++k)
        i[k] = std::floor(v[k] + sv);
    const float si = (i[0] + i[1] + i[2]) * Cx;
    for (int k = 0; k < 3; ++k)
        x0[k] = v[k] - i[k] + si;
    // g = step(x0.yzx, x0.xyz), l = 1 - g, i1 = min(g, l.zxy), i2 = max(g, l.zxy)
    const float g[3] = {x0[0] < x0[1] ? 0.0f : 1.0f, x0[1] < x0[2] ? 0.0f : 1.0f, x0[2] < x0[0] ? 0.0f : 1.0f};
    const float l[3] = {1 - g[0], 1 - g[1], 1 - g[2]};
    const float lzxy[3] = {l[2], l[0], l[1]};
    float i1[3], i2[3], x1[3], x2[3], x3[3];
    for (int k = 0; k < 3; ++k) {
        i1[k] = std::min(g[k], lzxy[k]);
        i2[k] = std::max(g[k], lzxy[k]);
        x1[k] = x0[k] - i1[k] + Cx;
        x2[k] = x0[k] - i2[k] + Cy;
        x3[k] = x0[k] - 0.5f;
        i[k] = Mod289(i[k]);
    }
    V4 p;
    const float pz[4] = {0, i1[2], i2[2], 1}, py[4] = {0, i1[1], i2[1], 1}, px[4] = {0, i1[0], i2[0], 1};
    for (int c = 0; c < 4; ++c)
        p[c] = Permute(Permute(Permute(i[2] + pz[c]) + i[1] + py[c]) + i[0] + px[c]);
    const float n_ = 0.142857142857f;
    const float ns[3] = {n_ * 2.0f - 0.0f, n_ * 0.5f - 1.0f, n_ * 1.0f - 0.0f};
    V4 x, y, h, sh;
    for (int c = 0; c < 4; ++c) {
        const float j = p[c] - 49.0f * std::floor(p[c] * ns[2] * ns[2]);
        const float x_ = std::floor(j * ns[2]);
        const float y_ = std::floor(j - 7.0f * x_);
        x[c] = x_ * ns[0] + ns[1];
        y[c] = y_ * ns[0] + ns[1];
        h[c] = 1.0f - std::fabs(x[c]) - std::fabs(y[c]);
        sh[c] = h[c] <= 0.0f ? -1.0f : 0.0f;
    }
    const V4 b0{{x[0], x[1], y[0], y[1]}}, b1{{x[2], x[3], y[2], y[3]}};
    V4 s0, s1;
    for (int c = 0; c < 4; ++c) {
        s0[c] = std::floor(b0[c]) * 2.0f + 1.0f;
        s1[c] = std::floor(b1[c]) * 2.0f + 1.0f;
    }
    // a0 = b0.xzyw + s0.xzyw * sh.xxyy, a1 = b1.xzyw + s1.xzyw * sh.zzww
    const V4 a0{{b0[0] + s0[0] * sh[0], b0[2] + s0[2] * sh[0], b0[1] + s0[1] * sh[1], b0[3] + s0[3] * sh[1]}};
    const V4 a1{{b1[0] + s1[0] * sh[2], b1[2] + s1[2] * sh[2], b1[1] + s1[1] * sh[3], b1[3] + s1[3] * sh[3]}};
    float g4[4][3] = {{a0[0], a0[1], h[0]}, {a0[2], a0[3], h[1]}, {a1[0], a1[1], h[2]}, {a1[2], a1[3], h[3]}};
    const float* corners[4] = {x0, x1, x2, x3};
    float sum = 0;
    for (int c = 0; c < 4; ++c) {
        const float norm =
            1.79284291400159f - 0.85373472095314f * (g4[c][0] * g4[c][0] + g4[c][1] * g4[c][1] + g4[c][2] * g4[c][2]);
        const float* d = corners[c];
        float m = std::max(0.6f - (d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 0.0f);
        m = m * m;
        sum += m * m * (norm * g4[c][0] * d[0] + norm * g4[c][1] * d[1] + norm * g4[c][2] * d[2]);
    }
    return 42.0f * sum;
}

void SceneTest::SetUp()
{
    testsupport::GLTest::SetUp();
    EnterTextureDirectory();
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glDisable(GL_BLEND);
    glEnable(GL_PROGRAM_POINT_SIZE);
    glEnable(GL_POINT_SPRITE);
}

void SceneTest::TearDown()
{
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glViewport(0, 0, Context().Width(), Context().Height());
    glUseProgram(0);
    testsupport::GLTest::TearDown();
}

RgbaImage SceneTest::ReadFrame()
{
    return testsupport::ReadFrame(Context());
}

}  // namespace scenetest
