// Frame encoder. Sections: shared state, worker loop, construction and
// destruction, producer operations.
#include "threads/mt_encoder.h"

#include "core/report.h"
#include "image/png_file.h"
#include "threads/thread.h"
#include "threads/work_queue.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

// A frame goes to a temporary name first, so one under its own name is
// always whole, even after a full disk or a kill in the middle. Only a
// regular file (or none) is replaced: a device or a directory in a frame's
// place is refused, not renamed over.
bool WriteFramePNG(const char* file_name, const TBitmap* bitmap, bool rgb_order, PngCompression compression)
{
    return SavePNG(file_name, bitmap, rgb_order, compression).ok;
}

// A frame on its way to a worker, or a free pool bitmap (empty name).
struct Job {
    TBitmap* bitmap = nullptr;
    std::string file_name;
};

using JobQueue = CWorkQueue<Job>;

// A worker that cannot reach its queues any more would leave the producer
// blocked for ever; the process ends with the reason instead.
[[noreturn]] void Fatal(const char* message)
{
    PrintError(message);
    std::abort();
}

}  // namespace

// --- shared state ----------------------------------------------------------

class CMTEncoder::CWorker : public CRunable_Thread_ShallowCopy {
public:
    explicit CWorker(State& state);
    void Run() override;

private:
    JobQueue* m_jobs;  // frames to write
    JobQueue* m_free;  // where written bitmaps go back
    State* m_encoder;  // flags, writer and failure list
};

struct CMTEncoder::State {
    State(unsigned worker_count, EncoderSettings settings)
        : jobs(worker_count), free(worker_count), flip_rows(settings.flip_rows), rgb_order(settings.rgb_order),
          writer(settings.writer ? std::move(settings.writer)
                                 : FrameWriter([compression = settings.compression](const char* file,
                                                                                    const TBitmap* bitmap, bool rgb) {
                                       return WriteFramePNG(file, bitmap, rgb, compression);
                                   })), width(settings.width),
          height(settings.height)
    {}

    ~State()
    {
        for (TBitmap* b : bitmaps)
            b->Destroy();
    }

    void RecordFailure(const std::string& file_name)
    {
        std::lock_guard<std::mutex> lock(failure_mutex);
        pending_failures.push_back(file_name);
        ++failure_count;
    }

    JobQueue jobs;                  // frames waiting to be written
    JobQueue free;                  // pool bitmaps not in use
    std::vector<CWorker> workers;   // one per worker thread
    std::vector<TBitmap*> bitmaps;  // every pool bitmap; the last is the producer's working bitmap
    const bool flip_rows;
    const bool rgb_order;
    const FrameWriter writer;
    const int32_t width, height;  // frame size
    bool synchronized = false;   // workers joined and removed, pool released

    mutable std::mutex failure_mutex;  // guards the two below
    std::vector<std::string> pending_failures;
    size_t failure_count = 0;
};

// --- worker loop -----------------------------------------------------------

CMTEncoder::CWorker::CWorker(State& state) : m_jobs(&state.jobs), m_free(&state.free), m_encoder(&state)
{}

void CMTEncoder::CWorker::Run()
{
    Job job;
    while (m_jobs->Get(job)) {
        if (m_encoder->flip_rows)
            job.bitmap->FlipVertical();
        bool written = false;
        try {
            written = m_encoder->writer(job.file_name.c_str(), job.bitmap, m_encoder->rgb_order);
        } catch (...) {
            written = false;
        }
        if (!written)
            m_encoder->RecordFailure(job.file_name);
        job.file_name.clear();
        if (!m_free->Put(std::move(job)))
            Fatal("work queue Put() failed");
        job = Job();
    }
    if (!m_jobs->IsDrained())
        Fatal("work queue Get() failed");
}

// --- construction and destruction ------------------------------------------

unsigned CMTEncoder::WorkerCountFor(unsigned processors)
{
    return (processors < 2 ? 2 : processors) - 1;
}

unsigned CMTEncoder::DefaultWorkerCount()
{
    return WorkerCountFor(std::thread::hardware_concurrency());
}

std::string CMTEncoder::FrameFileName(const std::filesystem::path& directory, unsigned index)
{
    char name[64];
    std::snprintf(name, sizeof name, "frame_%05u.png", index);
    return (directory / name).string();
}

CMTEncoder::CMTEncoder(unsigned workers, EncoderSettings settings)
    : m_state(std::make_unique<State>(workers, std::move(settings)))
{
    State& s = *m_state;
    if (s.width <= 0 || s.height <= 0)
        throw std::invalid_argument("frame size " + std::to_string(s.width) + " x " + std::to_string(s.height));
    // Copies of one prototype: each gets its own thread, bound to itself.
    s.workers.assign(workers, CWorker(s));
    s.bitmaps.reserve(size_t(workers) + 1);
    for (unsigned i = 0; i <= workers; ++i) {
        TBitmap* b = TBitmap::Create(s.width, s.height, false, false, 8);
        if (!b)
            throw std::bad_alloc();
        s.bitmaps.push_back(b);
        if (i < workers && !s.free.Put(Job{b, {}}))
            throw std::runtime_error("queue Put() failed");
    }
    for (CWorker& w : s.workers) {
        if (!w.Start()) {
            s.jobs.Close();
            bool joined = true;
            for (CWorker& started : s.workers)
                joined = started.Stop() && joined;
            if (!joined)
                (void)m_state.release();  // a worker may still use it
            throw std::runtime_error("thread Start() failed");
        }
    }
}

CMTEncoder::~CMTEncoder()
{
    if (!m_state || Synchronize())
        return;
    // Workers still hold the queues and bitmaps: leave them alive. The
    // caller hears of it from its own Synchronize().
    (void)m_state.release();
}

// --- producer operations ---------------------------------------------------

TBitmap* CMTEncoder::WorkingBitmap()
{
    return m_state->bitmaps.empty() ? nullptr : m_state->bitmaps.back();
}

bool CMTEncoder::Enqueue_Bitmap(TBitmap* bitmap, const char* file_name)
{
    State& s = *m_state;
    if (!bitmap || !bitmap->pixels || !file_name || bitmap->width != s.width || bitmap->height != s.height ||
        s.synchronized || s.jobs.IsClosed())
        return false;

    Job job;
    if (!s.free.Get(job))
        return false;
    TBitmap* pool = job.bitmap;
    pool->bits_per_channel = bitmap->bits_per_channel;
    pool->greyscale = bitmap->greyscale;
    pool->has_alpha = bitmap->has_alpha;
    if (pool != bitmap)
        std::swap(pool->pixels, bitmap->pixels);
    job.file_name = file_name;
    return s.jobs.Put(std::move(job));
}

bool CMTEncoder::Synchronize()
{
    State& s = *m_state;
    if (s.synchronized)
        return true;
    s.jobs.Close();
    bool joined = true;
    for (CWorker& w : s.workers)
        joined = w.Stop() && joined;
    if (!joined)
        return false;
    s.workers.clear();
    for (TBitmap* b : s.bitmaps)
        b->Destroy();
    s.bitmaps.clear();
    s.synchronized = true;
    return true;
}

std::vector<std::string> CMTEncoder::TakeFailures()
{
    std::lock_guard<std::mutex> lock(m_state->failure_mutex);
    return std::exchange(m_state->pending_failures, {});
}

size_t CMTEncoder::FailureCount() const
{
    std::lock_guard<std::mutex> lock(m_state->failure_mutex);
    return m_state->failure_count;
}

unsigned CMTEncoder::WorkerCount() const
{
    return unsigned(m_state->workers.size());
}
bool CMTEncoder::FlipRows() const
{
    return m_state->flip_rows;
}
bool CMTEncoder::RgbOrder() const
{
    return m_state->rgb_order;
}
