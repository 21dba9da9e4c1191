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

ImageKind ImageKindOfBytes(ImageInput& input)
{
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t head[8];
    const size_t n = input.Peek(head, sizeof head);
    if (n == sizeof head && std::memcmp(head, kPng, sizeof kPng) == 0)
        return ImageKind::kPNG;
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return ImageKind::kJPEG;
    return ImageKind::kNone;
}

namespace {

// Bytes without a signature: TGA first, then JPEG (whose reader also finds
// a start of image after leading junk), as before detection by content.
BitmapPtr ReadUnannounced(ImageInput& in, ImageError* error)
{
    ImageError tga_error = ImageError::kNone;
    if (BitmapPtr b = ReadTGA(in, &tga_error))
        return b;
    // A pipe that the TGA attempt read beyond its first buffer cannot go
    // back; what the TGA reader said is then the answer.
    if (!in.Rewind())
        return ImageFailure(error, tga_error);
    ImageError jpeg_error = ImageError::kNone;
    if (BitmapPtr b = ReadJPEG(in, &jpeg_error))
        return b;
    // A header that reads as TGA says more than a JPEG marker found
    // somewhere in its pixels.
    if (tga_error != ImageError::kNotTga)
        return ImageFailure(error, tga_error);
    return ImageFailure(error, jpeg_error == ImageError::kNotJpeg ? ImageError::kUnknownFormat : jpeg_error);
}

}  // namespace

BitmapPtr ReadImage(ImageInput& in, ImageKind kind, ImageError* error)
{
    if (kind == ImageKind::kNone)
        kind = ImageKindOfBytes(in);
    switch (kind) {
    case ImageKind::kTGA: return ReadTGA(in, error);
    case ImageKind::kJPEG: return ReadJPEG(in, error);
    case ImageKind::kPNG: return ReadPNG(in, error);
    case ImageKind::kNone:
        break;
    }
    return ReadUnannounced(in, error);
}

BitmapPtr ReadImageFile(const char* file_name, ImageError* error)
{
    const ImageKind kind = ImageKindOfFile(file_name);
    // By name: the web page's PNG reader finds the image its browser decoded.
    if (kind == ImageKind::kPNG)
        return ReadPNG(file_name, error);
    FilePtr f = OpenImageFile(file_name, error);
    if (!f)
        return nullptr;
    ImageInput in(f.get());
    return ReadImage(in, kind, error);
}
