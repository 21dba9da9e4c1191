#include "capture/screenshot.h"

#include "capture/image_capture.h"
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

Status SaveScreenshot(const FrameDraws& draws, double t, const ScreenshotSettings& settings, fs::path* written)
{
    const std::string size = std::to_string(settings.width) + " x " + std::to_string(settings.height);
    const BitmapPtr bitmap(settings.width > 0 && settings.height > 0
                               ? TBitmap::Create(settings.width, settings.height, false, false, 8)
                               : nullptr);
    if (!bitmap)
        return Status::Failure("cannot allocate the " + size + " screenshot bitmap");

    // Where it goes is settled before the long render.
    const fs::path& directory = settings.directory;
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec)
        return Status::Failure("cannot create the directory " + directory.string() + ": " + ec.message());
    const std::optional<fs::path> name = FirstFreeScreenshotName(directory);
    if (!name)
        return Status::Failure("no free screenshot name in " + directory.string() + " (numbers 0 to " +
                               std::to_string(kScreenshotSlots - 1) + " are taken)");

    Status rendered;
    {
        ImageRenderer renderer(FramebufferSampleCount());
        rendered = renderer.Render(*bitmap, t, draws);
    }
    if (!rendered)
        return Status::Failure("screenshot not taken: " + rendered.reason);
    bitmap->FlipVertical();  // read back bottom row first; TGA rows go top first

    if (!WriteTGA(name->string().c_str(), bitmap.get())) {
        fs::remove(*name, ec);  // a partial file would pass for a screenshot
        return Status::Failure("cannot write the screenshot " + name->string());
    }
    if (written)
        *written = *name;
    return Status::Ok();
}
