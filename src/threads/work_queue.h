// A bounded first-in-first-out queue for handing work between threads.
//
// Two counting semaphores count the items ready to take and the free slots;
// a mutex guards the ring indices. A producer blocks in Put() while the
// queue holds `capacity` items, a consumer blocks in Get() while it holds
// none. Close() says no more items will come: consumers still take what is
// left, then every one of them leaves Get() with false. The frame encoder
// uses two of these, one for frames to write and one for free bitmaps.
//
// Threads: any number of producers and consumers may call Put(), Get() and
// Close() at once. Lock order is always semaphore, then mutex, and the mutex
// is released before the other semaphore is signalled, so no call waits while
// holding the mutex.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <semaphore>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

template <typename T>
class CWorkQueue {
public:
    static constexpr unsigned kMaxCapacity = 0x7fffffff;  // the semaphores' largest count

    // A queue for up to `capacity` items at a time. Throws std::length_error
    // when capacity is 0 or beyond kMaxCapacity, and std::bad_alloc when the
    // slots cannot be allocated: a queue without slots is never built.
    explicit CWorkQueue(unsigned capacity) : m_free(static_cast<std::ptrdiff_t>(CheckedCapacity(capacity)))
    {
        m_slots.resize(static_cast<size_t>(capacity) + 1);
        m_slot_count = capacity + 1;
    }
    CWorkQueue(const CWorkQueue&) = delete;
    CWorkQueue& operator=(const CWorkQueue&) = delete;

    // Appends an item, waiting while the queue is full. Put() does not look
    // at the closed flag. False when a wait or a release fails.
    bool Put(T item)
    {
        try {
            m_free.acquire();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_slots[m_write] = std::move(item);
                m_write = (m_write + 1) % m_slot_count;
            }
            m_items.release();
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // Takes the oldest item, waiting while the queue is empty and open.
    // False once the queue is closed and empty (or a wait or release fails).
    bool Get(T& item)
    {
        try {
            m_items.acquire();
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_read == m_write && m_closed.load()) {
                lock.unlock();
                // Hand the close wake-up on to the next waiting consumer.
                m_items.release();
                return false;
            }
            item = std::move(m_slots[m_read]);
            m_slots[m_read] = T();
            m_read = (m_read + 1) % m_slot_count;
            lock.unlock();
            m_free.release();
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // No more items will come: wakes one waiting consumer, which passes the
    // wake-up on once the queue is empty. Closing twice does nothing more.
    bool Close()
    {
        if (m_closed.exchange(true))
            return true;
        try {
            m_items.release();
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    bool IsClosed() const { return m_closed.load(); }

    // Closed and every item taken.
    bool IsDrained() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closed.load() && m_read == m_write;
    }

    unsigned Capacity() const { return m_slot_count - 1; }

private:
    static unsigned CheckedCapacity(unsigned capacity)
    {
        if (capacity == 0 || capacity > kMaxCapacity)
            throw std::length_error("work queue has no slots");
        return capacity;
    }

    std::counting_semaphore<kMaxCapacity> m_items{0};  // items ready to take
    std::counting_semaphore<kMaxCapacity> m_free;      // slots free for putting
    mutable std::mutex m_mutex;                        // guards the indices and the slots
    unsigned m_write = 0;                              // next slot to fill
    unsigned m_read = 0;                               // next slot to take
    // One slot more than the capacity, so a full ring never looks empty.
    std::vector<T> m_slots;
    unsigned m_slot_count = 0;
    std::atomic<bool> m_closed{false};  // only ever goes from false to true
};
