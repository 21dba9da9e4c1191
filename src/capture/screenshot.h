// The screenshot command (key p): one image of the current view, by default
// 4096 x 3072, written as "screenshots/screenshot_%03d.tga" under the first
// free number.
//
// The image is rendered off-screen at its own size (image_capture.h), so its
// aspect and line widths are those of that size, turned from read-back
// into picture order (image/bitmap.h) and written. The directory is created when missing. A failure names what
// failed (the bitmap, a render target, the directory, the file) and leaves
// no file behind. GL thread only.
#pragma once

#include "capture/frame_request.h"
#include "core/status.h"
#include "image/png_file.h"

#include <filesystem>
#include <optional>

inline constexpr int kScreenshotWidth = 4096;
inline constexpr int kScreenshotHeight = 3072;
// Screenshot numbers run from 0 to kScreenshotSlots - 1.
inline constexpr int kScreenshotSlots = 10000;

// "<directory>/screenshot_%03d.tga" for number i.
std::filesystem::path ScreenshotFileName(const std::filesystem::path& directory, int i);

// The first numbered name in `directory` that no file (or link) holds;
// nothing when all kScreenshotSlots are taken.
std::optional<std::filesystem::path> FirstFreeScreenshotName(const std::filesystem::path& directory);

struct ScreenshotSettings {
    std::filesystem::path directory = "screenshots";
    int width = kScreenshotWidth;
    int height = kScreenshotHeight;
};

// Renders the frame at playback time t at width x height and writes it to
// `file`, TGA or PNG by its extension (TGA unless it ends in .png), through a
// temporary name in the same directory, so `file` is either whole or
// untouched. The directory is created when missing.
Status SaveImage(const FrameDraws& draws, double t, int width, int height, const std::filesystem::path& file,
                 PngCompression compression = PngCompression::kDefault);

// Takes a screenshot of the frame at playback time t. On success `written`
// (when given) receives the file's name.
Status SaveScreenshot(const FrameDraws& draws, double t, const ScreenshotSettings& settings = {},
                      std::filesystem::path* written = nullptr);
