// The parallel frame encoder: writes recorded frames as PNG files on worker
// threads while the caller renders the next frame.
//
// Use, on one producer thread:
//   CMTEncoder encoder;                          // DefaultWorkerCount() workers; throws on failure
//   for each frame k:
//       TBitmap* frame = encoder.WorkingBitmap();   // 1280 x 720, render into it
//       encoder.Enqueue_Bitmap(frame, CMTEncoder::FrameFileName("frames", k).c_str());
//       for (auto& name : encoder.TakeFailures()) report name;
//   encoder.Synchronize();                       // every frame written, workers joined
//   report encoder.TakeFailures(), encoder.FailureCount();
//
// Enqueue_Bitmap() exchanges pixel buffers with a pool bitmap instead of
// copying, so the working bitmap's buffer changes with every call (the record
// stays the same); no pixel memory is allocated per frame. At most `workers`
// frames are queued or being written; Enqueue_Bitmap() blocks beyond that.
// Each worker turns its frame from read-back into picture order
// (image/bitmap.h) and writes it. A frame that cannot be written is not retried: its
// file name is collected for TakeFailures() and the recording goes on.
//
// Threads: construction, WorkingBitmap(), Enqueue_Bitmap(), Synchronize()
// and destruction belong to the producer thread; TakeFailures() and
// FailureCount() may be called from any thread. Workers touch only the
// bitmaps handed to them, the frame writer and the failure list, so the
// writer must be safe to call on several threads at once (WritePNG is).
#pragma once

#include "image/bitmap.h"
#include "image/png_file.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Writes one frame to a file; true when the file is complete.
using FrameWriter = std::function<bool(const char* file_name, const TBitmap* bitmap, bool rgb_order)>;

// The frame size unless the settings ask for another.
inline constexpr int32_t kDefaultFrameWidth = 1280;
inline constexpr int32_t kDefaultFrameHeight = 720;

struct EncoderSettings {
    bool flip_rows = true;  // turn frames from read-back into picture order
    bool rgb_order = true;  // pixel bytes are R, G, B, A (else B, G, R, A)
    FrameWriter writer;     // empty: WritePNG with `compression`
    int32_t width = kDefaultFrameWidth;  // frame size in pixels
    int32_t height = kDefaultFrameHeight;
    PngCompression compression = PngCompression::kFast;  // of the default writer
};

class CMTEncoder {
public:
    static constexpr int32_t kFrameWidth = kDefaultFrameWidth;
    static constexpr int32_t kFrameHeight = kDefaultFrameHeight;

    // Workers for `processors` processors, counted as at least 2, minus 1:
    // one worker on one or two processors.
    static unsigned WorkerCountFor(unsigned processors);
    // WorkerCountFor this machine's processors.
    static unsigned DefaultWorkerCount();
    // "<directory>/frame_%05u.png" for frame `index`.
    static std::string FrameFileName(const std::filesystem::path& directory, unsigned index);

    // Starts `workers` worker threads with one pool bitmap each, plus the
    // working bitmap. Throws std::length_error for 0 workers (a work queue
    // without slots), std::bad_alloc when the pool cannot be allocated and
    // std::runtime_error("queue Put() failed" / "thread Start() failed"),
    // std::invalid_argument for a frame size that is not positive.
    explicit CMTEncoder(unsigned workers = DefaultWorkerCount(), EncoderSettings settings = {});
    CMTEncoder(const CMTEncoder&) = delete;
    CMTEncoder& operator=(const CMTEncoder&) = delete;
    // Synchronizes; never throws and prints nothing. When the workers cannot
    // be joined it abandons the queues, bitmaps and threads rather than free
    // what they may still use; a caller that wants to know calls
    // Synchronize() first.
    ~CMTEncoder();

    // The bitmap to render the next frame into (the settings' size, R, G,
    // B, A, read-back order); null after a successful Synchronize().
    TBitmap* WorkingBitmap();

    // Hands the frame to the workers to be written to `file_name` (its
    // directory must exist), and gives the bitmap a free pixel
    // buffer in exchange. Blocks while every pool bitmap is busy. False when
    // the bitmap is not of the frame size, the encoder is synchronized, or a queue
    // fails; the caller's bitmap is then unchanged.
    bool Enqueue_Bitmap(TBitmap* bitmap, const char* file_name);

    // Waits until every queued frame has been written, joins the workers and
    // releases the pool. True once that is done; calling it again returns
    // true and does nothing. False when a worker cannot be joined: everything
    // is kept, and a later call tries the joins again.
    bool Synchronize();

    // File names of frames that could not be written since the last call.
    std::vector<std::string> TakeFailures();
    // Frames that could not be written since construction.
    size_t FailureCount() const;

    unsigned WorkerCount() const;  // workers not yet joined and removed
    bool FlipRows() const;
    bool RgbOrder() const;

    class CWorker;

private:
    struct State;
    std::unique_ptr<State> m_state;  // everything the workers share; on the heap so it can be abandoned
};
