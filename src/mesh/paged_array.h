// Growable array stored in fixed-size pages, so that entries never move once
// created: the mesh's polygons hold raw addresses of its vertex records.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace mesh {

template <class T>
class CPagedArray {
public:
    static constexpr uint32_t kPageSize = 1024;  // entries per page

    CPagedArray() = default;
    ~CPagedArray() { Clear(); }
    CPagedArray(const CPagedArray&) = delete;
    CPagedArray& operator=(const CPagedArray&) = delete;

    // pageSize * (pages - 1) + lastPageCount; an empty array has no pages and
    // lastPageCount == pageSize, which yields 0.
    size_t Count() const { return size_t(kPageSize) * pages.size() + lastPageCount - kPageSize; }
    size_t PageCount() const { return pages.size(); }
    uint32_t LastPageCount() const { return lastPageCount; }
    uint32_t PageSize() const { return pageSize; }

    T& operator[](size_t i) { return pages[i / kPageSize][i % kPageSize]; }
    const T& operator[](size_t i) const { return pages[i / kPageSize][i % kPageSize]; }

    // Grows to hold n entries; an array already that large is unchanged. New
    // pages are default-initialised: records without constructors stay raw,
    // class types are constructed. On allocation failure the page list is
    // cut back to its previous length and false is returned.
    bool Grow(size_t n)
    {
        if (n <= Count())
            return true;
        const size_t oldPages = pages.size();
        const uint32_t oldLast = lastPageCount;
        const size_t needed = (n + kPageSize - 1) / kPageSize;
        try {
            pages.reserve(needed);
            while (pages.size() < needed)
                pages.push_back(new T[kPageSize]);
        } catch (const std::exception&) {  // bad_alloc, or length_error from an absurd count
            while (pages.size() > oldPages) {
                delete[] pages.back();
                pages.pop_back();
            }
            lastPageCount = oldLast;
            return false;
        }
        lastPageCount = uint32_t(n - size_t(kPageSize) * (pages.size() - 1));
        return true;
    }

    // Shrinks to n entries, freeing pages that no longer hold any. Entries
    // below n keep their values; dropped slots of a kept page are reset so
    // they own nothing.
    void Shrink(size_t n)
    {
        const size_t count = Count();
        if (n >= count)
            return;
        const size_t keepPages = (n + kPageSize - 1) / kPageSize;
        if constexpr (!std::is_trivially_destructible_v<T>) {
            const size_t keptEnd = std::min(count, keepPages * kPageSize);
            for (size_t i = n; i < keptEnd; ++i)
                (*this)[i] = T();
        }
        while (pages.size() > keepPages) {
            delete[] pages.back();
            pages.pop_back();
        }
        lastPageCount = pages.empty() ? kPageSize : uint32_t(n - size_t(kPageSize) * (pages.size() - 1));
    }

    // Frees every page; back to the empty state.
    void Clear()
    {
        for (T* page : pages)
            delete[] page;
        pages.clear();
        lastPageCount = kPageSize;
    }

    // Exchanges the contents (pages and counts); the arrays' own addresses stay.
    void Swap(CPagedArray& other) noexcept
    {
        pages.swap(other.pages);
        std::swap(lastPageCount, other.lastPageCount);
    }

    // Index of the entry at `address`, or -1 when no page holds it. Linear in
    // the number of pages.
    int64_t IndexOf(const T* address) const
    {
        const auto a = reinterpret_cast<uintptr_t>(address);
        for (size_t p = 0; p < pages.size(); ++p) {
            const auto start = reinterpret_cast<uintptr_t>(pages[p]);
            if (a >= start && a < start + sizeof(T) * kPageSize)
                return int64_t(p) * kPageSize + int64_t((a - start) / sizeof(T));
        }
        return -1;
    }

private:
    uint32_t pageSize = kPageSize;
    uint32_t lastPageCount = kPageSize;
    std::vector<T*> pages;
};

}  // namespace mesh
