// Feeds CBitmapFont::ReadPages with page images made from the input, so the
// metadata parser sees arbitrary areas, headers, runs and CRCs.
//
// Input: one byte for the page count (1 + b % 4), then per page two
// little-endian 16-bit sides (1 + v % 256 each), then one byte per pixel for
// every page in turn, stored as the grey pixel the build would write (missing
// bytes are 0). The seeds are real font pages in this form.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "font/bitmap_font.h"

namespace {

struct Page {
    int width, height;
    std::vector<uint8_t> bytes;
};

class Producer : public CBitmapFont::CBitmapProducer {
public:
    std::vector<Page> pages;
    TBitmap *Produce_Page(unsigned index) override
    {
        if (index >= pages.size())
            return nullptr;
        const Page &p = pages[index];
        TBitmap *b = TBitmap::Create(p.width, p.height, true, false, 8);
        if (!b)
            return nullptr;
        for (size_t i = 0; i < p.bytes.size(); ++i)
            b->pixels[i] = GreyPixel(p.bytes[i]);
        return b;
    }
};

class Consumer : public CBitmapFont::CBitmapCallback {
public:
    unsigned pages = 0;
    bool Consume_Page(unsigned index, unsigned, TBitmap *page) override
    {
        if (index != pages || !page || !page->pixels)
            std::abort();
        ++pages;
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    size_t at = 0;
    const int count = 1 + data[at++] % 4;
    Producer producer;
    for (int i = 0; i < count; ++i) {
        Page p;
        uint16_t w = 0, h = 0;
        if (at + 4 <= size) {
            w = uint16_t(data[at] | data[at + 1] << 8);
            h = uint16_t(data[at + 2] | data[at + 3] << 8);
            at += 4;
        }
        p.width = 1 + w % 256;
        p.height = 1 + h % 256;
        producer.pages.push_back(std::move(p));
    }
    for (Page &p : producer.pages) {
        p.bytes.assign(size_t(p.width) * p.height, 0);
        const size_t n = std::min(p.bytes.size(), size - at);
        std::memcpy(p.bytes.data(), data + at, n);
        at += n;
    }

    CBitmapFont font;
    Consumer consumer;
    if (CBitmapFont::ReadPages(font, producer, consumer)) {
        // A successful read describes every page it consumed, with glyph lists into the records.
        if (font.pages.size() != consumer.pages)
            std::abort();
        size_t total = 0;
        for (const PageEntry &page : font.pages) {
            for (const GlyphInfo *g : page.glyphs)
                if (g < font.glyphs.data() || g >= font.glyphs.data() + font.glyphs.size())
                    std::abort();
            total += page.glyphs.size();
        }
        if (total != font.glyphs.size())
            std::abort();
        if (font.name.size() != font.info.name_length)
            std::abort();
    }
    return 0;
}
