// Truevision TGA reading and writing for `TBitmap`.
//
// TGA is the format of screenshots and bitmap-font pages, and textures may
// be TGA files. The reader takes the uncompressed and run-length-encoded
// colour-mapped (8-bit indices into 15-, 16-, 24- or 32-bit entries),
// true-colour (16, 24, 32 bits) and 8-bit greyscale kinds, in any row order
// (bottom-up or top-down, left-to-right or right-to-left); the writer makes
// top-down uncompressed true-colour files, or run-length-encoded greyscale
// files for grey images without alpha. Plain C++, no GL; nothing is
// printed, failures show in the result and the reason.
#pragma once

#include "core/status.h"
#include "image/bitmap.h"
#include "image/image_input.h"

#include <filesystem>

// Reads a TGA file into a new bitmap; null on any failure (missing or short
// file, unsupported kind or depth, a zero side, more pixels than the budget,
// a run-length packet crossing a row end, an image larger than the file can
// hold, allocation failure), with the reason stored through `error` when it
// is not null.
BitmapPtr ReadTGA(const char* file_name, ImageError* error = nullptr);

// The same, from an input positioned at the start of the file.
BitmapPtr ReadTGA(ImageInput& input, ImageError* error = nullptr);

// Writes the bitmap as TGA; false when the file cannot be created, a write
// falls short (the partial file stays), a side exceeds 65535 pixels, or
// something other than a regular file stands at the name (errno EINVAL).
bool WriteTGA(const char* file_name, const TBitmap* bitmap);

// WriteTGA whole or not at all, as SavePNG.
Status SaveTGA(const std::filesystem::path& file, const TBitmap* bitmap);
