#include "threads/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

namespace {

using namespace std::chrono_literals;

// Counts its runs; a run waits until the gate opens when one is set.
struct CountingRunable : CRunable {
    std::atomic<int> runs{0};
    std::shared_future<void> gate;
    void Run() override
    {
        if (gate.valid())
            gate.wait();
        ++runs;
    }
};

TEST(Thread, RunsTheAttachedRunableAndRestartsAfterItEnded)
{
    CThread thread;
    EXPECT_EQ(thread.Runable(), &CThread::CEmptyRunable::Shared());
    EXPECT_TRUE(thread.Stop());   // nothing started: succeeds at once
    EXPECT_TRUE(thread.Start());  // the empty runnable
    EXPECT_TRUE(thread.Stop());

    CountingRunable r;
    ASSERT_TRUE(thread.AttachRunable(&r));
    ASSERT_TRUE(thread.Start());
    while (thread.IsRunning())
        std::this_thread::yield();
    EXPECT_TRUE(thread.HasThread());  // ended but not joined
    ASSERT_TRUE(thread.Start());      // the ended thread is released, a new one runs
    EXPECT_TRUE(thread.Stop());
    EXPECT_FALSE(thread.HasThread());
    EXPECT_EQ(r.runs.load(), 2);
}

TEST(Thread, RunningThreadRefusesStartAndAttachAndIsLeftAlone)
{
    std::promise<void> open;
    CountingRunable r, other;
    r.gate = open.get_future().share();
    CThread thread;
    ASSERT_TRUE(thread.AttachRunable(&r));
    ASSERT_TRUE(thread.Start());
    EXPECT_FALSE(thread.Start());
    EXPECT_FALSE(thread.AttachRunable(&other));
    EXPECT_EQ(thread.Runable(), &r);
    EXPECT_TRUE(thread.IsRunning());
    open.set_value();
    EXPECT_TRUE(thread.Stop());
    EXPECT_EQ(r.runs.load(), 1);
    EXPECT_EQ(other.runs.load(), 0);
    EXPECT_TRUE(thread.AttachRunable(nullptr));
    EXPECT_EQ(thread.Runable(), &CThread::CEmptyRunable::Shared());
}

// A thread cannot join itself: Stop() fails and keeps the thread, which a
// later Stop() from outside joins.
struct SelfStopper : CRunable {
    CThread* thread = nullptr;
    std::shared_future<void> started;
    std::atomic<int> result{-1};
    void Run() override
    {
        started.wait();
        result = thread->Stop() ? 1 : 0;
    }
};

TEST(Thread, StopFromItsOwnThreadFailsAndKeepsTheThread)
{
    CThread thread;
    SelfStopper r;
    std::promise<void> started;
    r.thread = &thread;
    r.started = started.get_future().share();
    ASSERT_TRUE(thread.AttachRunable(&r));
    ASSERT_TRUE(thread.Start());
    started.set_value();
    while (r.result.load() < 0)
        std::this_thread::yield();
    EXPECT_EQ(r.result.load(), 0);
    EXPECT_TRUE(thread.HasThread());
    EXPECT_TRUE(thread.Stop());
    EXPECT_FALSE(thread.HasThread());
}

struct Recorder : CRunable_Thread_ShallowCopy {
    int id = 0;
    std::atomic<const Recorder*> ran{nullptr};
    std::shared_future<void> gate;
    Recorder() = default;
    Recorder(const Recorder& o) : CRunable_Thread_ShallowCopy(o), id(o.id), gate(o.gate) {}
    Recorder& operator=(const Recorder& o)
    {
        CRunable_Thread_ShallowCopy::operator=(o);
        id = o.id;
        gate = o.gate;
        return *this;
    }
    void Run() override
    {
        if (gate.valid())
            gate.wait();
        ran = this;
    }
};

TEST(RunableThreadShallowCopy, CopyGetsAnIdleThreadOfItsOwnAndRunsItself)
{
    std::promise<void> open;
    Recorder source;
    source.id = 7;
    source.gate = open.get_future().share();
    ASSERT_TRUE(source.Start());

    Recorder copy(source);  // copied while the source runs
    EXPECT_EQ(copy.id, 7);
    EXPECT_FALSE(copy.Thread().HasThread());
    EXPECT_EQ(copy.Thread().Runable(), &copy);
    EXPECT_EQ(source.Thread().Runable(), &source);

    Recorder assigned;
    assigned = source;
    EXPECT_EQ(assigned.id, 7);
    EXPECT_FALSE(assigned.Thread().HasThread());
    EXPECT_EQ(assigned.Thread().Runable(), &assigned);

    ASSERT_TRUE(copy.Start());  // not refused although the source still runs
    ASSERT_TRUE(assigned.Start());
    open.set_value();
    EXPECT_TRUE(copy.Stop());
    EXPECT_TRUE(assigned.Stop());
    EXPECT_TRUE(source.Stop());
    EXPECT_EQ(copy.ran.load(), &copy);
    EXPECT_EQ(assigned.ran.load(), &assigned);
    EXPECT_EQ(source.ran.load(), &source);
}

}  // namespace
