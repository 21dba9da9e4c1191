// PNG codec over libpng. Sections: error handling and limits, reading,
// writing.
#include "image/png_file.h"

#include "image/file_reader.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
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

// Owns the stream and the libpng structures of one operation.
struct PngSession {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop end_info = nullptr;
    bool writing = false;
    bool owns_file = true;

    ~PngSession()
    {
        if (png) {
            if (writing)
                png_destroy_write_struct(&png, info ? &info : nullptr);
            else
                png_destroy_read_struct(&png, info ? &info : nullptr, end_info ? &end_info : nullptr);
        }
        if (file && owns_file)
            std::fclose(file);
    }
};

uint8_t SignificantBits(uint8_t bits) { return bits >= 1 && bits <= 8 ? bits : 8; }

// --- reading ---------------------------------------------------------------

TBitmap* Read(PngSession& s)
{
    s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning, nullptr, BoundedMalloc,
                                     BoundedFree);
    if (!s.png)
        return nullptr;
    s.info = png_create_info_struct(s.png);
    s.end_info = png_create_info_struct(s.png);
    if (!s.info || !s.end_info)
        return nullptr;
    png_set_user_limits(s.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(s.png, kMaxChunkBytes);
    png_set_chunk_cache_max(s.png, 256);
    // Chunks the reader has no use for are skipped unread.
    static const png_byte kUnused[] = "iCCP\0sPLT\0tEXt\0zTXt\0iTXt\0eXIf\0hIST\0pCAL\0sCAL\0";
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, kUnused, int(sizeof kUnused / 5));

    const uint64_t file_size = RemainingBytes(s.file);

    png_init_io(s.png, s.file);
    png_read_info(s.png, s.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(s.png, s.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);

    // Only the layouts the conversion below knows; checked before any pixel
    // memory is allocated.
    const bool palette = colour == PNG_COLOR_TYPE_PALETTE;
    if (!palette && !(depth == 8 && (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_RGB ||
                                     colour == PNG_COLOR_TYPE_GRAY_ALPHA || colour == PNG_COLOR_TYPE_RGBA)))
        return nullptr;
    if (uint64_t(width) * height >= kMaxBitmapPixels)
        return nullptr;

    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    const size_t row_bytes = png_get_rowbytes(s.png, s.info);
    if ((uint64_t(row_bytes) + 1) * height > file_size * kMaxInflateRatio + 4096)
        return nullptr;

    std::unique_ptr<png_byte[]> data(new (std::nothrow) png_byte[row_bytes * height + 1]);
    std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height + 1]);
    if (!data || !rows)
        return nullptr;
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = data.get() + size_t(y) * row_bytes;
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

    const bool grey = colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA;
    const bool alpha = colour == PNG_COLOR_TYPE_GRAY_ALPHA || colour == PNG_COLOR_TYPE_RGBA;
    BitmapPtr bitmap(TBitmap::Create(int32_t(width), int32_t(height), grey, alpha, uint8_t(depth)));
    if (!bitmap)
        return nullptr;
    for (png_uint_32 y = 0; y < height; ++y) {
        const png_byte* in = rows[y];
        uint32_t* out = bitmap->Row(int32_t(y));
        switch (colour) {
        case PNG_COLOR_TYPE_GRAY:
            for (png_uint_32 x = 0; x < width; ++x)
                out[x] = PackRGBA(in[x], in[x], in[x], 255);
            break;
        case PNG_COLOR_TYPE_RGB:
            for (png_uint_32 x = 0; x < width; ++x, in += 3)
                out[x] = PackRGBA(in[0], in[1], in[2], 255);
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            for (png_uint_32 x = 0; x < width; ++x, in += 2)
                out[x] = PackRGBA(in[0], in[0], in[0], in[1]);
            break;
        case PNG_COLOR_TYPE_RGBA:
            for (png_uint_32 x = 0; x < width; ++x, in += 4)
                out[x] = PackRGBA(in[0], in[1], in[2], in[3]);
            break;
        default: {
            // Packed indices, leftmost pixel in the high-order bits.
            const unsigned per_byte = 8u / unsigned(depth), mask = (1u << depth) - 1;
            for (png_uint_32 x = 0; x < width; ++x) {
                const unsigned shift = 8u - unsigned(depth) * (x % per_byte + 1);
                out[x] = lut[(in[x / per_byte] >> shift) & mask];
            }
        }
        }
    }
    return bitmap.release();
}

// --- writing ---------------------------------------------------------------

bool Write(PngSession& s, const TBitmap& b, bool rgb_order)
{
    s.writing = true;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!s.png)
        return false;
    s.info = png_create_info_struct(s.png);
    if (!s.info)
        return false;
    png_init_io(s.png, s.file);

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

TBitmap* ReadPNG(FILE* file)
{
    if (!file)
        return nullptr;
    PngSession s;
    s.file = file;
    s.owns_file = false;
    try {
        return Read(s);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TBitmap* ReadPNG(const char* file_name)
{
    FILE* f = file_name ? std::fopen(file_name, "rb") : nullptr;
    if (!f)
        return nullptr;
    TBitmap* bitmap = ReadPNG(f);
    std::fclose(f);
    return bitmap;
}

bool WritePNG(const char* file_name, const TBitmap* bitmap, bool rgb_order)
{
    if (!file_name || !bitmap || bitmap->width <= 0 || bitmap->height <= 0 ||
        uint64_t(bitmap->width) * uint64_t(bitmap->height) >= kMaxBitmapPixels)
        return false;
    PngSession s;
    s.file = std::fopen(file_name, "wb");
    if (!s.file)
        return false;
    bool ok = false;
    try {
        ok = Write(s, *bitmap, rgb_order);
    } catch (const std::exception&) {
        ok = false;
    }
    // Buffered data reaches the disk only at close; a failed close is a failed write.
    const bool closed = std::fclose(s.file) == 0;
    s.file = nullptr;
    return ok && closed;
}
