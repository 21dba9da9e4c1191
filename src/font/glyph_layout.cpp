// Sections: metadata area sizes and the plan; the packing page (candidates,
// edge maps with reaches, collision grid); Build_GlyphLayout (packing,
// re-planning, shrinking); Prepare_PageMeta_Layout.
#include "font/glyph_layout.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <random>

#include "core/report.h"
#include "font/page_meta_stream.h"

// ---------------------------------------------------------------------------
// Metadata areas and the plan
// ---------------------------------------------------------------------------

// Both sides stay within max_side: a narrow width with little waste would
// otherwise make the other side, which becomes the width, wider than the page
// the area sits on. n includes the font name, so without this bound a build
// could fail or not depending on the length of the font's path.
void Area_Size_For(int64_t n, int max_side, int &width, int &height)
{
    if (n < 0)
        n = 0;
    int64_t a = int64_t(std::floor(std::sqrt(double(n))));
    while (a * a > n)
        --a;
    while ((a + 1) * (a + 1) <= n)
        ++a;
    a = std::max<int64_t>(a, 4);
    int64_t h = (n + a - 1) / a;
    int64_t w = a;
    const auto fits = [&](int64_t cw, int64_t ch) { return cw <= max_side && ch <= max_side; };
    if (a * h != n || !fits(a, h)) {
        // A first guess that is too large in itself is beaten by any width
        // that fits, up to the largest side.
        const bool first_fits = fits(a, h);
        const int64_t first_waste = first_fits ? a * h - n : INT64_MAX;
        const int64_t lo = std::max<int64_t>(a, 54) - 50;
        const int64_t hi = first_fits ? std::min<int64_t>(max_side, a + 50) : int64_t(max_side) + 1;
        for (int64_t cw = std::max<int64_t>(lo, 1); cw < hi; ++cw) {
            const int64_t ch = (n + cw - 1) / cw;
            if (fits(cw, ch) && cw * ch - n < first_waste) {
                w = cw;
                h = ch;
            }
        }
    }
    width = int(std::max(w, h));
    height = int(std::min(w, h));
}

int TPageMetaPlan::Area_Width(int page) const
{
    if (page < 0 || page >= meta_page_count)
        return 0;
    return page + 1 < meta_page_count ? first_width : last_width;
}

int TPageMetaPlan::Area_Height(int page) const
{
    if (page < 0 || page >= meta_page_count)
        return 0;
    return page + 1 < meta_page_count ? first_height : last_height;
}

void Plan_PageMeta(TPageMetaPlan &plan, const std::string &name, const FontInfo &info, int page_side,
                   int max_area_side, const std::vector<GlyphInfo> &glyphs, double fill)
{
    plan = TPageMetaPlan();
    plan.name = name;
    plan.info = info;
    plan.page_side = page_side;
    plan.max_area_side = max_area_side;
    plan.fill = fill;
    plan.glyph_count = int(glyphs.size());
    const double g = double(info.glyph_spacing) + info.glyph_padding;
    for (const GlyphInfo &glyph : glyphs)
        plan.total_glyph_area += (glyph.width + g) * (glyph.height + g);
    // Any value that differs between builds will do; two sources keep quick rebuilds apart.
    std::random_device device;
    const uint64_t now = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    plan.font_id = uint32_t(device()) ^ uint32_t(now) ^ uint32_t(now >> 32);
    Replan_PageMeta(plan);
}

void Replan_PageMeta(TPageMetaPlan &plan)
{
    const int64_t n = plan.glyph_count;
    const int64_t L = int64_t(plan.name.size());
    const int64_t P = plan.max_area_side, B = plan.page_side;
    const int64_t P2 = P * P, B2 = B * B;
    const int64_t per_area = std::max<int64_t>(P2 - 56, 1);
    int64_t f = std::max<int64_t>((L + 33 * n + 67) / per_area, 1);
    const double fill = plan.fill > 0 ? plan.fill : 0.85;
    const int64_t e = int64_t((plan.total_glyph_area - double(f) * double(B2 - P2) * fill) / (fill * double(B2)));
    const int64_t m = e + plan.correction + f;
    int64_t r = 8 * m + 33 * n + 28 * f + 39 + L;
    if (f > 1)
        r += 40 * (f - 1);
    if (r < int64_t(kPageMetaHeaderSize))
        r = kPageMetaHeaderSize;

    const int64_t per_page = std::max<int64_t>(P2 - 28, 1);
    int64_t t = std::max<int64_t>((r + per_page - 1) / per_page, 1);
    int w = 0, h = 0;
    Area_Size_For(r / t, int(P), w, h);
    int64_t v = int64_t(w) * h;
    while (t > 1 && r < v * (t - 1))
        --t;
    int64_t last_bytes;
    if (t == 1) {
        plan.first_width = plan.first_height = 0;
        plan.last_width = w;
        plan.last_height = h;
        last_bytes = v;
    } else {
        plan.first_width = w;
        plan.first_height = h;
        Area_Size_For(r - v * (t - 1), int(P), plan.last_width, plan.last_height);
        last_bytes = int64_t(plan.last_width) * plan.last_height;
    }
    plan.meta_page_count = int(t);
    // Where a run is split between two areas, up to 40 bytes stay free at the
    // end of the first and the second needs another 8-byte run header.
    const int64_t bracket = last_bytes + (v - 28) * (t - 1) - 33 * n - L - 67 - 48 * (t - 1);
    plan.page_capacity = bracket < 0 ? 0 : int(bracket / 8);
    plan.runs.clear();
}

// ---------------------------------------------------------------------------
// Packing page
// ---------------------------------------------------------------------------

namespace {

struct Point {
    int x, y;
};

struct Rect {
    int x, y, w, h;
    bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
    bool Overlaps(const Rect &o) const { return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h; }
};

// An edge on line `key` covering [e0, e1), with its reach starting at r.
struct Edge {
    int r, e0, e1;
};

constexpr int kCell = 32;

int PageRectWidth(const GlyphInfo &g) { return g.rotated ? g.height : g.width; }
int PageRectHeight(const GlyphInfo &g) { return g.rotated ? g.width : g.height; }

class CPackPage {
public:
    CPackPage(int width, int height, int area_width, int area_height)
        : m_width(width), m_height(height), m_area_width(area_width), m_area_height(area_height),
          m_cols((width + kCell - 1) / kCell), m_rows((height + kCell - 1) / kCell),
          m_cells(size_t(std::max(m_cols, 0)) * size_t(std::max(m_rows, 0)))
    {
        m_candidates.push_back({0, 0});
        m_hedges.insert({0, Edge{0, 0, width}});
        m_vedges.insert({0, Edge{0, 0, height}});
        // The metadata area is occupied for collisions and candidates but is no glyph.
        if (area_width > 0 && area_height > 0 && area_width <= width && area_height <= height) {
            Enter({0, 0, area_width, area_height});
            m_used_area += double(area_width) * area_height;
        }
    }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Used_X() const { return m_used_x; }
    int Used_Y() const { return m_used_y; }
    int Area_Width() const { return m_area_width; }
    int Area_Height() const { return m_area_height; }
    double Free_Area() const { return double(m_width) * m_height - m_used_area; }
    std::vector<GlyphInfo *> &Glyphs() { return m_glyphs; }

    // Offers a glyph; with allow_rotate the other orientation is tried too.
    bool Try_Place(GlyphInfo &glyph, bool allow_rotate)
    {
        bool found = false;
        long best_score = 0, best_sum = 0;
        size_t best_candidate = 0;
        bool best_rotated = false;
        const bool current = glyph.rotated != 0;
        for (int o = 0; o < (allow_rotate ? 2 : 1); ++o) {
            const bool rotated = o == 0 ? current : !current;
            const int w = rotated ? glyph.height : glyph.width;
            const int h = rotated ? glyph.width : glyph.height;
            for (size_t c = 0; c < m_candidates.size(); ++c) {
                const Point p = m_candidates[c];
                if (long(p.x) + w > m_width || long(p.y) + h > m_height)
                    continue;
                if (Collides({p.x, p.y, w, h}))
                    continue;
                const long score = std::max<long>(m_used_x, long(p.x) + w);
                const long sum = long(p.x) + p.y;
                if (!found || score < best_score || (score == best_score && sum < best_sum)) {
                    found = true;
                    best_score = score;
                    best_sum = sum;
                    best_candidate = c;
                    best_rotated = rotated;
                }
            }
        }
        if (!found)
            return false;
        const Point p = m_candidates[best_candidate];
        m_candidates.erase(m_candidates.begin() + ptrdiff_t(best_candidate));
        glyph.rotated = best_rotated ? 1 : 0;
        glyph.page_x = p.x;
        glyph.page_y = p.y;
        const Rect r{p.x, p.y, PageRectWidth(glyph), PageRectHeight(glyph)};
        m_used_x = std::max(m_used_x, r.x + r.w);
        m_used_y = std::max(m_used_y, r.y + r.h);
        m_used_area += double(r.w) * r.h;
        m_glyphs.push_back(&glyph);
        Enter(r);
        return true;
    }

private:
    template <typename F> void ForCells(const Rect &r, F &&f) const
    {
        const int c0 = std::max(r.x / kCell, 0), c1 = std::min((r.x + r.w - 1) / kCell, m_cols - 1);
        const int r0 = std::max(r.y / kCell, 0), r1 = std::min((r.y + r.h - 1) / kCell, m_rows - 1);
        for (int row = r0; row <= r1; ++row)
            for (int col = c0; col <= c1; ++col)
                if (f(size_t(row) * m_cols + col))
                    return;
    }

    bool Collides(const Rect &r) const
    {
        if (r.w <= 0 || r.h <= 0)
            return false;
        bool hit = false;
        ForCells(r, [&](size_t cell) {
            for (int i : m_cells[cell])
                if (m_rects[i].Overlaps(r))
                    return hit = true;
            return false;
        });
        return hit;
    }

    bool Qualifies(int px, int py) const
    {
        if (px < 0 || py < 0 || px >= m_width || py >= m_height)
            return false;
        for (int i : m_cells[size_t(py / kCell) * m_cols + px / kCell])
            if (m_rects[i].Contains(px, py))
                return false;
        return true;
    }

    // Enters a placed rectangle and updates the candidate points and edges.
    void Enter(const Rect &r)
    {
        const int x = r.x, y = r.y, w = r.w, h = r.h;
        const int index = int(m_rects.size());
        m_rects.push_back(r);
        if (w > 0 && h > 0)
            ForCells(r, [&](size_t cell) {
                m_cells[cell].push_back(index);
                return false;
            });

        if (Qualifies(x + w, y))
            m_candidates.push_front({x + w, y});
        if (Qualifies(x, y + h))
            m_candidates.push_back({x, y + h});

        // Project the lower-left corner towards x = 0 along the vertical edges.
        int stop_b = 0;
        bool stopped = false;
        for (auto it = std::make_reverse_iterator(m_vedges.lower_bound(x + w)); it != m_vedges.rend(); ++it) {
            const Edge &e = it->second;
            const int py = y + h;
            if (py >= e.r && py < e.e1 && Qualifies(it->first, py))
                m_candidates.push_back({it->first, py});
            if (py >= e.e0 && py < e.e1) {
                stop_b = it->first;
                stopped = true;
                break;
            }
        }
        if (!stopped && Qualifies(0, y + h))
            m_candidates.push_back({0, y + h});

        // Project the upper-right corner towards y = 0 along the horizontal edges.
        int stop_a = 0;
        stopped = false;
        for (auto it = std::make_reverse_iterator(m_hedges.lower_bound(y + h)); it != m_hedges.rend(); ++it) {
            const Edge &e = it->second;
            const int px = x + w;
            if (px >= e.r && px < e.e1 && Qualifies(px, it->first))
                m_candidates.push_back({px, it->first});
            if (px >= e.e0 && px < e.e1) {
                stop_a = it->first;
                stopped = true;
                break;
            }
        }
        if (!stopped && Qualifies(x + w, 0))
            m_candidates.push_back({x + w, 0});

        // Reaches that the new rectangle now blocks get shorter.
        for (auto it = m_vedges.lower_bound(x); it != m_vedges.end() && it->first < x + w; ++it) {
            Edge &e = it->second;
            if (e.e0 >= y && e.r <= y + h)
                e.r = std::min(e.e0, y + h);
        }
        for (auto it = m_hedges.lower_bound(y); it != m_hedges.end() && it->first < y + h; ++it) {
            Edge &e = it->second;
            if (e.e0 >= x && e.r <= x + w)
                e.r = std::min(e.e0, x + w);
        }

        m_hedges.insert({y + h, Edge{stop_b, x, x + w}});
        m_vedges.insert({x + w, Edge{stop_a, y, y + h}});

        std::erase_if(m_candidates, [&](const Point &p) { return r.Contains(p.x, p.y); });
    }

    int m_width, m_height;
    int m_area_width, m_area_height;
    int m_cols, m_rows;
    std::vector<std::vector<int>> m_cells;
    std::vector<Rect> m_rects;
    std::deque<Point> m_candidates;
    std::multimap<int, Edge> m_hedges, m_vedges;
    std::vector<GlyphInfo *> m_glyphs;
    int m_used_x = 0, m_used_y = 0;
    double m_used_area = 0;
};

int RoundUpPowerOfTwo(int v)
{
    int p = 1;
    while (p < v && p < (1 << 30))
        p <<= 1;
    return v <= 0 ? v : p;
}

int FloorLog2(int v)
{
    int l = 0;
    while (v > 1) {
        v >>= 1;
        ++l;
    }
    return l;
}

// Packs the sorted glyphs; false when a glyph fits no page at all.
bool Pack(std::vector<std::unique_ptr<CPackPage>> &pages, const std::vector<GlyphInfo *> &order, int side,
          double rotation_factor)
{
    const size_t k = size_t(std::lround(rotation_factor * double(order.size())));
    std::vector<size_t> by_free(pages.size());
    for (size_t i = 0; i < by_free.size(); ++i)
        by_free[i] = i;
    auto reorder = [&] {
        std::stable_sort(by_free.begin(), by_free.end(),
                         [&](size_t a, size_t b) { return pages[a]->Free_Area() < pages[b]->Free_Area(); });
    };
    reorder();
    for (size_t i = 0; i < order.size(); ++i) {
        GlyphInfo &glyph = *order[i];
        const bool allow_rotate = i >= k;
        bool placed = false;
        for (size_t p : by_free) {
            if (pages[p]->Try_Place(glyph, allow_rotate)) {
                placed = true;
                break;
            }
        }
        if (!placed) {
            pages.push_back(std::make_unique<CPackPage>(side, side, 0, 0));
            by_free.push_back(pages.size() - 1);
            if (!pages.back()->Try_Place(glyph, allow_rotate))
                return false;
        }
        reorder();
    }
    return true;
}

struct SavedPlacement {
    int page_x, page_y;
    uint8_t rotated;
};

} // namespace

// ---------------------------------------------------------------------------
// Build_GlyphLayout
// ---------------------------------------------------------------------------

bool Build_GlyphLayout(TGlyphLayout &layout, TPageMetaPlan &plan, bool write_metadata,
                       std::vector<GlyphInfo> &glyphs, int max_page_size, int gap, int margin,
                       bool power_of_two, double rotation_factor, double waste_factor)
{
    layout.pages.clear();
    const int S = max_page_size, g = gap, d = margin;
    const int B = S + g - 2 * d;
    if (S <= 0 || B <= 0)
        return false;
    try {
        for (GlyphInfo &glyph : glyphs) {
            glyph.width += g;
            glyph.height += g;
        }
        std::vector<GlyphInfo *> order(glyphs.size());
        std::vector<std::unique_ptr<CPackPage>> pages;
        // Each pass raises the planned capacity by the missing pages; the bound is a safety net.
        for (int pass = 0;; ++pass) {
            for (size_t i = 0; i < glyphs.size(); ++i)
                order[i] = &glyphs[i];
            std::stable_sort(order.begin(), order.end(), [](const GlyphInfo *a, const GlyphInfo *b) {
                return int64_t(a->width) * a->height > int64_t(b->width) * b->height;
            });
            for (GlyphInfo *glyph : order)
                glyph->rotated = glyph->height > glyph->width ? 1 : 0;

            pages.clear();
            if (write_metadata) {
                for (int j = 0; j < plan.meta_page_count; ++j) {
                    // An area that does not fit its page could not be kept free of glyphs.
                    if (plan.Area_Width(j) > B || plan.Area_Height(j) > B)
                        return false;
                    pages.push_back(std::make_unique<CPackPage>(B, B, plan.Area_Width(j), plan.Area_Height(j)));
                }
            }
            if (!Pack(pages, order, B, rotation_factor))
                return false;
            if (!write_metadata || int(pages.size()) <= plan.page_capacity)
                break;
            PrintWarning(FormatText("number of pages was undersetimated (there are %d pages, %d was expected)",
                                    int(pages.size()), plan.page_capacity));
            if (pass >= 64)
                return false;
            plan.correction += int(pages.size()) - plan.page_capacity;
            Replan_PageMeta(plan);
        }

        // Shrink each page to the smallest listed size that still holds its glyphs.
        for (size_t j = 0; j < pages.size(); ++j) {
            CPackPage *page = pages[j].get();
            const int aw = page->Area_Width(), ah = page->Area_Height();
            auto final_size = [&](const CPackPage &p, int &width, int &height) {
                width = std::max(std::max(aw, p.Used_X() + 2 * d - g), 0);
                height = std::max(std::max(ah, p.Used_Y() + 2 * d - g), 0);
                if (power_of_two) {
                    width = RoundUpPowerOfTwo(width);
                    height = RoundUpPowerOfTwo(height);
                }
            };
            int width, height;
            final_size(*page, width, height);
            const double total = double(width) * height;
            const double waste = total > 0 ? (total - double(page->Used_X()) * page->Used_Y()) / total : 0;
            const double aspect =
                std::max(width, height) > 0 ? double(std::min(width, height)) / std::max(width, height) : 1;
            if (!(width == S && height == S) && total > 0 && (waste >= waste_factor || aspect <= 0.25)) {
                std::vector<GlyphInfo *> list = page->Glyphs();
                std::vector<SavedPlacement> saved;
                for (GlyphInfo *glyph : list)
                    saved.push_back({glyph->page_x, glyph->page_y, glyph->rotated});
                std::unique_ptr<CPackPage> replacement;
                for (int n = 2 * FloorLog2(S); n >= 1 && !replacement; --n) {
                    const int pw = (S >> (n / 2)) + g - 2 * d;
                    const int ph = (S >> ((n + 1) / 2)) + g - 2 * d;
                    if (!(pw > aw && ph > ah))
                        continue;
                    auto trial = std::make_unique<CPackPage>(pw, ph, aw, ah);
                    bool ok = true;
                    for (size_t i = 0; i < list.size() && ok; ++i) {
                        if (trial->Try_Place(*list[i], false))
                            continue;
                        if (double(i) > 0.5 * double(list.size())) {
                            list[i]->rotated ^= 1;
                            if (trial->Try_Place(*list[i], false))
                                continue;
                        }
                        ok = false;
                    }
                    if (ok)
                        replacement = std::move(trial);
                    else
                        for (size_t i = 0; i < list.size(); ++i)
                            list[i]->rotated = saved[i].rotated;
                }
                if (replacement) {
                    pages[j] = std::move(replacement);
                    page = pages[j].get();
                    final_size(*page, width, height);
                } else {
                    PrintWarning(FormatText("page %d failed to downsize", int(j)));
                    for (size_t i = 0; i < list.size(); ++i) {
                        list[i]->page_x = saved[i].page_x;
                        list[i]->page_y = saved[i].page_y;
                        list[i]->rotated = saved[i].rotated;
                    }
                }
            }
            TLayoutPage out;
            out.width = width;
            out.height = height;
            out.glyphs = page->Glyphs();
            layout.pages.push_back(std::move(out));
        }

        for (GlyphInfo &glyph : glyphs) {
            glyph.width -= g;
            glyph.height -= g;
            glyph.page_x += d;
            glyph.page_y += d;
        }
    } catch (const std::bad_alloc &) {
        layout.pages.clear();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Prepare_PageMeta_Layout
// ---------------------------------------------------------------------------

bool Prepare_PageMeta_Layout(const TGlyphLayout &layout, TPageMetaPlan &plan)
{
    plan.runs.assign(size_t(std::max(plan.meta_page_count, 0)), {});
    const int64_t L = int64_t(plan.name.size());
    size_t page = 0, next = 0;
    for (int a = 0; a < plan.meta_page_count; ++a) {
        // The header, and on page 0 the FontInfo and the name, come first.
        int64_t free = int64_t(plan.Area_Width(a)) * plan.Area_Height(a) - 28;
        if (a == 0)
            free -= 39 + L;
        while (page < layout.pages.size()) {
            const size_t remaining = layout.pages[page].glyphs.size() - next;
            // A page without glyphs still gets an empty run, so that readers learn it exists.
            if (remaining ? free <= 40 : free < 8)
                break;
            const size_t take = std::min<size_t>(remaining, size_t((free - 8) / 33));
            plan.runs[size_t(a)].push_back({int(page), int(next), int(next + take)});
            free -= 8 + 33 * int64_t(take);
            next += take;
            if (next >= layout.pages[page].glyphs.size())
                ++page, next = 0;
        }
    }
    return page >= layout.pages.size();
}
