// nerelle-sceneview: renders each scene object alone to PNG on the headless
// context, for checking the scene by eye.
//
//   nerelle-sceneview OUTPUT_DIR [TEXTURE_DIR]
//
// The objects read their textures from TEXTURE_DIR (default: data/textures
// of the current directory), as the program reads them from its working
// directory. Each view goes to OUTPUT_DIR/<name>.png, 640 x 400.
#include "gl/gles20.h"
#include "image/bitmap.h"
#include "image/png_file.h"
#include "mesh/poly_mesh.h"
#include "gl/gl_start.h"
#include "platform/headless_context.h"
#include "scene/buoy.h"
#include "scene/flat_color_program.h"
#include "scene/round_point_program.h"
#include "scene/sky_dome.h"
#include "scene/sub_model.h"
#include "scene/terrain.h"
#include "scene/water_above.h"
#include "scene/water_below.h"
#include "scene/water_plane.h"
#include "core/report.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 400;
constexpr float kPi = 3.14159265f;

// A view matrix (a proper rotation, unlike the mirroring look-at used to
// place the submersible).
Matrix4 View(const Vector3& eye, const Vector3& target, const Vector3& up = {0, 1, 0})
{
    const Vector3 f = Normalise(target - eye);
    const Vector3 s = Normalise(Cross(f, up));
    const Vector3 u = Cross(s, f);
    Matrix4 m = Matrix4::Identity();
    const Vector3 rows[3] = {s, u, -f};
    for (int r = 0; r < 3; ++r)
        m.At(r, 0) = rows[r].x, m.At(r, 1) = rows[r].y, m.At(r, 2) = rows[r].z;
    return m * Matrix4::Translation(-eye);
}

const Matrix4 kProjection = Matrix4::Perspective(60, float(kWidth) / kHeight, 0.1f, 10000);

class Viewer {
public:
    Viewer(platform::HeadlessContext& context, std::filesystem::path output) : context_(context), output_(output) {}

    // Clears to `background` with the frame renderer's state.
    void Begin(float r, float g, float b)
    {
        context_.BindFramebuffer();
        glClearColor(r, g, b, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }

    bool Save(const char* name)
    {
        const std::vector<uint8_t> rgba = context_.ReadPixels();
        BitmapPtr bitmap(TBitmap::Create(kWidth, kHeight, false, false, 8));
        if (!bitmap)
            return false;
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* row = &rgba[size_t(kHeight - 1 - y) * kWidth * 4];
            for (int x = 0; x < kWidth; ++x)
                bitmap->Row(y)[x] = PackRGBA(row[4 * x], row[4 * x + 1], row[4 * x + 2], 255);
        }
        const std::string path = (output_ / (std::string(name) + ".png")).string();
        if (const Status saved = SavePNG(path, bitmap.get(), true); !saved) {
            PrintError(saved.reason);
            return false;
        }
        std::printf("%s\n", path.c_str());
        return true;
    }

private:
    platform::HeadlessContext& context_;
    std::filesystem::path output_;
};

// A checkerboard standing in for the frame renderer's screen captures.
GLTexture Checker()
{
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool dark = ((x / 40) + (y / 40)) % 2 != 0;
            pixels[size_t(y) * kWidth + size_t(x)] = dark ? PackRGBA(40, 90, 140, 255) : PackRGBA(220, 200, 150, 255);
        }
    GLTexture texture;
    texture.Create();
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

// A texture that could not be read renders black: say which and why.
void WarnAboutPlaceholder(const TTexture& texture)
{
    if (!texture.loaded)
        PrintWarning(texture.loaded.reason);
}

bool RenderAll(Viewer& viewer)
{
    bool ok = true;
    {
        CSkyDome sky(Vector3(0.3f, 0.45f, 0.9f), Vector3(0.3f, 1.0f, 0.9f), 350, 1500);
        WarnAboutPlaceholder(sky.Texture());
        const Matrix4 v = View({0, 2, 0}, {0, 2 + std::tan(12 * kPi / 180), -1});
        viewer.Begin(0, 0, 0);
        sky.DrawAbove(kProjection * v, 0);
        ok &= viewer.Save("sky_above");
        viewer.Begin(0, 0, 0);
        sky.DrawBelow(kProjection * v, 0);
        ok &= viewer.Save("sky_below");
        const Matrix4 up = View({0, 0, 0}, {0, 1, 0}, {0, 0, -1});
        viewer.Begin(0, 0, 0);
        sky.DrawAbove(kProjection * up, 0);
        ok &= viewer.Save("sky_zenith");
        viewer.Begin(0, 0, 0);
        sky.DrawAbove(kProjection * up, 100);  // clouds moved on
        ok &= viewer.Save("sky_zenith_t100");
    }
    {
        CTerrain terrain;
        WarnAboutPlaceholder(terrain.Texture());
        const Matrix4 v = View({-14, 16, 46}, {9, 1, 19});
        viewer.Begin(0.3f, 0.9f, 1.0f);
        terrain.DrawAbove(kProjection * v);
        ok &= viewer.Save("terrain_above");
        const Matrix4 top = View({9, 70, 19}, {9, 0, 19}, {0, 0, -1});
        viewer.Begin(0.3f, 0.9f, 1.0f);
        terrain.DrawAbove(kProjection * top);
        ok &= viewer.Save("terrain_top");
        const Matrix4 under = View({-6, -0.6f, 2}, {8, -1.2f, 18});
        viewer.Begin(0.12f, 0.2f, 0.5f);
        terrain.DrawBelow(kProjection * under, under);
        ok &= viewer.Save("terrain_below");
        const Matrix4 pit = View({0, 25, 25}, {0, -20, -10});
        viewer.Begin(0.3f, 0.9f, 1.0f);
        terrain.DrawAbove(kProjection * pit);
        ok &= viewer.Save("terrain_pit");
    }
    {
        CBuoy buoy;
        const Matrix4 v = View({0, 0.25f, 0.6f}, {0, 0, -1.5f});
        const Vector3 positions[] = {{-0.7f, 0, -1.6f}, {0, 0, -1.2f}, {0.7f, 0, -1.6f}};
        viewer.Begin(0.12f, 0.2f, 0.5f);
        for (const Vector3& p : positions)
            buoy.DrawBall(kProjection * v, v, p, 0.2f);
        glEnable(GL_PROGRAM_POINT_SIZE);
        glEnable(GL_POINT_SPRITE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glDepthMask(GL_FALSE);
        for (int k = 0; k < 3; ++k)
            buoy.DrawGlow(kProjection * v, positions[k], 0.3f * float(k));
        ok &= viewer.Save("buoys");
    }
    {
        CSubModel sub;
        WarnAboutPlaceholder(sub.Texture());
        struct {
            const char* name;
            Vector3 eye, direction;
        } views[] = {
            {"sub_side", {6, 0.5f, 0}, {0, 0, -1}},   {"sub_quarter", {4, 2.5f, -4}, {0, 0, -1}},
            {"sub_stern", {-2, 1.5f, 6}, {0, 0, -1}}, {"sub_heading_east", {0, 2, 7}, {1, 0, 0}},
            {"sub_diving", {6, 0.5f, 0}, {0, -1, 0}},
        };
        for (const auto& view : views) {
            const Matrix4 v = View(view.eye, {0, 0, 0});
            viewer.Begin(0.12f, 0.2f, 0.5f);
            sub.Draw(Vector3(0, 0, 0), Vector3(0, 0, -1), 1, kProjection * v, v);  // a heading to fall back on
            viewer.Begin(0.12f, 0.2f, 0.5f);
            sub.Draw(Vector3(0, 0, 0), view.direction, 1, kProjection * v, v);
            ok &= viewer.Save(view.name);
        }
    }
    {
        CWaterPlane plane;
        CWaterAbove above;
        CWaterBelow below;
        const GLTexture capture = Checker();
        if (!above.Create() || !below.Create())
            return false;
        const Matrix4 v = View({0, 3, 0}, {0, 0, -8});
        viewer.Begin(0.35f, 0.35f, 0.35f);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glBindTexture(GL_TEXTURE_2D, capture);
        if (above.Use(kProjection * v, v, 1))
            plane.Draw();
        ok &= viewer.Save("water_above");
        const Matrix4 u = View({0, -2, 0}, {0, 0, -5});
        viewer.Begin(0, 0, 0);
        glFrontFace(GL_CW);
        if (below.Use(kProjection * u, u, 1))
            plane.Draw();
        glFrontFace(GL_CCW);
        ok &= viewer.Save("water_below");
    }
    {
        CFlatColorProgram lines;
        CRoundPointProgram points;
        if (!lines.Create() || !points.Create())
            return false;
        std::vector<float> spiral;
        for (int i = 0; i < 40; ++i) {
            const float a = float(i) * 0.4f, r = 0.1f + 0.02f * float(i);
            spiral.insert(spiral.end(), {r * std::cos(a), r * std::sin(a) * 1.6f, 0});
        }
        GLBuffer buffer;
        GLVertexArray array;
        buffer.Create();
        array.Create();
        glBindVertexArray(array);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(spiral.size() * sizeof(float)), spiral.data(), GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
        viewer.Begin(0.12f, 0.2f, 0.5f);
        glEnable(GL_PROGRAM_POINT_SIZE);
        glEnable(GL_POINT_SPRITE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glLineWidth(3);
        if (lines.Use(Matrix4::Identity(), Vector4(1, 0, 1, 1)))
            glDrawArrays(GL_LINE_STRIP, 0, 40);
        if (points.Use(Matrix4::Identity(), Vector4(0, 1, 0, 1), 11))
            glDrawArrays(GL_POINTS, 0, 40);
        glBindVertexArray(default_vertex_array);
        ok &= viewer.Save("track_points");
    }
    return ok;
}

}  // namespace

const char kUsage[] =
    "usage: nerelle-sceneview OUTPUT_DIR [TEXTURE_DIR]\n"
    "\n"
    "Renders each scene object on its own into OUTPUT_DIR (made when missing) as PNG\n"
    "files, with the textures of TEXTURE_DIR (default data/textures).\n";

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // An option is never taken for a directory name.
    if (argc < 2 || argc > 3 || argv[1][0] == '-' || (argc == 3 && argv[2][0] == '-')) {
        std::fprintf(stderr, "error: usage: nerelle-sceneview OUTPUT_DIR [TEXTURE_DIR] (--help for more)\n");
        return 2;
    }
    const char* textures = argc == 3 ? argv[2] : "data/textures";
    std::error_code error;
    const std::filesystem::path output = std::filesystem::absolute(argv[1], error);
    // The texture directory is checked first, so a mistyped one leaves no
    // empty output directory behind.
    if (!std::filesystem::is_directory(textures, error)) {
        std::fprintf(stderr, "error: cannot enter the texture directory '%s': %s\n", textures,
                     error ? error.message().c_str() : "not a directory");
        return 1;
    }
    std::filesystem::create_directories(output, error);
    if (error) {
        std::fprintf(stderr, "error: cannot make the directory '%s': %s\n", argv[1], error.message().c_str());
        return 1;
    }
    std::filesystem::current_path(textures, error);
    if (error) {
        std::fprintf(stderr, "error: cannot enter the texture directory '%s': %s\n", textures, error.message().c_str());
        return 1;
    }
    Status status;
    auto context = StartHeadlessGL(kWidth, kHeight, status);
    if (!context) {
        PrintError(status.reason);
        return 1;
    }
    Viewer viewer(*context, output);
    return RenderAll(viewer) ? 0 : 1;
}
