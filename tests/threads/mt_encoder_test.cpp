#include "threads/mt_encoder.h"

#include "support/scratch_dir.h"

#include "image/png_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <set>
#include <unistd.h>
#include <signal.h>
#include <sys/resource.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int W = CMTEncoder::kFrameWidth, H = CMTEncoder::kFrameHeight;

using testsupport::ScratchDir;

// Every pixel a function of its position and the seed; rows all differ.
uint32_t PatternPixel(int x, int y, unsigned seed)
{
    return PackRGBA(uint8_t(x + seed), uint8_t(y), uint8_t(x / 5 + y / 3 + seed * 7), uint8_t(200 + seed));
}

void Fill(TBitmap& b, unsigned seed)
{
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            b.Row(y)[x] = PatternPixel(x, y, seed);
}

// The writer's calls in the order the workers made them, passed on to WritePNG.
struct WriteLog {
    std::mutex mutex;
    std::vector<std::string> names;
    std::vector<const uint32_t*> buffers;
    FrameWriter Writer()
    {
        return [this](const char* name, const TBitmap* b, bool rgb) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                names.push_back(name);
                buffers.push_back(b->pixels);
            }
            return WritePNG(name, b, rgb);
        };
    }
};

TEST(MTEncoder, OneWorkerWritesFramesInEnqueueOrderWithoutCopying)
{
    ScratchDir dir;
    WriteLog log;
    CMTEncoder encoder(1, {.writer = log.Writer()});
    EXPECT_EQ(encoder.WorkerCount(), 1u);
    TBitmap* frame = encoder.WorkingBitmap();
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(frame->width, W);
    ASSERT_EQ(frame->height, H);

    std::vector<std::string> names;
    std::vector<const uint32_t*> handed;
    for (unsigned k = 0; k < 6; ++k) {
        std::fill(frame->pixels, frame->pixels + size_t(W) * H, PackRGBA(uint8_t(k * 40), 1, 2, 255));
        names.push_back(dir.File("frame_" + std::to_string(k) + ".png"));
        handed.push_back(frame->pixels);
        ASSERT_TRUE(encoder.Enqueue_Bitmap(frame, names.back().c_str()));
        EXPECT_EQ(encoder.WorkingBitmap(), frame);  // same record, another buffer
        EXPECT_NE(frame->pixels, handed.back());
    }
    ASSERT_TRUE(encoder.Synchronize());
    EXPECT_EQ(log.names, names);
    EXPECT_EQ(log.buffers, handed);  // the rendered buffer itself reached the writer
    EXPECT_EQ(std::set<const uint32_t*>(handed.begin(), handed.end()).size(), 2u);  // n + 1 buffers circulate
    for (unsigned k = 0; k < names.size(); ++k) {
        BitmapPtr png(ReadPNG(names[k].c_str()));
        ASSERT_TRUE(png) << names[k];
        EXPECT_EQ(png->Row(H / 2)[W / 2], PackRGBA(uint8_t(k * 40), 1, 2, 255)) << names[k];
    }
    EXPECT_EQ(encoder.FailureCount(), 0u);
}

struct Layout {
    bool flip_rows, rgb_order;
};

TEST(MTEncoder, WrittenFramesAreFlippedAndInTheGivenColourOrder)
{
    for (Layout l : {Layout{true, true}, Layout{true, false}, Layout{false, true}}) {
        SCOPED_TRACE(testing::Message() << "flip " << l.flip_rows << " rgb " << l.rgb_order);
        ScratchDir dir;
        const std::string name = dir.File("f.png");
        {
            CMTEncoder encoder(1, {.flip_rows = l.flip_rows, .rgb_order = l.rgb_order});
            EXPECT_EQ(encoder.FlipRows(), l.flip_rows);
            EXPECT_EQ(encoder.RgbOrder(), l.rgb_order);
            Fill(*encoder.WorkingBitmap(), 3);
            ASSERT_TRUE(encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), name.c_str()));
            ASSERT_TRUE(encoder.Synchronize());
        }
        BitmapPtr png(ReadPNG(name.c_str()));
        ASSERT_TRUE(png);
        ASSERT_EQ(png->width, W);
        ASSERT_EQ(png->height, H);
        EXPECT_FALSE(png->has_alpha);
        int wrong = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t p = PatternPixel(x, l.flip_rows ? H - 1 - y : y, 3);
                uint8_t r = uint8_t(p), g = uint8_t(p >> 8), b = uint8_t(p >> 16);
                uint32_t expected = l.rgb_order ? PackRGBA(r, g, b, 255) : PackRGBA(b, g, r, 255);
                if (png->Row(y)[x] != expected && wrong++ == 0)
                    ADD_FAILURE() << "pixel (" << x << "," << y << ")";
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(MTEncoder, EnqueueBlocksWhileEveryPoolBitmapIsBusy)
{
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::atomic<int> written{0};
    CMTEncoder encoder(1, {.writer = [&](const char*, const TBitmap*, bool) {
                           gate.wait();
                           ++written;
                           return true;
                       }});
    ASSERT_TRUE(encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), "a"));
    auto second = std::async(std::launch::async, [&] { return encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), "b"); });
    EXPECT_EQ(second.wait_for(100ms), std::future_status::timeout);
    open.set_value();
    ASSERT_EQ(second.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(second.get());
    EXPECT_TRUE(encoder.Synchronize());
    EXPECT_EQ(written.load(), 2);
}

TEST(MTEncoder, SynchronizeTwiceSucceedsAndEndsTheRecording)
{
    std::atomic<int> written{0};
    CMTEncoder encoder(2, {.writer = [&](const char*, const TBitmap*, bool) { return ++written, true; }});
    EXPECT_EQ(encoder.WorkerCount(), 2u);
    for (int k = 0; k < 5; ++k)
        ASSERT_TRUE(encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), "x"));
    EXPECT_TRUE(encoder.Synchronize());
    EXPECT_EQ(written.load(), 5);  // every queued frame written before it returns
    EXPECT_EQ(encoder.WorkerCount(), 0u);
    EXPECT_EQ(encoder.WorkingBitmap(), nullptr);
    EXPECT_TRUE(encoder.Synchronize());
    BitmapPtr own(TBitmap::Create(W, H, false, false, 8));
    EXPECT_FALSE(encoder.Enqueue_Bitmap(own.get(), "late"));  // the pool is gone
}

TEST(MTEncoder, RefusesFramesOfAnotherSize)
{
    CMTEncoder encoder(1, {.writer = [](const char*, const TBitmap*, bool) { return true; }});
    for (auto [w, h] : {std::pair{W, H - 1}, std::pair{W - 1, H}, std::pair{H, W}}) {
        BitmapPtr b(TBitmap::Create(w, h, false, false, 8));
        uint32_t* before = b->pixels;
        EXPECT_FALSE(encoder.Enqueue_Bitmap(b.get(), "x")) << w << "x" << h;
        EXPECT_EQ(b->pixels, before);
    }
    EXPECT_FALSE(encoder.Enqueue_Bitmap(nullptr, "x"));
    EXPECT_FALSE(encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), nullptr));
}

TEST(MTEncoder, FramesThatCannotBeWrittenAreReportedByNameAndTheRestAreWritten)
{
    ScratchDir dir;
    fs::create_directories(dir.File("out"));  // the caller makes the directory
    std::ofstream(dir.File("plain_file")) << "not a directory";
    const std::string good0 = dir.File("out/good0.png"), good1 = dir.File("out/good1.png"),
                      good2 = dir.File("out/good2.png");
    // Fails even for root: a directory cannot be made under a regular file.
    const std::string under_file = dir.File("plain_file/frames/frame_00001.png");
    const std::string library_error = dir.File("out/library_error.png");
    std::vector<std::string> names{good0, under_file, good1, library_error, good2};
    std::vector<std::string> expected_failures{under_file, library_error};
    if (fs::exists("/dev/full")) {  // every write fails: a full disk
        names.push_back("/dev/full");
        expected_failures.push_back("/dev/full");
    }

    CMTEncoder encoder(2, {.writer = [&](const char* name, const TBitmap* b, bool rgb) {
                           if (name == library_error)
                               throw std::runtime_error("simulated libpng error");
                           return WritePNG(name, b, rgb);
                       }});
    std::vector<std::string> reported;
    for (const std::string& name : names) {
        ASSERT_TRUE(encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), name.c_str())) << name;
        for (std::string& f : encoder.TakeFailures())
            reported.push_back(std::move(f));
    }
    ASSERT_TRUE(encoder.Synchronize());
    for (std::string& f : encoder.TakeFailures())
        reported.push_back(std::move(f));
    std::sort(reported.begin(), reported.end());
    std::sort(expected_failures.begin(), expected_failures.end());
    EXPECT_EQ(reported, expected_failures);
    EXPECT_EQ(encoder.FailureCount(), expected_failures.size());
    EXPECT_TRUE(encoder.TakeFailures().empty());
    for (const std::string& good : {good0, good1, good2}) {
        BitmapPtr png(ReadPNG(good.c_str()));
        EXPECT_TRUE(png) << good;
    }
}

TEST(MTEncoder, FrameNamesAndWorkerCounts)
{
    EXPECT_EQ(CMTEncoder::FrameFileName("frames", 0), "frames/frame_00000.png");
    EXPECT_EQ(CMTEncoder::FrameFileName("out/a", 123456), "out/a/frame_123456.png");
    // One fewer worker than processors, at least one.
    const unsigned cases[][2] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {8, 7}, {64, 63}};
    for (const auto& c : cases)
        EXPECT_EQ(CMTEncoder::WorkerCountFor(c[0]), c[1]) << c[0] << " processors";
}

// In a child process under a file size limit that stands for a full disk:
// exits 0 when the frame failed and nothing is left under its name or a
// temporary one.
void WriteFrameUnderFileLimit(const fs::path& dir)
{
    signal(SIGXFSZ, SIG_IGN);  // an oversized write fails instead of ending the process
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = 1 << 10;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        std::exit(2);
    const std::string name = (dir / "frame_00000.png").string();
    size_t failures = 0;
    {
        CMTEncoder encoder(1);
        Fill(*encoder.WorkingBitmap(), 5);  // far more than 1 KiB compressed
        encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), name.c_str());
        encoder.Synchronize();
        failures = encoder.FailureCount();
    }
    std::exit(failures == 1 && fs::is_empty(dir) ? 0 : 1);
}

TEST(MTEncoderDeathTest, AFrameThatCannotBeWrittenWholeLeavesNoFile)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchDir dir;
    EXPECT_EXIT(WriteFrameUnderFileLimit(dir.Path()), testing::ExitedWithCode(0), "");
}

TEST(MTEncoder, ADeviceInAFramesPlaceIsRefusedNotReplaced)
{
    if (!fs::exists("/dev/null"))
        GTEST_SKIP() << "no /dev/null";
    CMTEncoder encoder(1);
    ASSERT_TRUE(encoder.Enqueue_Bitmap(encoder.WorkingBitmap(), "/dev/null"));
    ASSERT_TRUE(encoder.Synchronize());
    EXPECT_EQ(encoder.FailureCount(), 1u);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_FALSE(fs::exists("/dev/null.part"));
}

TEST(MTEncoder, ConstructionWithoutWorkersFails)
{
    EXPECT_THROW(CMTEncoder(0), std::length_error);
}

// Synchronize() called on a worker cannot join that worker. It must say so,
// and a later call must still join it before reporting success, although
// the queue is by then closed and drained.
TEST(MTEncoder, SynchronizeAfterAFailedJoinStillJoinsBeforeSucceeding)
{
    std::unique_ptr<CMTEncoder> encoder;
    std::promise<bool> inner;
    std::atomic<int> writes{0};
    encoder = std::make_unique<CMTEncoder>(1, EncoderSettings{.writer = [&](const char*, const TBitmap*, bool) {
                                               if (writes++ == 0)
                                                   inner.set_value(encoder->Synchronize());
                                               return true;
                                           }});
    ASSERT_TRUE(encoder->Enqueue_Bitmap(encoder->WorkingBitmap(), "a"));
    auto result = inner.get_future();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(result.get());
    EXPECT_EQ(encoder->WorkerCount(), 1u);  // kept after the failed join
    EXPECT_NE(encoder->WorkingBitmap(), nullptr);
    EXPECT_TRUE(encoder->Synchronize());
    EXPECT_EQ(encoder->WorkerCount(), 0u);
    EXPECT_EQ(encoder->WorkingBitmap(), nullptr);
    EXPECT_TRUE(encoder->Synchronize());
    EXPECT_EQ(writes.load(), 1);
}

// Destroyed on its own worker, the encoder cannot join; it abandons its
// state quietly and the process goes on (no std::terminate), the worker
// finishing its frame. The abandoned state is leaked on purpose: freeing it
// would pull it from under the running worker. The sanitizer build's leak
// checker is told so for this encoder's allocations alone.
TEST(MTEncoder, DestructorThatCannotJoinDoesNotTerminate)
{
    std::unique_ptr<CMTEncoder> encoder;
    std::promise<void> go, destroyed;
    std::shared_future<void> go_signal = go.get_future().share();
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();  // the state this encoder allocates is leaked by design
#endif
    encoder = std::make_unique<CMTEncoder>(1, EncoderSettings{.writer = [&](const char*, const TBitmap*, bool) {
                                               go_signal.wait();
                                               encoder.reset();
                                               destroyed.set_value();
                                               return true;
                                           }});
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    testing::internal::CaptureStderr();
    ASSERT_TRUE(encoder->Enqueue_Bitmap(encoder->WorkingBitmap(), "a"));
    go.set_value();
    ASSERT_EQ(destroyed.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_EQ(encoder, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
