// Truevision TGA reading and writing for `TBitmap`.
//
// TGA is the format of screenshots and bitmap-font pages, and textures may
// be TGA files. The reader takes the uncompressed and run-length-encoded
// colour-mapped, true-colour (16, 24, 32 bits) and greyscale kinds in either
// row order; the writer makes top-down uncompressed true-colour files, or
// run-length-encoded greyscale files for grey images without alpha. Plain
// C++, no GL; nothing is printed, failures show in the result.
#pragma once

#include "image/bitmap.h"

#include <cstdio>

// Reads a TGA file into a new bitmap; null on any failure (missing or short
// file, unsupported kind or depth, a run-length packet crossing a row end,
// an image larger than the file can hold, allocation failure).
TBitmap* ReadTGA(const char* file_name);

// The same, from an open stream positioned at the start of the file; the
// stream stays open.
TBitmap* ReadTGA(FILE* file);

// Writes the bitmap as TGA; false when the file cannot be created, a write
// falls short (the partial file stays), or a side exceeds 65535 pixels.
bool WriteTGA(const char* file_name, const TBitmap* bitmap);
