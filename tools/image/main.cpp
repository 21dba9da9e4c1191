// nerelle-image: converts images between the formats the program reads and
// writes, and describes them.
//
//   nerelle-image [--max-pixels N] convert IN OUT   read IN as texture loading would, write OUT as .tga or .png
//   nerelle-image [--max-pixels N] info IN          print size, flags and bits per channel of IN
//
// IN is a regular file, or "-" for standard input (a pipe is read once, by
// content); a FIFO or device named as IN is refused, never waited on. OUT
// is written whole or not at all.
#include "image/image_file.h"
#include "image/png_file.h"
#include "image/tga.h"
#include "core/report.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: nerelle-image [--max-pixels N] convert IN OUT\n"
    "       nerelle-image [--max-pixels N] info IN\n"
    "       nerelle-image --help\n"
    "\n"
    "  convert IN OUT    read IN (TGA, PNG or JPEG; told by its extension, else by its\n"
    "                    first bytes) and write it to OUT as .tga or .png\n"
    "  info IN           print the width, height, flags and bits per channel of IN\n"
    "  IN                a regular file, or - for standard input (told by its first bytes)\n"
    "  --max-pixels N    read images of up to N pixels (default 67108864, 8192 x 8192)\n"
    "  --help            print this text\n";

int Usage()
{
    std::fprintf(stderr,
                 "error: usage: nerelle-image [--max-pixels N] convert IN OUT | nerelle-image "
                 "[--max-pixels N] info IN\n");
    return 2;
}

BitmapPtr Read(const char* in)
{
    ImageError error = ImageError::kNone;
    BitmapPtr bitmap;
    if (std::strcmp(in, "-") == 0) {
        ImageInput input(stdin);
        bitmap = ReadImage(input, ImageKind::kNone, &error);
    } else {
        bitmap = ReadImageFile(in, &error);
    }
    if (!bitmap)
        std::fprintf(stderr, "error: cannot read %s: %s\n", std::strcmp(in, "-") == 0 ? "standard input" : in,
                     ImageErrorText(error));
    return bitmap;
}

int Convert(const char* in, const char* out)
{
    const ImageKind kind = ImageKindOfFile(out);
    if (kind != ImageKind::kTGA && kind != ImageKind::kPNG) {
        std::fprintf(stderr, "error: cannot write %s: only .tga and .png are written\n", out);
        return 1;
    }
    BitmapPtr bitmap = Read(in);
    if (!bitmap)
        return 1;
    const Status written = kind == ImageKind::kTGA ? SaveTGA(out, bitmap.get()) : SavePNG(out, bitmap.get(), true);
    if (!written) {
        PrintError(written.reason);
        return 1;
    }
    return 0;
}

int Info(const char* in)
{
    BitmapPtr bitmap = Read(in);
    if (!bitmap)
        return 1;
    std::printf("width %d\nheight %d\ngreyscale %d\nhas_alpha %d\nbits_per_channel %d\n", bitmap->width,
                bitmap->height, bitmap->greyscale, bitmap->has_alpha, bitmap->bits_per_channel);
    return 0;
}

// A positive decimal count, all of the text.
bool ParseCount(const char* text, uint64_t& out)
{
    if (!text || *text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v == 0)
        return false;
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int i = 1;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (i < argc && std::strcmp(argv[i], "--max-pixels") == 0) {
        uint64_t budget = 0;
        if (!ParseCount(i + 1 < argc ? argv[i + 1] : nullptr, budget)) {
            std::fprintf(stderr, "error: --max-pixels wants a positive whole number\n");
            return 2;
        }
        SetPixelBudget(budget);
        i += 2;
    }
    const int left = argc - i;
    if (left == 3 && std::strcmp(argv[i], "convert") == 0)
        return Convert(argv[i + 1], argv[i + 2]);
    if (left == 2 && std::strcmp(argv[i], "info") == 0)
        return Info(argv[i + 1]);
    return Usage();
}
