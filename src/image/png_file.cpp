// PNG codec over libpng. Sections: error handling and limits, reading,
// writing.
#include "image/png_file.h"

#include "core/regular_file.h"
#include "core/whole_file.h"
#include "image/image_input.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

// --- error handling and limits ---------------------------------------------

// libpng's errors surface as this exception, caught at the operation's edge.
struct PngError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void OnError(png_structp, png_const_charp message) { throw PngError(message ? message : "libpng"); }
void OnWarning(png_structp, png_const_charp) {}

// Sides beyond this are refused by libpng itself; a bitmap cannot hold more
// than 2^30 pixels anyway.
constexpr png_uint_32 kMaxSide = 65535;
// Largest single chunk libpng may allocate (text, ICC profiles, ...).
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
// Deflate cannot expand data by more than about 1032 times, so image data
// larger than this multiple of the file size cannot be in the file.
constexpr uint64_t kMaxInflateRatio = 1040;

// Largest single block libpng may allocate. Its own needs (structures, a
// few rows of at most 65535 x 8 bytes, the inflate window, ancillary chunks
// up to kMaxChunkBytes) stay well below; a chunk whose header claims more,
// which libpng 1.6 would otherwise try to allocate before reading it, is
// refused and skipped.
constexpr png_alloc_size_t kMaxLibraryBlock = 16u << 20;

png_voidp BoundedMalloc(png_structp, png_alloc_size_t size)
{
    return size <= kMaxLibraryBlock ? std::malloc(size) : nullptr;
}
void BoundedFree(png_structp, png_voidp p) { std::free(p); }

// Owns the libpng structures of one operation, and the file of a write.
struct PngSession {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop end_info = nullptr;
    bool writing = false;

    ~PngSession()
    {
        if (png) {
            if (writing)
                png_destroy_write_struct(&png, info ? &info : nullptr);
            else
                png_destroy_read_struct(&png, info ? &info : nullptr, end_info ? &end_info : nullptr);
        }
        if (file)
            std::fclose(file);
    }
};

uint8_t SignificantBits(uint8_t bits) { return bits >= 1 && bits <= 8 ? bits : 8; }

// --- reading ---------------------------------------------------------------

void ReadFromInput(png_structp png, png_bytep out, size_t n)
{
    if (!static_cast<ImageInput*>(png_get_io_ptr(png))->Read(out, n))
        png_error(png, "truncated");
}

uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Widens one row of stored samples, which fills the start of the bitmap
// row, into pixel words in place. It runs from the last pixel back: the
// word of pixel x takes bytes 4x to 4x + 3, and no pixel left of x keeps a
// sample there (a pixel never has more than four bytes).
void WidenRow(uint32_t* row, png_uint_32 width, int colour, int depth, const uint32_t* lut)
{
    const auto* in = reinterpret_cast<const uint8_t*>(row);
    for (png_uint_32 x = width; x-- > 0;) {
        uint32_t word;
        switch (colour) {
        case PNG_COLOR_TYPE_GRAY: word = PackRGBA(in[x], in[x], in[x], 255); break;
        case PNG_COLOR_TYPE_RGB: word = PackRGBA(in[3 * x], in[3 * x + 1], in[3 * x + 2], 255); break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: word = PackRGBA(in[2 * x], in[2 * x], in[2 * x], in[2 * x + 1]); break;
        case PNG_COLOR_TYPE_RGBA: word = PackRGBA(in[4 * x], in[4 * x + 1], in[4 * x + 2], in[4 * x + 3]); break;
        default: {
            // Packed indices, leftmost pixel in the high-order bits.
            const unsigned per_byte = 8u / unsigned(depth), mask = (1u << depth) - 1;
            const unsigned shift = 8u - unsigned(depth) * (x % per_byte + 1);
            word = lut[(in[x / per_byte] >> shift) & mask];
        }
        }
        row[x] = word;
    }
}

BitmapPtr Read(PngSession& s, ImageInput& in, ImageError* error)
{
    // The signature and the size in IHDR (which must come first) are looked
    // at before libpng starts, so a refused image costs nothing.
    uint8_t head[24];
    const size_t got = in.Peek(head, sizeof head);
    if (got < 8 || png_sig_cmp(head, 0, 8) != 0)
        return ImageFailure(error, ImageError::kNotPng);
    if (got == sizeof head && std::memcmp(head + 12, "IHDR", 4) == 0) {
        const uint32_t w = Be32(head + 16), h = Be32(head + 20);
        if (w == 0 || h == 0)
            return ImageFailure(error, ImageError::kZeroSide);
        if (!WithinPixelBudget(w, h))
            return ImageFailure(error, ImageError::kTooLarge);
    }

    s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning, nullptr, BoundedMalloc,
                                     BoundedFree);
    if (!s.png)
        return ImageFailure(error, ImageError::kOutOfMemory);
    s.info = png_create_info_struct(s.png);
    s.end_info = png_create_info_struct(s.png);
    if (!s.info || !s.end_info)
        return ImageFailure(error, ImageError::kOutOfMemory);
    png_set_user_limits(s.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(s.png, kMaxChunkBytes);
    png_set_chunk_cache_max(s.png, 256);
    // Chunks the reader has no use for are skipped unread.
    static const png_byte kUnused[] = "iCCP\0sPLT\0tEXt\0zTXt\0iTXt\0eXIf\0hIST\0pCAL\0sCAL\0";
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, kUnused, int(sizeof kUnused / 5));

    const std::optional<uint64_t> file_size = in.Remaining();

    png_set_read_fn(s.png, &in, ReadFromInput);
    png_read_info(s.png, s.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(s.png, s.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);

    // Only the layouts the conversion below knows; checked before any pixel
    // memory is allocated.
    if (depth == 16)
        return ImageFailure(error, ImageError::kSixteenBitPng);
    const bool palette = colour == PNG_COLOR_TYPE_PALETTE;
    if (!palette && !(depth == 8 && (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_RGB ||
                                     colour == PNG_COLOR_TYPE_GRAY_ALPHA || colour == PNG_COLOR_TYPE_RGBA)))
        return ImageFailure(error, ImageError::kUnsupported);
    if (!WithinPixelBudget(width, height))
        return ImageFailure(error, ImageError::kTooLarge);

    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    const size_t row_bytes = png_get_rowbytes(s.png, s.info);
    if (row_bytes > size_t(width) * 4)  // the rows are read into the bitmap's own rows
        return ImageFailure(error, ImageError::kUnsupported);
    if (file_size && (uint64_t(row_bytes) + 1) * height > *file_size * kMaxInflateRatio + 4096)
        return ImageFailure(error, ImageError::kCorrupt);

    const bool grey = colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA;
    const bool alpha = colour == PNG_COLOR_TYPE_GRAY_ALPHA || colour == PNG_COLOR_TYPE_RGBA;
    BitmapPtr bitmap(TBitmap::Create(int32_t(width), int32_t(height), grey, alpha, uint8_t(depth)));
    // Sides are at most kMaxSide, so this array stays small.
    std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height]);
    if (!bitmap || !rows)
        return ImageFailure(error, ImageError::kOutOfMemory);
    // The stored samples go straight into the bitmap's rows (no second copy
    // of the image), then each row is widened into pixel words.
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(bitmap->Row(int32_t(y)));
    png_read_image(s.png, rows.get());
    png_read_end(s.png, s.end_info);

    // Index entries beyond the file's palette read as opaque black.
    uint32_t lut[256];
    for (uint32_t& e : lut)
        e = PackRGBA(0, 0, 0, 255);
    if (palette) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(s.png, s.info, &entries, &count) & PNG_INFO_PLTE)
            for (int i = 0; i < count && i < 256; ++i)
                lut[i] = PackRGBA(entries[i].red, entries[i].green, entries[i].blue, 255);
    }
    for (png_uint_32 y = 0; y < height; ++y)
        WidenRow(bitmap->Row(int32_t(y)), width, colour, depth, lut);
    return bitmap;
}

// --- writing ---------------------------------------------------------------

bool Write(PngSession& s, const TBitmap& b, bool rgb_order, PngCompression compression)
{
    s.writing = true;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!s.png)
        return false;
    s.info = png_create_info_struct(s.png);
    if (!s.info)
        return false;
    png_init_io(s.png, s.file);
    if (compression == PngCompression::kFast) {
        // Level 1 matching runs only, after the Sub filter: a rendered
        // frame is mostly smooth gradients, whose Sub residues are long runs
        // of the same small byte. As small as the default (smaller on our
        // frames) in a sixth of its time.
        png_set_compression_level(s.png, 1);
        png_set_compression_strategy(s.png, Z_RLE);
        png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    }

    const bool grey_only = b.greyscale && !b.has_alpha;
    const int colour = grey_only ? PNG_COLOR_TYPE_GRAY : b.has_alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(s.png, s.info, png_uint_32(b.width), png_uint_32(b.height), 8, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // libpng refuses significant bits outside 1..8 for 8-bit samples.
    const uint8_t bits = SignificantBits(b.bits_per_channel);
    png_color_8 sig{};
    if (grey_only)
        sig.gray = bits;
    else {
        sig.red = sig.green = sig.blue = bits;
        sig.alpha = b.has_alpha ? bits : 0;
    }
    png_set_sBIT(s.png, s.info, &sig);
    png_write_info(s.png, s.info);

    if (!b.greyscale && !rgb_order)
        png_set_bgr(s.png);
    if (!b.has_alpha && !b.greyscale)
        png_set_filler(s.png, 0, PNG_FILLER_AFTER);

    const size_t w = size_t(b.width);
    if (b.greyscale) {
        std::unique_ptr<png_byte[]> row(new (std::nothrow) png_byte[w * 4 + 1]);
        if (!row)
            return false;
        for (int32_t y = 0; y < b.height; ++y) {
            const auto* px = reinterpret_cast<const uint8_t*>(b.Row(y));
            if (grey_only)
                for (size_t x = 0; x < w; ++x)
                    row[x] = px[4 * x];
            else
                for (size_t x = 0; x < w; ++x) {
                    row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = px[4 * x];
                    row[4 * x + 3] = px[4 * x + 3];
                }
            png_write_row(s.png, row.get());
        }
    } else {
        std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[size_t(b.height) + 1]);
        if (!rows)
            return false;
        for (int32_t y = 0; y < b.height; ++y)
            rows[size_t(y)] = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(b.Row(y)));
        png_write_image(s.png, rows.get());
    }
    png_write_end(s.png, s.info);
    return true;
}

}  // namespace

BitmapPtr ReadPNG(ImageInput& in, ImageError* error)
{
    PngSession s;
    try {
        return Read(s, in, error);
    } catch (const std::exception&) {
        return ImageFailure(error, ImageError::kCorrupt);
    }
}

BitmapPtr ReadPNG(const char* file_name, ImageError* error)
{
    FilePtr f = OpenImageFile(file_name, error);
    if (!f)
        return nullptr;
    ImageInput in(f.get());
    return ReadPNG(in, error);
}

bool WritePNG(const char* file_name, const TBitmap* bitmap, bool rgb_order, PngCompression compression)
{
    if (!file_name || !bitmap || bitmap->width <= 0 || bitmap->height <= 0 ||
        uint64_t(bitmap->width) * uint64_t(bitmap->height) >= kMaxBitmapPixels)
        return false;
    PngSession s;
    s.file = OpenRegularFileForWriting(file_name);
    if (!s.file)
        return false;
    bool ok = false;
    try {
        ok = Write(s, *bitmap, rgb_order, compression);
    } catch (const std::exception&) {
        ok = false;
    }
    // Buffered data reaches the disk only at close; a failed close is a failed write.
    const bool closed = std::fclose(s.file) == 0;
    s.file = nullptr;
    return ok && closed;
}

Status SavePNG(const std::filesystem::path& file, const TBitmap* bitmap, bool rgb_order, PngCompression compression)
{
    return WriteFileWhole(file, [&](const std::filesystem::path& temporary) {
        return WritePNG(temporary.c_str(), bitmap, rgb_order, compression);
    });
}
