#include "image/file_reader.h"

uint64_t RemainingBytes(FILE* file)
{
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return 0;
    const long end = std::ftell(file);
    std::fseek(file, here, SEEK_SET);
    return end > here ? static_cast<uint64_t>(end - here) : 0;
}

FileReader::FileReader(FILE* file) : m_file(file), m_size(file ? RemainingBytes(file) : 0) {}

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
