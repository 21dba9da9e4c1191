// nerelle-image: converts images between the formats the program reads and
// writes, and describes them.
//
//   nerelle-image convert IN OUT   read IN as texture loading would, write OUT as .tga or .png
//   nerelle-image info IN          print size, flags and bits per channel of IN
#include "image/image_file.h"
#include "image/png_file.h"
#include "image/tga.h"

#include <cstdio>
#include <cstring>

namespace {

int Usage()
{
    std::fprintf(stderr, "error: usage: nerelle-image convert IN OUT | nerelle-image info IN\n");
    return 2;
}

int Convert(const char* in, const char* out)
{
    BitmapPtr bitmap(ReadImageFile(in));
    if (!bitmap) {
        std::fprintf(stderr, "error: cannot read %s\n", in);
        return 1;
    }
    const ImageKind kind = ImageKindOfFile(out);
    if (kind != ImageKind::kTGA && kind != ImageKind::kPNG) {
        std::fprintf(stderr, "error: cannot write %s: only .tga and .png are written\n", out);
        return 1;
    }
    const bool ok = kind == ImageKind::kTGA ? WriteTGA(out, bitmap.get()) : WritePNG(out, bitmap.get(), true);
    if (!ok) {
        std::fprintf(stderr, "error: cannot write %s\n", out);
        return 1;
    }
    return 0;
}

int Info(const char* in)
{
    BitmapPtr bitmap(ReadImageFile(in));
    if (!bitmap) {
        std::fprintf(stderr, "error: cannot read %s\n", in);
        return 1;
    }
    std::printf("width %d\nheight %d\ngreyscale %d\nhas_alpha %d\nbits_per_channel %d\n", bitmap->width,
                bitmap->height, bitmap->greyscale, bitmap->has_alpha, bitmap->bits_per_channel);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "convert") == 0)
        return Convert(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "info") == 0)
        return Info(argv[2]);
    return Usage();
}
