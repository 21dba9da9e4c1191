// Choosing an image decoder by file name, without GL: the part of texture
// loading that tools and tests can use on their own.
#pragma once

#include "image/bitmap.h"

// Image kinds told apart by the file-name extension.
enum class ImageKind { kNone, kTGA, kJPEG, kPNG };

// The kind named by the text after the last "." of the name, compared
// without regard to case: "tga", "jpg" / "jpeg", "png"; anything else or no
// dot: kNone.
ImageKind ImageKindOfFile(const char* file_name);

// Decodes the file with the reader its extension names; for a name of no
// known kind tries PNG, then TGA, then JPEG. Null when nothing reads it.
TBitmap* ReadImageFile(const char* file_name);
