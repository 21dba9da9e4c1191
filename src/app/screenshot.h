// The screenshot command (key p): one 4096 x 3072 image of the current view,
// written as "screenshots/screenshot_%03d.tga" under the first free number.
//
// The view is reshaped to the image size for the capture (4:3 aspect, lines
// as wide as at that size) and back afterwards; the image is rendered
// off-screen (image_capture.h), turned top row first and written. The
// directory is created when missing. Every failure prints one "error: "
// line on standard error naming what failed (the bitmap, a render target,
// the directory, the file) and leaves no file behind; success prints
// nothing. GL thread only.
#pragma once

#include "app/shell_state.h"

#include <filesystem>
#include <functional>
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

// Takes a screenshot; draw_frame draws one whole frame into the bound
// framebuffer, draw_scene_copies (optional) only its screen copies, for the
// single-sample pass (image_capture.h). Returns the file written, or
// nothing after printing the reason.
std::optional<std::filesystem::path> SaveScreenshot(ShellState& state, const std::function<void()>& draw_frame,
                                                    const std::filesystem::path& directory = "screenshots",
                                                    const std::function<void()>& draw_scene_copies = {});
