#include "font/page_cache_check.h"

#include "font/bitmap_font.h"

namespace {

// Reads pages through the file reader and remembers the last one asked for.
class RecordingReader : public CBitmapFont::CBitmapProducer {
public:
    explicit RecordingReader(const char* pattern) : m_reader(pattern) {}
    TBitmap* Produce_Page(unsigned index) override
    {
        last_index = index;
        TBitmap* page = m_reader.Produce_Page(index);
        last_missing = page == nullptr;
        return page;
    }

    unsigned last_index = 0;
    bool last_missing = false;

private:
    CBitmapFont::CBitmapReader m_reader;
};

class DiscardingConsumer : public CBitmapFont::CBitmapCallback {
public:
    bool Consume_Page(unsigned, unsigned, TBitmap*) override { return true; }
};

}  // namespace

std::string DescribePageCacheDamage(const char* pattern)
{
    std::string first;
    if (!Format_PagePattern(pattern, 0, first))
        return "the page file pattern is not usable";
    RecordingReader reader(pattern);
    DiscardingConsumer consumer;
    CBitmapFont font;
    if (CBitmapFont::ReadPages(font, reader, consumer))
        return std::string();
    std::string file;
    Format_PagePattern(pattern, reader.last_index, file);
    if (reader.last_missing)
        return "page file '" + file + "' is missing or unreadable";
    return "page file '" + file + "' does not hold a valid glyph table of the set that starts with '" + first + "'";
}
