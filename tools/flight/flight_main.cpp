// nerelle-flight: a camera key file from a list of free-camera poses, so a
// flight is written as eye positions and angles a person can read and edit.
//
//   nerelle-flight POSES KEYS [PREVIEW_DIR [STEP]]
//
// POSES has one key a line: "time eye_x eye_y eye_z yaw pitch", optionally
// followed by "tension continuity bias" (default 0 0 0); angles in radians
// as the free camera takes them (pitch > 0 looks down); '#' starts a
// comment. KEYS gets the keys in the camera key file format.
//
// With PREVIEW_DIR the flight is also rendered every STEP seconds (default
// 2) at 640 x 360 into PREVIEW_DIR/flight_TTT.png (TTT: tenths of a
// second), as a screenshot would render it. The program's assets are read
// from the working directory, so run it in the build's run directory.
#include "app/demo_application.h"
#include "app/startup.h"
#include "gl/gl_start.h"
#include "core/report.h"
#include "capture/image_capture.h"
#include "gl/gles20.h"
#include "gl/render_target.h"
#include "image/bitmap.h"
#include "image/png_file.h"
#include "math/camera_animation.h"
#include "math/camera_key_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kPreviewWidth = 640, kPreviewHeight = 360;

// The poses of `path` as keys; false with a message on the first bad line.
bool ReadPoses(const char* path, std::vector<CameraKey>& keys)
{
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "error: cannot read '%s'\n", path);
        return false;
    }
    std::string line;
    for (int line_number = 1; std::getline(in, line); ++line_number) {
        if (const size_t hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream fields(line);
        std::vector<float> v;
        for (float value; fields >> value;)
            v.push_back(value);
        if (v.empty() && fields.eof())
            continue;  // blank or comment only
        if (!fields.eof() || (v.size() != 6 && v.size() != 9)) {
            std::fprintf(stderr, "error: %s:%d: expected time eye_x eye_y eye_z yaw pitch [tension continuity bias]\n",
                         path, line_number);
            return false;
        }
        const float time = v[0], x = v[1], y = v[2], z = v[3], yaw = v[4], pitch = v[5];
        const float tcb[3] = {v.size() == 9 ? v[6] : 0, v.size() == 9 ? v[7] : 0, v.size() == 9 ? v[8] : 0};
        ViewState shell;
        shell.camera_offset = Vector3(0 - x, 0 - y, 0 - z);  // the negated eye, without a -0 for 0
        shell.yaw = yaw;
        shell.pitch = pitch;
        shell.roll = 0;
        const CameraPose pose = PoseOfView(FreeCameraView(shell));
        CameraKey key;
        key.position = shell.camera_offset;  // exact, where the pose's went through an inverse
        key.orientation = pose.orientation;
        key.time = time;
        key.tension = tcb[0];
        key.continuity = tcb[1];
        key.bias = tcb[2];
        keys.push_back(key);
    }
    return true;
}

bool Preview(const char* keys_path, const std::filesystem::path& directory, double step)
{
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) {
        std::fprintf(stderr, "error: cannot make the directory '%s'\n", directory.string().c_str());
        return false;
    }
    Status status;
    auto context = StartHeadlessGL(kPreviewWidth, kPreviewHeight, status);
    if (!context) {
        PrintError(status.reason);
        return false;
    }
    ViewState view;
    view.window_width = kPreviewWidth;
    view.window_height = kPreviewHeight;
    const std::unique_ptr<DemoApplication> app = CreateApplication(view, kDefaultDiveDirectory, status);
    if (!app) {
        PrintError(status.reason);
        return false;
    }
    CameraAnimation& animation = app->Animation();
    for (const CameraKeyStatus& played : {animation.Load(keys_path, 0), animation.Play(0)})
        if (!played) {
            PrintError(played.reason);
            return false;
        }
    const double duration = animation.Duration();
    ImageRenderer renderer(FramebufferSampleCount());
    const BitmapPtr bitmap(TBitmap::Create(kPreviewWidth, kPreviewHeight, false, false, 8));
    for (int k = 0; bitmap && k * step <= duration + 1e-9; ++k) {
        const double t = k * step;
        if (const Status rendered = renderer.Render(*bitmap, t, app->Draws()); !rendered) {
            PrintError(rendered.reason);
            return false;
        }
        bitmap->FlipVertical();  // from read-back into picture order
        char name[32];
        std::snprintf(name, sizeof name, "flight_%03d.png", int(std::lround(t * 10)));
        const std::string path = (directory / name).string();
        if (const Status saved = SavePNG(path, bitmap.get(), true); !saved) {
            PrintError(saved.reason);
            return false;
        }
        std::printf("%s\n", path.c_str());
    }
    return bitmap != nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: nerelle-flight POSES KEYS [PREVIEW_DIR [STEP]]\n");
        return 2;
    }
    std::vector<CameraKey> keys;
    if (!ReadPoses(argv[1], keys))
        return 1;
    if (const CameraKeyStatus saved = SaveKeyFile(argv[2], keys); !saved) {
        PrintError(saved.reason);
        return 1;
    }
    std::printf("%zu keys to %s\n", keys.size(), argv[2]);
    const double step = argc == 5 ? std::atof(argv[4]) : 2.0;
    if (argc >= 4 && !(step > 0)) {
        std::fprintf(stderr, "error: the preview step must be positive\n");
        return 2;
    }
    return argc >= 4 && !Preview(argv[2], argv[3], step) ? 1 : 0;
}
