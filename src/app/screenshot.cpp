#include "app/screenshot.h"

#include "app/image_capture.h"
#include "image/tga.h"

#include <cstdio>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

fs::path ScreenshotFileName(const fs::path& directory, int i)
{
    char name[64];
    std::snprintf(name, sizeof name, "screenshot_%03d.tga", i);
    return directory / name;
}

std::optional<fs::path> FirstFreeScreenshotName(const fs::path& directory)
{
    for (int i = 0; i < kScreenshotSlots; ++i) {
        fs::path name = ScreenshotFileName(directory, i);
        std::error_code ec;
        // A dangling link counts as taken: writing through it would land elsewhere.
        if (!fs::exists(fs::symlink_status(name, ec)))
            return name;
    }
    return std::nullopt;
}

std::optional<fs::path> SaveScreenshot(ShellState& state, const std::function<void()>& draw_frame,
                                       const fs::path& directory, const std::function<void()>& draw_scene_copies)
{
    const BitmapPtr bitmap(TBitmap::Create(kScreenshotWidth, kScreenshotHeight, false, false, 8));
    if (!bitmap) {
        std::fprintf(stderr, "error: cannot allocate the %d x %d screenshot bitmap\n", kScreenshotWidth,
                     kScreenshotHeight);
        return std::nullopt;
    }

    // Where it goes is settled before the long render.
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec) {
        std::fprintf(stderr, "error: cannot create the directory %s: %s\n", directory.string().c_str(),
                     ec.message().c_str());
        return std::nullopt;
    }
    const std::optional<fs::path> name = FirstFreeScreenshotName(directory);
    if (!name) {
        std::fprintf(stderr, "error: no free screenshot name in %s (numbers 0 to %d are taken)\n",
                     directory.string().c_str(), kScreenshotSlots - 1);
        return std::nullopt;
    }

    const int window_width = state.window_width, window_height = state.window_height;
    SetViewSize(state, kScreenshotWidth, kScreenshotHeight);
    std::string why;
    bool rendered = false;
    {
        ImageRenderer renderer(FramebufferSampleCount());
        rendered = renderer.Render(*bitmap, state, draw_frame, &why, draw_scene_copies);
    }
    SetViewSize(state, window_width, window_height);
    if (!rendered) {
        std::fprintf(stderr, "error: screenshot not taken: %s\n", why.c_str());
        return std::nullopt;
    }
    bitmap->FlipVertical();  // read back bottom row first; TGA rows go top first

    if (!WriteTGA(name->string().c_str(), bitmap.get())) {
        std::fprintf(stderr, "error: cannot write the screenshot %s\n", name->string().c_str());
        fs::remove(*name, ec);  // a partial file would pass for a screenshot
        return std::nullopt;
    }
    return name;
}
