// What every image reader shares: the one way files are opened, the byte
// stream the readers take their input from, why a read failed, and the
// pixel budget.
//
// A file is opened once and read from one stream: format detection peeks
// at the first bytes and, when a reader gives up, goes back to the start
// in the same stream (never by reopening, which would block on a FIFO).
// The pixel budget bounds every reader: an image that claims more pixels is
// refused from its header, before any pixel memory is allocated. Plain C++,
// nothing printed; the caller turns an `ImageError` into its message.
#pragma once

#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

// Why a reader returned no image.
enum class ImageError {
    kNone,
    kNoSuchFile,       // the name names no file
    kNotReadable,      // the file exists but cannot be read (permissions)
    kNotRegular,       // a FIFO, device or directory: refused, never waited on
    kNotTga,           // header of no TGA kind, or shorter than a header
    kNotPng,           // no PNG signature
    kNotJpeg,          // no start-of-image marker
    kUnknownFormat,    // none of the readers recognises the bytes
    kProgressiveJpeg,  // progressive JPEG
    kSixteenBitPng,    // PNG with 16-bit samples
    kUnsupported,      // a known format in a variant the readers do not decode
    kTooLarge,         // more pixels than the budget
    kZeroSide,         // width or height 0
    kCorrupt,          // truncated or malformed data
    kOutOfMemory,      // allocation failed within the budget
};

// A few words for the reason, e.g. "no such file" (never null).
const char* ImageErrorText(ImageError error);

// --- pixel budget ------------------------------------------------------------

// Default budget: 64 megapixels, four times the largest screenshot.
constexpr uint64_t kDefaultPixelBudget = uint64_t(8192) * 8192;

// Sets the largest pixel count any reader accepts (process-wide; safe to
// call from any thread, meant to be set once at start-up).
void SetPixelBudget(uint64_t pixels);
uint64_t PixelBudget();

// True when a width x height image fits the budget and a `TBitmap`.
bool WithinPixelBudget(uint64_t width, uint64_t height);

// --- opening and reading -----------------------------------------------------

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Opens the file for binary reading; null with kNoSuchFile, kNotReadable or
// kNotRegular stored through `error` (which may be null). Only a regular
// file is opened: a FIFO would block the reader for good and a device
// could be read for ever. A pipe is read through `ImageInput` on a stream
// the caller opened (standard input, say).
FilePtr OpenImageFile(const char* file_name, ImageError* error);

// Buffered reading of an open C stream or of bytes in memory, from where it
// starts to its end. Remembers where it started, so a reader that gives up
// can hand the stream back to the next one.
class ImageInput {
public:
    explicit ImageInput(FILE* file);            // from the current position; does not close it
    ImageInput(const void* data, size_t size);  // the bytes must outlive the input
    ImageInput(const ImageInput&) = delete;
    ImageInput& operator=(const ImageInput&) = delete;

    // Bytes not yet consumed, when the size is known (a regular file or
    // memory); none for pipes and devices.
    std::optional<uint64_t> Remaining() const;
    // Bytes consumed since the start.
    uint64_t Position() const { return m_base + m_pos; }

    bool Read(void* dst, size_t n);        // exactly n bytes or false
    size_t ReadSome(void* dst, size_t n);  // up to n bytes; 0 at the end
    bool Skip(uint64_t n);                 // exactly n bytes or false
    bool Byte(uint8_t& out)                // one byte or false
    {
        if (m_pos == m_fill && !Refill())
            return false;
        out = m_view[m_pos++];
        return true;
    }
    // Copies up to n of the next bytes without consuming them; returns how
    // many there are (fewer only at the end).
    size_t Peek(void* dst, size_t n);
    // Goes back to the first byte. False when that is impossible: a pipe
    // whose first buffer has been passed.
    bool Rewind();

private:
    bool Refill();                         // the buffer is used up: fetch more
    size_t Fetch(uint8_t* dst, size_t n);  // from the file

    FILE* m_file = nullptr;
    long m_start = 0;  // file offset of the first byte
    bool m_seekable = false;
    std::optional<uint64_t> m_size;    // bytes from the first byte to the end
    std::unique_ptr<uint8_t[]> m_buf;  // the buffer for file input
    const uint8_t* m_view = nullptr;   // m_buf, or the bytes of memory input
    size_t m_pos = 0, m_fill = 0;
    uint64_t m_base = 0;  // offset of m_view[0] from the first byte
};

// Stores the reason through `error` when it is not null; returns no image,
// so a reader can write `return ImageFailure(error, ImageError::kCorrupt);`.
inline BitmapPtr ImageFailure(ImageError* error, ImageError reason)
{
    if (error)
        *error = reason;
    return nullptr;
}
