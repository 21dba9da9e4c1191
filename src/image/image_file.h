// Choosing an image decoder, without GL: the part of texture loading that
// tools and tests can use on their own.
#pragma once

#include "image/bitmap.h"
#include "image/image_input.h"

// Image kinds told apart by the file-name extension or the first bytes.
enum class ImageKind { kNone, kTGA, kJPEG, kPNG };

// The kind named by the text after the last "." of the name, compared
// without regard to case: "tga", "jpg" / "jpeg", "png"; anything else or no
// dot: kNone.
ImageKind ImageKindOfFile(const char* file_name);

// The kind the first bytes announce: the PNG signature, or a JPEG start of
// image followed by a marker (FF D8 FF). kNone for anything else, which
// includes every TGA (TGA has no signature). Consumes nothing.
ImageKind ImageKindOfBytes(ImageInput& input);

// Decodes the input with the reader of `kind`; for kNone the first bytes
// choose, and bytes that tell nothing are tried as TGA, then as JPEG.
BitmapPtr ReadImage(ImageInput& input, ImageKind kind, ImageError* error = nullptr);

// Decodes the file with the reader its extension names. For a name of no
// known kind the file's first bytes choose; bytes that tell nothing are
// tried as TGA, then as JPEG. The file is opened once, also when a FIFO.
// Null when nothing reads it, with the reason stored through `error` when
// it is not null.
BitmapPtr ReadImageFile(const char* file_name, ImageError* error = nullptr);
