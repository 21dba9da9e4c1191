#include "image/image_input.h"

#include "core/regular_file.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr size_t kBufferSize = 65536;

std::atomic<uint64_t> g_pixel_budget{kDefaultPixelBudget};

}  // namespace

const char* ImageErrorText(ImageError error)
{
    switch (error) {
    case ImageError::kNone: return "no error";
    case ImageError::kNoSuchFile: return "no such file";
    case ImageError::kNotReadable: return "not a readable file";
    case ImageError::kNotRegular: return "not a regular file";
    case ImageError::kNotTga: return "not a TGA file";
    case ImageError::kNotPng: return "not a PNG file";
    case ImageError::kNotJpeg: return "not a JPEG file";
    case ImageError::kUnknownFormat: return "not a TGA, PNG or JPEG";
    case ImageError::kProgressiveJpeg: return "progressive JPEG not supported";
    case ImageError::kSixteenBitPng: return "16-bit PNG not supported";
    case ImageError::kUnsupported: return "unsupported variant of the format";
    case ImageError::kTooLarge: return "larger than the pixel budget";
    case ImageError::kZeroSide: return "width or height is zero";
    case ImageError::kCorrupt: return "truncated or corrupt";
    case ImageError::kOutOfMemory: return "out of memory";
    }
    return "unknown error";
}

void SetPixelBudget(uint64_t pixels)
{
    g_pixel_budget.store(pixels, std::memory_order_relaxed);
}

uint64_t PixelBudget()
{
    return g_pixel_budget.load(std::memory_order_relaxed);
}

bool WithinPixelBudget(uint64_t width, uint64_t height)
{
    // Sides come from 16- and 32-bit header fields, so the product cannot wrap.
    const uint64_t pixels = width * height;
    return pixels <= PixelBudget() && pixels < kMaxBitmapPixels;
}

FilePtr OpenImageFile(const char* file_name, ImageError* error)
{
    if (!file_name || !*file_name) {
        ImageFailure(error, ImageError::kNoSuchFile);
        return nullptr;
    }
    bool not_regular = false;
    FilePtr f(OpenRegularFileForReading(file_name, &not_regular));
    if (!f) {
        ImageFailure(error, not_regular                           ? ImageError::kNotRegular
                            : errno == ENOENT || errno == ENOTDIR ? ImageError::kNoSuchFile
                                                                  : ImageError::kNotReadable);
        return nullptr;
    }
    return f;
}

// --- ImageInput ----------------------------------------------------------------

ImageInput::ImageInput(FILE* file) : m_file(file), m_buf(new (std::nothrow) uint8_t[kBufferSize])
{
    m_view = m_buf.get();
    if (!file)
        return;
    m_start = std::ftell(file);
    const int fd = fileno(file);
    struct stat st;
    if (fd >= 0) {
        // Only a regular file has a size and can go back; pipes and devices
        // (a FIFO, /dev/zero) are read as they come.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && m_start >= 0) {
            m_seekable = true;
            m_size = st.st_size > m_start ? uint64_t(st.st_size - m_start) : 0;
        }
        return;
    }
    // A stream without a descriptor (fmemopen) tells its size by seeking.
    if (m_start >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (end >= m_start && std::fseek(file, m_start, SEEK_SET) == 0) {
            m_seekable = true;
            m_size = uint64_t(end - m_start);
        }
    }
}

ImageInput::ImageInput(const void* data, size_t size)
    : m_seekable(true), m_size(size), m_view(static_cast<const uint8_t*>(data)), m_fill(data ? size : 0)
{}

std::optional<uint64_t> ImageInput::Remaining() const
{
    if (!m_size)
        return std::nullopt;
    return *m_size > Position() ? *m_size - Position() : 0;
}

size_t ImageInput::Fetch(uint8_t* dst, size_t n)
{
    if (!m_file || !m_buf)
        return 0;
    return std::fread(dst, 1, n, m_file);
}

// At the end the buffer keeps what it holds, so a stream shorter than one
// buffer can still go back to its start.
bool ImageInput::Refill()
{
    const size_t got = Fetch(m_buf.get(), kBufferSize);
    if (got == 0)
        return false;
    m_base += m_fill;
    m_pos = 0;
    m_fill = got;
    return true;
}

size_t ImageInput::ReadSome(void* dst, size_t n)
{
    auto* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < n) {
        if (m_pos == m_fill) {
            // A large read goes straight from the file into the destination.
            if (n - done >= kBufferSize) {
                const size_t got = Fetch(out + done, n - done);
                if (got > 0) {
                    m_base += m_fill + got;
                    m_pos = m_fill = 0;
                    done += got;
                }
                break;
            }
            if (!Refill())
                break;
        }
        const size_t take = m_fill - m_pos < n - done ? m_fill - m_pos : n - done;
        std::memcpy(out + done, m_view + m_pos, take);
        m_pos += take;
        done += take;
    }
    return done;
}

bool ImageInput::Read(void* dst, size_t n)
{
    return ReadSome(dst, n) == n;
}

bool ImageInput::Skip(uint64_t n)
{
    while (n > 0) {
        if (m_pos == m_fill && !Refill())
            return false;
        const uint64_t take = m_fill - m_pos < n ? m_fill - m_pos : n;
        m_pos += size_t(take);
        n -= take;
    }
    return true;
}

size_t ImageInput::Peek(void* dst, size_t n)
{
    if (n > kBufferSize)
        n = kBufferSize;
    if (m_fill - m_pos < n && m_file && m_buf) {
        // Move what is left to the front and top the buffer up.
        std::memmove(m_buf.get(), m_buf.get() + m_pos, m_fill - m_pos);
        m_base += m_pos;
        m_fill -= m_pos;
        m_pos = 0;
        while (m_fill < n) {
            const size_t got = Fetch(m_buf.get() + m_fill, kBufferSize - m_fill);
            if (got == 0)
                break;
            m_fill += got;
        }
    }
    const size_t have = m_fill - m_pos < n ? m_fill - m_pos : n;
    if (have > 0)  // an empty memory view has no bytes, and may have no address
        std::memcpy(dst, m_view + m_pos, have);
    return have;
}

bool ImageInput::Rewind()
{
    if (m_base == 0) {  // the buffer still starts at the first byte
        m_pos = 0;
        return true;
    }
    if (!m_seekable || !m_file || std::fseek(m_file, m_start, SEEK_SET) != 0)
        return false;
    m_base = 0;
    m_pos = m_fill = 0;
    return true;
}
