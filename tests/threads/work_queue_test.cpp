#include "threads/work_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Long enough for a blocked call to show it is blocked; a call that should
// finish gets far longer, so a hang fails the test instead of stalling it.
constexpr auto kBlocked = 100ms;
constexpr auto kFinishes = 10s;

template <typename F>
auto Async(F f)
{
    return std::async(std::launch::async, std::move(f));
}

TEST(WorkQueue, CapacityOneBlocksTheSecondPutUntilAGet)
{
    CWorkQueue<int> q(1);
    EXPECT_EQ(q.Capacity(), 1u);
    ASSERT_TRUE(q.Put(1));
    auto second = Async([&] { return q.Put(2); });
    EXPECT_EQ(second.wait_for(kBlocked), std::future_status::timeout);
    int item = 0;
    ASSERT_TRUE(q.Get(item));
    EXPECT_EQ(item, 1);
    ASSERT_EQ(second.wait_for(kFinishes), std::future_status::ready);
    EXPECT_TRUE(second.get());
    ASSERT_TRUE(q.Get(item));
    EXPECT_EQ(item, 2);
}

TEST(WorkQueue, GetBlocksWhileEmptyAndOpen)
{
    CWorkQueue<int> q(2);
    auto get = Async([&] {
        int item = 0;
        return q.Get(item) ? item : -1;
    });
    EXPECT_EQ(get.wait_for(kBlocked), std::future_status::timeout);
    ASSERT_TRUE(q.Put(5));
    ASSERT_EQ(get.wait_for(kFinishes), std::future_status::ready);
    EXPECT_EQ(get.get(), 5);
}

TEST(WorkQueue, CloseWakesEveryWaitingConsumer)
{
    CWorkQueue<int> q(4);
    std::vector<std::future<bool>> consumers;
    for (int i = 0; i < 3; ++i)
        consumers.push_back(Async([&] {
            int item = 0;
            return q.Get(item);
        }));
    for (auto& c : consumers)
        EXPECT_EQ(c.wait_for(kBlocked), std::future_status::timeout);
    EXPECT_FALSE(q.IsDrained());
    q.Close();
    int stuck = 0;
    for (auto& c : consumers)
        if (c.wait_for(kFinishes) != std::future_status::ready)
            ++stuck;
        else
            EXPECT_FALSE(c.get());
    EXPECT_EQ(stuck, 0);
    for (int i = 0; i < stuck; ++i)  // let the test end rather than hang
        q.Put(0);
    if (stuck)
        return;
    EXPECT_TRUE(q.IsDrained());
    int item = 0;
    EXPECT_FALSE(q.Get(item));  // later consumers leave at once too
}

TEST(WorkQueue, ItemsLeftAtCloseAreStillTakenInOrder)
{
    CWorkQueue<std::string> q(3);
    ASSERT_TRUE(q.Put("a"));
    ASSERT_TRUE(q.Put("b"));
    q.Close();
    q.Close();  // a second close adds no wake-up that could lose an item
    EXPECT_TRUE(q.IsClosed());
    EXPECT_FALSE(q.IsDrained());
    std::string item;
    ASSERT_TRUE(q.Get(item));
    EXPECT_EQ(item, "a");
    ASSERT_TRUE(q.Get(item));
    EXPECT_EQ(item, "b");
    EXPECT_TRUE(q.IsDrained());
    EXPECT_FALSE(q.Get(item));
    EXPECT_FALSE(q.Get(item));
}

TEST(WorkQueue, KeepsOrderAcrossManyWrapArounds)
{
    CWorkQueue<int> q(3);
    int next_in = 0, next_out = 0;
    for (int round = 0; round < 20; ++round) {
        for (int k = 0; k < 1 + round % 3; ++k)
            ASSERT_TRUE(q.Put(next_in++));
        while (next_out < next_in) {
            int item = -1;
            ASSERT_TRUE(q.Get(item));
            ASSERT_EQ(item, next_out++);
        }
    }
}

TEST(WorkQueue, ManyProducersAndConsumersMoveEveryItemExactlyOnce)
{
    constexpr int kProducers = 4, kConsumers = 3, kPerProducer = 2000;
    CWorkQueue<int> q(2);
    std::vector<std::future<std::vector<int>>> consumers;
    for (int c = 0; c < kConsumers; ++c)
        consumers.push_back(Async([&] {
            std::vector<int> got;
            int item = 0;
            while (q.Get(item))
                got.push_back(item);
            return got;
        }));
    std::vector<std::future<bool>> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.push_back(Async([&, p] {
            bool ok = true;
            for (int i = 0; i < kPerProducer; ++i)
                ok = q.Put(p * kPerProducer + i) && ok;
            return ok;
        }));
    for (auto& p : producers) {
        ASSERT_EQ(p.wait_for(kFinishes), std::future_status::ready);
        EXPECT_TRUE(p.get());
    }
    q.Close();
    std::vector<int> seen(kProducers * kPerProducer, 0);
    for (auto& c : consumers) {
        ASSERT_EQ(c.wait_for(kFinishes), std::future_status::ready);
        std::vector<int> last(kProducers, -1);
        for (int item : c.get()) {
            ++seen[size_t(item)];
            // Each consumer sees one producer's items in the order put.
            EXPECT_GT(item, last[size_t(item / kPerProducer)]);
            last[size_t(item / kPerProducer)] = item;
        }
    }
    for (size_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], 1) << "item " << i;
}

// Fails to construct after a few slots, as an allocation would.
struct ScarceItem {
    static inline int budget = 0;
    ScarceItem()
    {
        if (--budget < 0)
            throw std::bad_alloc();
    }
};

TEST(WorkQueue, IsNeverBuiltWithoutSlots)
{
    for (unsigned capacity : {0u, CWorkQueue<int>::kMaxCapacity + 1, 0xFFFFFFFFu})
        EXPECT_THROW(CWorkQueue<int>{capacity}, std::length_error) << capacity;
    ScarceItem::budget = 3;
    EXPECT_THROW(CWorkQueue<ScarceItem>{8}, std::bad_alloc);
    ScarceItem::budget = 9;
    EXPECT_NO_THROW(CWorkQueue<ScarceItem>{8});
}

}  // namespace
