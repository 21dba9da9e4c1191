#include "font/font_test_util.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fonttest {


BitmapPtr CopyBitmap(const TBitmap &b)
{
    BitmapPtr copy(TBitmap::Create(b.width, b.height, b.greyscale, b.has_alpha, b.bits_per_channel));
    if (copy)
        std::memcpy(copy->pixels, b.pixels, size_t(b.width) * size_t(b.height) * 4);
    return copy;
}

TBitmap *MemoryProducer::Produce_Page(unsigned index)
{
    if (index >= pages.size() || !pages[index])
        return nullptr;
    return CopyBitmap(*pages[index]).release();
}

bool CollectingConsumer::Consume_Page(unsigned index, unsigned page_count, TBitmap *page)
{
    if (index >= refuse_from)
        return false;
    pages.push_back(CopyBitmap(*page));
    page_counts.push_back(page_count);
    return true;
}

std::vector<BitmapPtr> HandFont::Pages() const
{
    std::vector<BitmapPtr> out;
    const uint32_t meta_pages = uint32_t(runs.size());
    for (size_t p = 0; p < page_w.size(); ++p) {
        BitmapPtr page(TBitmap::Create(page_w[p], page_h[p], true, false, 8));
        std::fill(page->pixels, page->pixels + size_t(page_w[p]) * page_h[p], 0u);
        if (p < runs.size()) {
            CPageMetaStream stream(page->pixels, page->width, page->height);
            if (!stream.Open_Write(uint32_t(areas[p].first), uint32_t(areas[p].second), font_id, uint32_t(p),
                                   meta_pages, uint32_t(runs[p].size())))
                return {};
            if (p == 0) {
                FontInfo header = info;
                header.name_length = uint8_t(name.size());
                header.extension_count = 0;
                stream.Write(&header, sizeof(header));
                stream.Write(name.data(), name.size());
            }
            for (const TPageMetaRun &run : runs[p]) {
                PageMetaChunk chunk = {run.page, run.end - run.first};
                stream.Write(&chunk, sizeof(chunk));
                for (int g = run.first; g < run.end; ++g)
                    stream.Write(&glyphs[size_t(run.page)][size_t(g)], sizeof(GlyphInfo));
            }
            stream.Close_Write();
        }
        for (const GlyphInfo &g : glyphs[p]) {
            const int w = g.rotated ? g.height : g.width, h = g.rotated ? g.width : g.height;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    page->pixels[size_t(g.page_y + y) * page->width + g.page_x + x] =
                        GreyPixel(uint32_t(g.code * 7 + x + y));
        }
        out.push_back(std::move(page));
    }
    return out;
}

HandFont MakeHandFont(int pages, int per_page, int meta_pages, int area_w, int area_h)
{
    HandFont font;
    font.info.height = 48;
    font.info.page_count = uint16_t(pages);
    font.info.max_page_size = 2048;
    int code = 0x21;
    for (int p = 0; p < pages; ++p) {
        font.page_w.push_back(area_w + 8 * per_page + 16);
        font.page_h.push_back(area_h + 16);
        std::vector<GlyphInfo> list;
        for (int i = 0; i < per_page; ++i) {
            GlyphInfo g = {};
            g.code = code++;
            g.bearing_x = i % 3;
            g.bearing_y = -(i % 5);
            g.advance = 9;
            g.rotated = uint8_t(i % 2);
            g.page_x = area_w + 2 + 8 * i;
            g.page_y = area_h + 2;
            g.width = 5;
            g.height = 7;
            list.push_back(g);
        }
        font.glyphs.push_back(list);
    }
    // Spread the runs: each area takes what fits, in page order.
    font.runs.assign(size_t(meta_pages), {});
    font.areas.assign(size_t(meta_pages), {area_w, area_h});
    int page = 0, next = 0;
    for (int a = 0; a < meta_pages && page < pages; ++a) {
        long free = long(area_w) * area_h - 28 - (a == 0 ? 39 + long(font.name.size()) : 0);
        while (page < pages && free >= 8 + 33) {
            const int take = std::min<int>(per_page - next, int((free - 8) / 33));
            font.runs[size_t(a)].push_back({page, next, next + take});
            free -= 8 + 33L * take;
            next += take;
            if (next == per_page)
                ++page, next = 0;
        }
    }
    return font;
}

} // namespace fonttest

#include <fstream>
#include <iterator>

namespace fonttest {

std::string SourceFont(const char *file)
{
    return std::string(NERELLE_FONT_DIR) + "/" + file;
}

namespace {

uint32_t Be32(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

void PutBe32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}

} // namespace

bool WriteTwoFaceCollection(const std::string &ttf, const std::string &out)
{
    std::ifstream in(ttf, std::ios::binary);
    std::vector<uint8_t> font((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (font.size() < 12)
        return false;
    const size_t tables = size_t(font[4]) << 8 | font[5];
    const size_t dir_size = 12 + 16 * tables;
    if (font.size() < dir_size)
        return false;
    const size_t header = 20, shift = header + 2 * dir_size;
    std::vector<uint8_t> dir(font.begin(), font.begin() + ptrdiff_t(dir_size));
    for (size_t t = 0; t < tables; ++t)
        PutBe32(dir, 12 + 16 * t + 8, uint32_t(Be32(dir, 12 + 16 * t + 8) + shift));
    std::vector<uint8_t> ttc(header, 0);
    const char tag[4] = {'t', 't', 'c', 'f'};
    std::copy(tag, tag + 4, ttc.begin());
    PutBe32(ttc, 4, 0x00010000);
    PutBe32(ttc, 8, 2);
    PutBe32(ttc, 12, uint32_t(header));
    PutBe32(ttc, 16, uint32_t(header + dir_size));
    ttc.insert(ttc.end(), dir.begin(), dir.end());
    ttc.insert(ttc.end(), dir.begin(), dir.end());
    ttc.insert(ttc.end(), font.begin(), font.end());
    std::ofstream o(out, std::ios::binary);
    o.write(reinterpret_cast<const char *>(ttc.data()), std::streamsize(ttc.size()));
    return bool(o);
}

} // namespace fonttest
