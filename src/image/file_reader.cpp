#include "image/file_reader.h"

#include <sys/stat.h>

FileReader::FileReader(FILE* file) : m_file(file)
{
    struct stat st;
    if (m_file && fstat(fileno(m_file), &st) == 0 && st.st_size > 0)
        m_size = static_cast<uint64_t>(st.st_size);
}

FileReader::~FileReader()
{
    if (m_file)
        std::fclose(m_file);
}

bool FileReader::Refill()
{
    if (!m_file)
        return false;
    m_pos = 0;
    m_fill = std::fread(m_buf, 1, sizeof m_buf, m_file);
    return m_fill > 0;
}

bool FileReader::Read(void* dst, size_t n)
{
    auto* out = static_cast<uint8_t*>(dst);
    while (n > 0) {
        if (m_pos == m_fill && !Refill())
            return false;
        size_t take = m_fill - m_pos < n ? m_fill - m_pos : n;
        std::memcpy(out, m_buf + m_pos, take);
        m_pos += take;
        m_consumed += take;
        out += take;
        n -= take;
    }
    return true;
}

bool FileReader::Skip(uint64_t n)
{
    while (n > 0) {
        if (m_pos == m_fill && !Refill())
            return false;
        uint64_t take = m_fill - m_pos < n ? m_fill - m_pos : n;
        m_pos += static_cast<size_t>(take);
        m_consumed += take;
        n -= take;
    }
    return true;
}
