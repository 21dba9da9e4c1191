#include "font/page_meta_stream.h"

#include <array>
#include <cstring>
#include <new>

namespace {

const std::array<uint32_t, 256> &CrcTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

uint32_t HeaderCrc(PageMetaHeader header)
{
    header.crc = 0;
    return Update_CRC32(0xFFFFFFFFu, &header, sizeof(header));
}

} // namespace

uint32_t Update_CRC32(uint32_t reg, const void *data, size_t n)
{
    const auto &table = CrcTable();
    const uint8_t *p = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < n; ++i)
        reg = table[(reg ^ p[i]) & 0xFF] ^ (reg >> 8);
    return reg;
}

CPageMetaStream::CPageMetaStream(uint32_t *pixels, int width, int height)
    : m_pixels(pixels), m_width(pixels && width > 0 ? width : 0), m_height(pixels && height > 0 ? height : 0)
{
}

uint32_t &CPageMetaStream::Pixel(size_t i) const
{
    const size_t aw = m_header.area_width;
    return m_pixels[(i / aw) * size_t(m_width) + i % aw];
}

bool CPageMetaStream::Open_Write(uint32_t area_width, uint32_t area_height, uint32_t font_id,
                                 uint32_t page_index, uint32_t meta_page_count, uint32_t chunk_count)
{
    m_size = m_cursor = 0;
    if (area_width < 4 || area_width > uint32_t(m_width) || area_height > uint32_t(m_height) ||
        uint64_t(area_width) * area_height < kPageMetaHeaderSize)
        return false;
    m_header = {area_width, area_height, 0, font_id, page_index, meta_page_count, chunk_count};
    m_size = size_t(area_width) * area_height;
    m_crc = HeaderCrc(m_header);
    m_cursor = kPageMetaHeaderSize;
    return true;
}

bool CPageMetaStream::Write(const void *data, size_t n)
{
    if (n > m_size - m_cursor)
        return false;
    const uint8_t *p = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < n; ++i)
        Pixel(m_cursor + i) = GreyPixel(p[i]);
    m_crc = Update_CRC32(m_crc, data, n);
    m_cursor += n;
    return true;
}

void CPageMetaStream::Close_Write()
{
    if (!m_size)
        return;
    m_header.crc = ~m_crc;
    const uint8_t *p = reinterpret_cast<const uint8_t *>(&m_header);
    for (size_t i = 0; i < kPageMetaHeaderSize; ++i)
        Pixel(i) = GreyPixel(p[i]);
    m_cursor = 0;
}

size_t CPageMetaStream::Open_Read()
{
    m_size = m_cursor = 0;
    if (m_width < 4)
        return 0;
    uint8_t word[4];
    for (int i = 0; i < 4; ++i)
        word[i] = uint8_t(m_pixels[i] & 0xFF);
    uint32_t area_width;
    std::memcpy(&area_width, word, 4);
    // The header itself is read through the area, so the width must be sane first.
    if (area_width < 4 || area_width > uint32_t(m_width) ||
        uint64_t(area_width) * uint32_t(m_height) < kPageMetaHeaderSize)
        return 0;
    m_header.area_width = area_width;
    uint8_t bytes[kPageMetaHeaderSize];
    for (size_t i = 0; i < kPageMetaHeaderSize; ++i)
        bytes[i] = uint8_t(Pixel(i) & 0xFF);
    std::memcpy(&m_header, bytes, sizeof(bytes));
    if (m_header.area_height > uint32_t(m_height) ||
        uint64_t(m_header.area_width) * m_header.area_height < kPageMetaHeaderSize)
        return 0;
    m_size = size_t(m_header.area_width) * m_header.area_height;
    m_cursor = kPageMetaHeaderSize;
    return m_size;
}

bool CPageMetaStream::Read(void *data, size_t n)
{
    if (n > m_size - m_cursor)
        return false;
    uint8_t *p = static_cast<uint8_t *>(data);
    for (size_t i = 0; i < n; ++i)
        p[i] = uint8_t(Pixel(m_cursor + i) & 0xFF);
    m_cursor += n;
    return true;
}

bool CPageMetaStream::Skip(size_t n)
{
    if (n > m_size - m_cursor)
        return false;
    m_cursor += n;
    return true;
}

bool CPageMetaStream::Check_CRC() const
{
    if (!m_size)
        return false;
    uint32_t reg = HeaderCrc(m_header);
    uint8_t buffer[256];
    for (size_t i = kPageMetaHeaderSize; i < m_cursor;) {
        size_t n = 0;
        for (; n < sizeof(buffer) && i < m_cursor; ++n, ++i)
            buffer[n] = uint8_t(Pixel(i) & 0xFF);
        reg = Update_CRC32(reg, buffer, n);
    }
    return ~reg == m_header.crc;
}

void CPageMetaStream::Erase()
{
    for (size_t i = 0; i < m_size; ++i)
        Pixel(i) = 0x00FFFFFFu;
}

bool CPageMetaReader::Parse_Page(uint32_t *pixels, int width, int height)
{
    try {
        if (!m_started || m_consumed < m_meta_page_count) {
            if (!Parse_Meta(pixels, width, height))
                return false;
        }
        if (m_consumed >= m_entries.size())
            return false;
        m_entries[m_consumed].width = width;
        m_entries[m_consumed].height = height;
        ++m_consumed;
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool CPageMetaReader::Parse_Meta(uint32_t *pixels, int width, int height)
{
    CPageMetaStream stream(pixels, width, height);
    if (!stream.Open_Read())
        return false;
    const PageMetaHeader &header = stream.Header();
    if (!m_started) {
        m_meta_page_count = header.meta_page_count;
        m_font_id = header.font_id;
        m_started = true;
    } else if (header.font_id != m_font_id) {
        return false;
    }
    if (header.page_index != m_consumed)
        return false;

    if (header.page_index == 0) {
        if (!stream.Read(&m_info, sizeof(m_info)))
            return false;
        m_name.assign(m_info.name_length, '\0');
        if (!stream.Read(m_name.data(), m_name.size()))
            return false;
        m_have_info = true;
        for (unsigned i = 0; i < m_info.extension_count; ++i) {
            uint8_t ext[kExtensionRecordSize];
            if (!stream.Read(ext, sizeof(ext)) || ext[2] != 0)
                return false;
            uint32_t length;
            std::memcpy(&length, ext + 3, 4);
            if (!stream.Skip(length))
                return false;
        }
    }

    for (uint32_t c = 0; c < header.chunk_count; ++c) {
        PageMetaChunk chunk;
        if (!stream.Read(&chunk, sizeof(chunk)) || chunk.glyph_count < 0 ||
            size_t(chunk.glyph_count) > stream.Remaining() / sizeof(GlyphInfo))
            return false;
        const size_t before = m_records.size();
        m_records.resize(before + size_t(chunk.glyph_count));
        if (!stream.Read(m_records.data() + before, size_t(chunk.glyph_count) * sizeof(GlyphInfo)))
            return false;
        const size_t entries = m_entries.size();
        if (chunk.page_index >= 0 && size_t(chunk.page_index) + 1 == entries) {
            if (m_ranges.back().end != before)
                return false;
            m_ranges.back().end = m_records.size();
        } else if (chunk.page_index >= 0 && size_t(chunk.page_index) == entries) {
            PageEntry entry;
            if (size_t(chunk.page_index) == m_consumed) {
                entry.width = width;
                entry.height = height;
            }
            m_entries.push_back(std::move(entry));
            m_ranges.push_back({before, m_records.size()});
        } else {
            return false;
        }
    }

    if (!stream.Check_CRC())
        return false;
    if (m_consumed + 1 == m_meta_page_count) {
        for (size_t e = 0; e < m_entries.size(); ++e) {
            m_entries[e].glyphs.clear();
            for (size_t i = m_ranges[e].begin; i < m_ranges[e].end; ++i)
                m_entries[e].glyphs.push_back(&m_records[i]);
        }
    }
    return true;
}
