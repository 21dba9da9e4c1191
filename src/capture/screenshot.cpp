#include "capture/screenshot.h"

#include "capture/image_capture.h"
#include "image/png_file.h"
#include "image/tga.h"

#include <cctype>

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

namespace {

bool EndsWithPng(const fs::path& file)
{
    std::string extension = file.extension().string();
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".png";
}

}  // namespace

Status SaveImage(const FrameDraws& draws, double t, int width, int height, const fs::path& file,
                 PngCompression compression)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    const BitmapPtr bitmap(width > 0 && height > 0 ? TBitmap::Create(width, height, false, false, 8) : nullptr);
    if (!bitmap)
        return Status::Failure("cannot allocate the " + size + " screenshot bitmap");
    std::error_code ec;
    if (file.has_parent_path()) {
        fs::create_directories(file.parent_path(), ec);
        if (ec)
            return Status::Failure("cannot create the directory " + file.parent_path().string() + ": " + ec.message());
    }

    Status rendered;
    {
        ImageRenderer renderer(FramebufferSampleCount());
        rendered = renderer.Render(*bitmap, t, draws);
    }
    if (!rendered)
        return Status::Failure("screenshot not taken: " + rendered.reason);
    bitmap->FlipVertical();  // from read-back order into the files' picture order

    // A failed or interrupted write must not leave a part under the name.
    Status saved = EndsWithPng(file) ? SavePNG(file, bitmap.get(), true, compression) : SaveTGA(file, bitmap.get());
    if (!saved)
        saved.reason = "screenshot not saved: " + saved.reason;
    return saved;
}

Status SaveScreenshot(const FrameDraws& draws, double t, const ScreenshotSettings& settings, fs::path* written)
{
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
    Status saved = SaveImage(draws, t, settings.width, settings.height, *name);
    if (saved && written)
        *written = *name;
    return saved;
}
