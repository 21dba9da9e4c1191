// The system's own JPEG decoder: baseline and extended-sequential Huffman
// JFIF files into a `TBitmap`.
//
// Texture loading calls `ReadJPEG` for the extensions "jpg" and "jpeg" and
// as its last fallback. One interleaved scan with every component, 8-bit
// samples, one or three components (grey, or YCbCr in frame order), any
// sampling factors of 1, 2 or 4, restart intervals. Progressive, lossless,
// hierarchical, arithmetic-coded and 12-bit files are refused. Plain C++,
// no GL, nothing printed.
#pragma once

#include "image/bitmap.h"
#include "image/image_input.h"

// Decodes a JPEG file into a new bitmap (alpha 255, `greyscale` for one
// component); null on any failure, with the reason stored through `error`
// when it is not null.
BitmapPtr ReadJPEG(const char* file_name, ImageError* error = nullptr);

// The same, from an input positioned at the start of the data.
BitmapPtr ReadJPEG(ImageInput& input, ImageError* error = nullptr);
