// TGA codec. Sections: header layout, pixel decoding, reading, run-length
// packing, writing.
#include "image/tga.h"

#include "core/regular_file.h"
#include "core/whole_file.h"
#include "image/image_input.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// --- header layout ---------------------------------------------------------

constexpr size_t kHeaderSize = 18;
constexpr uint8_t kTopDown = 0x20;      // descriptor bit: first row in the file is the top row
constexpr uint8_t kRightToLeft = 0x10;  // descriptor bit: each row starts with its rightmost pixel

enum Kind { kColourMapped = 1, kTrueColour = 2, kGreyscale = 3 };

struct Header {
    uint8_t id_length;
    uint8_t colour_map_type;
    uint8_t image_type;
    uint16_t map_first;
    uint16_t map_length;
    uint8_t map_entry_bits;
    uint16_t width;
    uint16_t height;
    uint8_t depth;
    uint8_t descriptor;
};

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

Header ParseHeader(const uint8_t* h)
{
    return Header{h[0], h[1], h[2], Le16(h + 3), Le16(h + 5), h[7], Le16(h + 12), Le16(h + 14), h[16], h[17]};
}

// --- pixel decoding ----------------------------------------------------------

// One encoded true-colour pixel (or colour-map entry) of `bytes` bytes.
inline uint32_t DecodeColour(const uint8_t* p, int bytes)
{
    switch (bytes) {
    case 2: {
        const unsigned w = Le16(p);
        const auto five = [](unsigned v) { return static_cast<uint8_t>(v * 255 / 31); };
        return PackRGBA(five((w >> 10) & 31), five((w >> 5) & 31), five(w & 31), 255);
    }
    case 3:
        return PackRGBA(p[2], p[1], p[0], 255);
    default:
        return PackRGBA(p[2], p[1], p[0], p[3]);
    }
}

// Turns raw pixel values into bitmap words: colours for true-colour data,
// palette look-ups (offset by the first entry index) for index data.
struct PixelDecoder {
    int bytes;                       // bytes per encoded value
    bool indexed;                    // values are palette indices
    int first;                       // colour-map first entry index
    const std::vector<uint32_t>* palette;

    uint32_t operator()(const uint8_t* p) const
    {
        if (!indexed)
            return DecodeColour(p, bytes);
        const int i = static_cast<int>(p[0]) - first;
        return i >= 0 && i < static_cast<int>(palette->size()) ? (*palette)[static_cast<size_t>(i)] : 0u;
    }
};

bool ReadRawRow(ImageInput& in, const PixelDecoder& dec, uint32_t* row, int32_t width, std::vector<uint8_t>& scratch)
{
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(dec.bytes);
    if (!in.Read(scratch.data(), n))
        return false;
    for (int32_t x = 0; x < width; ++x)
        row[x] = dec(scratch.data() + static_cast<size_t>(x) * static_cast<size_t>(dec.bytes));
    return true;
}

// Packets belong to one row: one that would run past its end fails the read.
bool ReadRunLengthRow(ImageInput& in, const PixelDecoder& dec, uint32_t* row, int32_t width,
                      std::vector<uint8_t>& scratch)
{
    int32_t x = 0;
    while (x < width) {
        uint8_t h;
        if (!in.Byte(h))
            return false;
        const int32_t count = (h & 0x7F) + 1;
        if (count > width - x)
            return false;
        if (h & 0x80) {
            uint8_t value[4];
            if (!in.Read(value, static_cast<size_t>(dec.bytes)))
                return false;
            const uint32_t word = dec(value);
            for (int32_t i = 0; i < count; ++i)
                row[x++] = word;
        } else {
            if (!in.Read(scratch.data(), static_cast<size_t>(count) * static_cast<size_t>(dec.bytes)))
                return false;
            for (int32_t i = 0; i < count; ++i)
                row[x++] = dec(scratch.data() + static_cast<size_t>(i) * static_cast<size_t>(dec.bytes));
        }
    }
    return true;
}

// --- reading -------------------------------------------------------------------

BitmapPtr ReadStream(ImageInput& in, ImageError* error)
{
    uint8_t raw[kHeaderSize];
    if (!in.Read(raw, sizeof raw))
        return ImageFailure(error, ImageError::kNotTga);
    const Header h = ParseHeader(raw);

    const int kind = h.image_type & 7;
    const bool rle = (h.image_type & 8) != 0;
    if (kind != kColourMapped && kind != kTrueColour && kind != kGreyscale)
        return ImageFailure(error, ImageError::kNotTga);
    // Index and grey data are read one byte per pixel; other depths (16-bit
    // grey with alpha, 16-bit indices) would come out scrambled.
    const bool depth_ok = kind == kTrueColour ? h.depth == 16 || h.depth == 24 || h.depth == 32 : h.depth == 8;
    // 15-bit map entries are 16-bit ones whose top bit is unused.
    const bool map_ok = kind != kColourMapped || h.map_entry_bits == 15 || h.map_entry_bits == 16 ||
                        h.map_entry_bits == 24 || h.map_entry_bits == 32;
    // A header with a colour-map type of neither kind is most likely not
    // TGA at all (text, say), rather than a TGA of an odd depth.
    if (!depth_ok || !map_ok)
        return ImageFailure(error, h.colour_map_type <= 1 ? ImageError::kUnsupported : ImageError::kNotTga);
    if (h.width == 0 || h.height == 0)
        return ImageFailure(error, ImageError::kZeroSide);
    if (!WithinPixelBudget(h.width, h.height))
        return ImageFailure(error, ImageError::kTooLarge);
    if (!in.Skip(h.id_length))
        return ImageFailure(error, ImageError::kCorrupt);

    std::vector<uint32_t> palette;
    if (kind == kGreyscale) {
        palette.resize(256);
        for (unsigned i = 0; i < 256; ++i)
            palette[i] = PackRGBA(uint8_t(i), uint8_t(i), uint8_t(i), 255);
    }
    if (h.map_length != 0) {
        const int entry_bytes = (h.map_entry_bits + 7) / 8;
        if (kind == kColourMapped) {
            std::vector<uint8_t> entries(static_cast<size_t>(h.map_length) * static_cast<size_t>(entry_bytes));
            if (!in.Read(entries.data(), entries.size()))
                return ImageFailure(error, ImageError::kCorrupt);
            palette.resize(h.map_length);
            for (size_t i = 0; i < palette.size(); ++i)
                palette[i] = DecodeColour(entries.data() + i * static_cast<size_t>(entry_bytes), entry_bytes);
        } else if (h.colour_map_type == 1) {
            // A map in a true-colour or grey file is allowed but unused; it
            // sits before the pixels, so it has to be stepped over.
            if (!in.Skip(static_cast<uint64_t>(h.map_length) * static_cast<uint64_t>(entry_bytes)))
                return ImageFailure(error, ImageError::kCorrupt);
        }
    }

    const int d = kind == kGreyscale ? 8 : kind == kTrueColour ? h.depth : h.map_entry_bits;
    const bool has_alpha = d == 32;
    const uint8_t bits = d == 15 || d == 16 ? 5 : (d == 24 || d == 32) ? 8 : static_cast<uint8_t>(d);
    const PixelDecoder dec{kind == kTrueColour ? h.depth / 8 : 1, kind != kTrueColour, h.map_first, &palette};

    // Refuse, before allocating, an image the rest of the file cannot hold:
    // raw data needs every byte, and a run-length packet of at most 1 + 4
    // bytes yields at most 128 pixels. (A pipe has no known end; the pixel
    // budget alone bounds it.)
    const uint64_t count = static_cast<uint64_t>(h.width) * h.height;
    if (const std::optional<uint64_t> left = in.Remaining()) {
        if (!rle && count * static_cast<uint64_t>(dec.bytes) > *left)
            return ImageFailure(error, ImageError::kCorrupt);
        if (rle && count > *left * 128)
            return ImageFailure(error, ImageError::kCorrupt);
    }

    BitmapPtr bitmap(TBitmap::Create(h.width, h.height, kind == kGreyscale, has_alpha, bits));
    if (!bitmap)
        return ImageFailure(error, ImageError::kOutOfMemory);
    std::vector<uint8_t> scratch;
    scratch.resize(static_cast<size_t>(h.width) * 4 + 4);

    const bool top_down = (h.descriptor & kTopDown) != 0;
    const bool right_to_left = (h.descriptor & kRightToLeft) != 0;
    for (int32_t i = 0; i < bitmap->height; ++i) {
        uint32_t* row = bitmap->Row(top_down ? i : bitmap->height - 1 - i);
        if (!(rle ? ReadRunLengthRow(in, dec, row, bitmap->width, scratch)
                  : ReadRawRow(in, dec, row, bitmap->width, scratch)))
            return ImageFailure(error, ImageError::kCorrupt);
        if (right_to_left)
            std::reverse(row, row + bitmap->width);
    }
    return bitmap;
}

// --- run-length packing ------------------------------------------------------

// Packs one row of grey values: runs of three or more equal values (up to
// 128) become run packets, everything else raw packets of up to 128.
void PackGreyRow(const uint8_t* g, size_t n_total, std::vector<uint8_t>& out)
{
    size_t i = 0;
    while (i < n_total) {
        const size_t m = n_total - i < 128 ? n_total - i : 128;
        size_t c;
        if (m >= 3 && g[i] == g[i + 1] && g[i] == g[i + 2]) {
            c = 3;
            while (c < m && g[i + c] == g[i])
                ++c;
            out.push_back(static_cast<uint8_t>(0x80 | (c - 1)));
            out.push_back(g[i]);
        } else {
            c = m;
            for (size_t p = 1; p + 2 < m; ++p)
                if (g[i + p] == g[i + p + 1] && g[i + p] == g[i + p + 2]) {
                    c = p;
                    break;
                }
            out.push_back(static_cast<uint8_t>(c - 1));
            out.insert(out.end(), g + i, g + i + c);
        }
        i += c;
    }
}

// --- writing -------------------------------------------------------------------

bool WriteStream(FILE* f, const TBitmap& b)
{
    const bool rle_grey = b.greyscale && !b.has_alpha;
    const uint8_t depth = rle_grey ? 8 : b.has_alpha ? 32 : 24;
    uint8_t header[kHeaderSize] = {};
    header[2] = rle_grey ? 11 : 2;
    header[12] = static_cast<uint8_t>(b.width & 0xFF);
    header[13] = static_cast<uint8_t>(b.width >> 8);
    header[14] = static_cast<uint8_t>(b.height & 0xFF);
    header[15] = static_cast<uint8_t>(b.height >> 8);
    header[16] = depth;
    header[17] = kTopDown;
    if (std::fwrite(header, 1, sizeof header, f) != sizeof header)
        return false;

    const size_t w = static_cast<size_t>(b.width);
    std::vector<uint8_t> grey(rle_grey ? w : 0);
    std::vector<uint8_t> out;
    out.reserve(rle_grey ? w + w / 128 + 2 : w * 4);
    for (int32_t y = 0; y < b.height; ++y) {
        const auto* px = reinterpret_cast<const uint8_t*>(b.Row(y));
        out.clear();
        if (rle_grey) {
            for (size_t x = 0; x < w; ++x)
                grey[x] = px[4 * x + 2];
            PackGreyRow(grey.data(), w, out);
        } else if (depth == 24) {
            out.resize(w * 3);
            for (size_t x = 0; x < w; ++x) {
                out[3 * x] = px[4 * x + 2];
                out[3 * x + 1] = px[4 * x + 1];
                out[3 * x + 2] = px[4 * x];
            }
        } else {
            out.resize(w * 4);
            for (size_t x = 0; x < w; ++x) {
                out[4 * x] = px[4 * x + 2];
                out[4 * x + 1] = px[4 * x + 1];
                out[4 * x + 2] = px[4 * x];
                out[4 * x + 3] = px[4 * x + 3];
            }
        }
        if (!out.empty() && std::fwrite(out.data(), 1, out.size(), f) != out.size())
            return false;
    }
    return true;
}

}  // namespace

BitmapPtr ReadTGA(ImageInput& in, ImageError* error)
{
    return ReadStream(in, error);
}

BitmapPtr ReadTGA(const char* file_name, ImageError* error)
{
    FilePtr f = OpenImageFile(file_name, error);
    if (!f)
        return nullptr;
    ImageInput in(f.get());
    return ReadStream(in, error);
}

bool WriteTGA(const char* file_name, const TBitmap* bitmap)
{
    // The header holds 16-bit sizes; a larger image cannot be represented.
    if (!file_name || !bitmap || bitmap->width < 0 || bitmap->height < 0 || bitmap->width > 65535 ||
        bitmap->height > 65535)
        return false;
    FILE* f = OpenRegularFileForWriting(file_name);
    if (!f)
        return false;
    const bool written = WriteStream(f, *bitmap);
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

Status SaveTGA(const std::filesystem::path& file, const TBitmap* bitmap)
{
    return WriteFileWhole(file, [&](const std::filesystem::path& temporary) { return WriteTGA(temporary.c_str(), bitmap); });
}
