// Shared helpers of the scene tests: cameras, frame read-back, the test's
// own textures and a CPU copy of the water's noise.
//
// The scene objects read "clouds.png", "lightmap.png" and "sub.png" from the
// working directory. The tests run in a private directory holding textures
// whose content they know (a 256 x 256 colour ramp for the clouds, one
// colour in 4 x 4 for the lightmap, white 8 x 8 for the hull), so pixel
// checks do not depend on the committed art.
#pragma once

#include "gl/gl_object.h"
#include "math/matrix4.h"
#include "math/vector.h"
#include "support/scratch_dir.h"

#include "support/gl_test.h"
#include "support/rgba_image.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace scenetest {

// The lightmap's one colour in the test directory.
inline constexpr uint8_t kLightmapRGB[3] = {200, 150, 100};
// The water's fog colour.
inline constexpr float kFog[3] = {0.12f, 0.2f, 0.5f};

// Ramp texel value: byte of (i + 0.5) / 256, which bilinear filtering turns
// back into the coordinate itself.
uint8_t RampByte(int i);

// Writes the test textures into a fresh directory and makes it current for
// the whole test program; removed at exit.
void EnterTextureDirectory();

// View matrix from eye towards target (a proper rotation, unlike the
// mirroring look-at of the math library).
Matrix4 View(const Vector3& eye, const Vector3& target, const Vector3& up);
// Orthographic projection, as glOrtho.
Matrix4 Ortho(float left, float right, float bottom, float top, float near_z, float far_z);
// The frame renderer's projection for the square test framebuffer.
Matrix4 Perspective60();

using testsupport::RgbaImage;

// Whether anything was drawn at (x, y) of a frame, y from the bottom: the
// tests clear to alpha 0.
inline bool Covered(const RgbaImage& frame, int x, int y)
{
    return frame.AtGL(x, y)[3] != 0;
}

// Direction through the centre of pixel (x, y) of a square framebuffer of
// `size` pixels for the perspective of Perspective60, in eye space.
Vector3 EyeRay(int x, int y, int size);

// True when every channel of `pixel` is within `tolerance` (bytes) of `rgb` (0..1).
::testing::AssertionResult ColourNear(const uint8_t* pixel, const float* rgb, int tolerance);

// A 2D texture of width x height RGBA bytes (row 0 at t = 0), linear
// filtering, no mipmaps, repeat wrapping.
GLTexture MakeTexture(int width, int height, const std::vector<uint32_t>& pixels);

// The water's 3-D simplex noise, evaluated as the shader does.
float SimplexNoise(float x, float y, float z);

// For its lifetime a fresh working directory holding one texture file of
// the test's own (RGB, `texel(x, y)` with row 0 at the top of the image),
// for an object that loads that file by name when it is built; the test
// directory is current again afterwards.
class ScopedTextureFile {
public:
    ScopedTextureFile(const char* name, int width, int height, const std::function<uint32_t(int x, int y)>& texel);
    ~ScopedTextureFile();
    ScopedTextureFile(const ScopedTextureFile&) = delete;
    ScopedTextureFile& operator=(const ScopedTextureFile&) = delete;
    bool Written() const { return m_written; }

private:
    std::filesystem::path m_previous;
    testsupport::ScratchDir m_dir{"scene"};
    bool m_written = false;
};

// Fixture: the GL test fixture in the test directory, with the frame
// renderer's usual state (depth test, back faces culled, counter-clockwise
// front faces, no blending, program point size and point sprites).
class SceneTest : public testsupport::GLTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The framebuffer as read back.
    RgbaImage ReadFrame();
};

}  // namespace scenetest
