// Buffered reading of a whole C stream for the image readers, which also
// need to know how many bytes remain so they can refuse an image the file is
// too short to describe before allocating its pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

// Bytes from the stream's position to its end (0 if it cannot be told);
// the position is left unchanged.
uint64_t RemainingBytes(FILE* file);

class FileReader {
public:
    // Reads an open stream from its current position; does not close it.
    explicit FileReader(FILE* file);
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Bytes not yet consumed (the file size minus what was read or skipped).
    uint64_t Remaining() const { return m_size > m_consumed ? m_size - m_consumed : 0; }

    bool Read(void* dst, size_t n);  // exactly n bytes or false
    bool Skip(uint64_t n);           // exactly n bytes or false
    bool Byte(uint8_t& out)          // one byte or false
    {
        if (m_pos == m_fill && !Refill())
            return false;
        out = m_buf[m_pos++];
        ++m_consumed;
        return true;
    }

private:
    bool Refill();

    FILE* m_file;
    uint64_t m_size = 0;
    uint64_t m_consumed = 0;
    size_t m_pos = 0;
    size_t m_fill = 0;
    uint8_t m_buf[65536];
};
