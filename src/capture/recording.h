// The offline recording (key v): renders the camera animation frame by
// frame at 23.976 frames per second into 1280 x 720 images and writes them
// as "frames/frame_%05u.png" under the working directory, compressing on
// the frame encoder's worker threads while the next frame renders.
//
// RecordFrames runs the whole command once the caller knows the frame count
// and how to draw a frame: it creates the directory, starts the encoder,
// calls `start` (playback from time 0), renders frame k at
// t = k / kRecordingFramesPerSecond into the encoder's working bitmap and
// hands it over, then waits for the workers and prints "\ndone\n".
//
// The progress sink gets "rendering frame %u / %u\r" per frame and the
// final "done". Every failure is passed to `report` as it happens, with the
// reason: an encoder that cannot start, a directory that cannot be created
// (nothing is rendered then), every frame that cannot be written (with its
// file name; the recording goes on), a frame the encoder refuses, a render
// target that cannot be made (the recording stops there), workers that
// cannot be joined, and at the end the number of frames that failed, so no
// frame is ever silently missing. GL thread only.
#pragma once

#include "capture/frame_request.h"
#include "core/status.h"
#include "math/camera_animation.h"
#include "threads/mt_encoder.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Where rendered frames go instead of the encoder's PNG files (a video,
// say): frame k's bitmap, in read-back order (image/bitmap.h); a failure
// stops the recording.
using FrameSink = std::function<Status(const TBitmap& frame, unsigned k)>;

struct RecordingSettings {
    std::filesystem::path directory = "frames";  // created when missing
    unsigned workers = 0;                        // 0: CMTEncoder::DefaultWorkerCount()
    int samples = -1;                            // -1: FramebufferSampleCount()
    FrameWriter writer;                          // empty: WritePNG with `compression`
    PngCompression compression = PngCompression::kFast;
    int width = CMTEncoder::kFrameWidth;         // frame size in pixels
    int height = CMTEncoder::kFrameHeight;
    unsigned first = 0;                          // frames first .. frames - 1 only, named by number
    FrameSink sink;                              // empty: PNG files through the encoder
    std::FILE* progress = stdout;                // progress and "done" lines; null: none
    std::function<void(const std::string& reason)> report;  // each failure as it happens; empty: none
    std::function<void(unsigned done, unsigned count)> on_frame;  // after each frame handed over
    // Asked before each frame; true stops the recording there, after the
    // frame in progress, with every frame handed over still written.
    std::function<bool()> stop;
};

struct RecordingResult {
    Status status;              // failed when any frame asked for is not on disk
    bool started = false;       // the encoder ran and the directory exists
    unsigned frames = 0;        // frames asked for (first .. the count)
    unsigned rendered = 0;      // frames rendered and handed to the encoder
    size_t failed = 0;          // frames asked for (up to a stop) that are not on disk
    bool synchronized = false;  // every worker was joined
    bool stopped = false;       // `stop` ended it before the last frame
    unsigned end = 0;           // one past the last frame number handed over or tried
};

// Numbers of the recorded frames ("frame_NNNNN.png") in `directory`,
// ascending; empty when there are none or it cannot be read.
std::vector<unsigned> RecordedFramesIn(const std::filesystem::path& directory);

// Records frames settings.first .. frames - 1 of an animation of `frames`
// frames. `start` is called once, right before the first (may be empty).
RecordingResult RecordFrames(unsigned frames, const std::function<void()>& start, const FrameDraws& draws,
                             const RecordingSettings& settings = {});
