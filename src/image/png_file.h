// PNG reading and writing for `TBitmap`, through libpng.
//
// Textures are mostly PNG files, and every frame of an offline recording is
// written with `WritePNG` (from the frame encoder's worker threads: both
// operations touch only their own file, bitmap and libpng structures, so
// they may run on several threads at once). The reader takes the stored
// samples as they are and accepts palette images at any bit depth and grey,
// grey+alpha, RGB and RGBA at 8 bits; anything else is refused rather than
// converted. Errors raised by libpng are caught inside: the file is closed,
// the structures released, and the result is null / false. No GL, nothing
// printed.
#pragma once

#include "core/status.h"
#include "image/bitmap.h"
#include "image/image_input.h"

#include <filesystem>

// Reads a PNG file into a new bitmap; null when the file is missing, not a
// PNG, corrupt, of an unsupported layout (16-bit samples, grey below 8
// bits), with a zero side, more pixels than the budget, or more than its
// compressed data could hold; the reason is stored through `error` when it
// is not null.
BitmapPtr ReadPNG(const char* file_name, ImageError* error = nullptr);

// The same, from an input positioned at the signature.
BitmapPtr ReadPNG(ImageInput& input, ImageError* error = nullptr);

// How the writer compresses. kDefault: libpng's own choice (zlib level 6,
// the filter chosen per row). kFast: zlib level 1 matching runs only, after
// the Sub filter; about six times quicker on a rendered frame, and its file
// is no larger. Recordings use kFast unless asked otherwise.
enum class PngCompression { kDefault, kFast };

// Writes the bitmap as an 8-bit grey, RGB or RGBA PNG. `rgb_order` true:
// the pixel bytes are red, green, blue, alpha (the bitmap convention);
// false: blue, green, red, alpha. True when the whole file was written;
// a name where something other than a regular file stands is refused
// (errno EINVAL). What a failed write left is the caller's to remove:
// writers that give files their final names go through WriteFileWhole.
bool WritePNG(const char* file_name, const TBitmap* bitmap, bool rgb_order,
              PngCompression compression = PngCompression::kDefault);

// WritePNG to a temporary name beside `file`, renamed to `file` when whole
// (WriteFileWhole): a failure leaves no file under either name and says
// "cannot write FILE: CAUSE".
Status SavePNG(const std::filesystem::path& file, const TBitmap* bitmap, bool rgb_order,
               PngCompression compression = PngCompression::kDefault);
