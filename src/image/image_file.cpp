#include "image/image_file.h"

#include "image/jpeg_decoder.h"
#include "image/png_file.h"
#include "image/tga.h"

#include <cctype>
#include <cstring>
#include <string>

ImageKind ImageKindOfFile(const char* file_name)
{
    if (!file_name)
        return ImageKind::kNone;
    const char* dot = std::strrchr(file_name, '.');
    if (!dot)
        return ImageKind::kNone;
    std::string ext(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "tga")
        return ImageKind::kTGA;
    if (ext == "jpg" || ext == "jpeg")
        return ImageKind::kJPEG;
    if (ext == "png")
        return ImageKind::kPNG;
    return ImageKind::kNone;
}

TBitmap* ReadImageFile(const char* file_name)
{
    switch (ImageKindOfFile(file_name)) {
    case ImageKind::kTGA:
        return ReadTGA(file_name);
    case ImageKind::kJPEG:
        return ReadJPEG(file_name);
    case ImageKind::kPNG:
        return ReadPNG(file_name);
    case ImageKind::kNone:
        break;
    }
    if (TBitmap* b = ReadPNG(file_name))
        return b;
    if (TBitmap* b = ReadTGA(file_name))
        return b;
    return ReadJPEG(file_name);
}
