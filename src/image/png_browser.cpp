// PNG in the web page: the browser decoded every bundled PNG while it
// preloaded the files (there is no libpng in the page), so a PNG is read by
// its name from those decoded images. PNG bytes from elsewhere, and writing
// PNG, are refused with a reason.
#include "image/png_file.h"

#include <emscripten.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Whether the decoded pixels are grey and whether alpha carries anything,
// as the desktop reader tells from the file's colour type.
void DescribePixels(TBitmap& bitmap)
{
    bool grey = true, alpha = false;
    const size_t count = size_t(bitmap.width) * size_t(bitmap.height);
    for (size_t i = 0; i < count && (grey || !alpha); ++i) {
        const uint32_t p = bitmap.pixels[i];
        const uint8_t r = p & 0xFF, g = (p >> 8) & 0xFF, b = (p >> 16) & 0xFF, a = p >> 24;
        grey = grey && r == g && g == b;
        alpha = alpha || a != 255;
    }
    bitmap.greyscale = grey;
    bitmap.has_alpha = alpha;
}

}  // namespace

BitmapPtr ReadPNG(const char* file_name, ImageError* error)
{
    // The file is opened first so a missing or irregular one says why, as
    // on the desktop.
    FilePtr f = OpenImageFile(file_name, error);
    if (!f)
        return nullptr;
    int width = 0, height = 0;
    char* rgba = emscripten_get_preloaded_image_data(file_name, &width, &height);
    if (!rgba)
        return ImageFailure(error, ImageError::kUnsupported);
    BitmapPtr bitmap;
    if (width <= 0 || height <= 0)
        ImageFailure(error, ImageError::kZeroSide);
    else if (!WithinPixelBudget(uint64_t(width), uint64_t(height)))
        ImageFailure(error, ImageError::kTooLarge);
    else if (!(bitmap = BitmapPtr(TBitmap::Create(width, height, false, false, 8))))
        ImageFailure(error, ImageError::kOutOfMemory);
    else
        std::memcpy(bitmap->pixels, rgba, size_t(width) * size_t(height) * 4);
    std::free(rgba);
    if (bitmap)
        DescribePixels(*bitmap);
    return bitmap;
}

BitmapPtr ReadPNG(ImageInput&, ImageError* error)
{
    return ImageFailure(error, ImageError::kUnsupported);
}

bool WritePNG(const char*, const TBitmap*, bool, PngCompression)
{
    errno = ENOSYS;
    return false;
}

Status SavePNG(const std::filesystem::path& file, const TBitmap*, bool, PngCompression)
{
    return Status::Failure("cannot write " + file.string() + ": PNG files are not written in the web page");
}
