// The offline recording (key v): renders the camera animation frame by
// frame at 23.976 frames per second into 1280 x 720 images and writes them
// as "frames/frame_%05u.png" under the working directory, compressing on
// the frame encoder's worker threads while the next frame renders.
//
// RecordFrames runs the whole command once the caller knows the frame count
// and how to draw frame time t: it starts the encoder, reshapes the view to
// the frame size, calls `start` (playback from time 0), renders frame k at
// t = k / kRecordingFramesPerSecond into the encoder's working bitmap and
// hands it over, then restores the view, waits for the workers and prints
// "\ndone\n".
//
// Standard output gets the progress line "rendering frame %u / %u\r" per
// frame and the final "done". Standard error gets one "error: " line for:
// an encoder that cannot start, an output directory that cannot be created
// (nothing is rendered then), every frame that cannot be written (with its
// file name; the recording goes on), a frame the encoder refuses, a render
// target that cannot be made (the recording stops there), workers that
// cannot be joined, and at the end the number of frames that failed, so no
// frame is ever silently missing. GL thread only.
#pragma once

#include "app/shell_state.h"
#include "math/camera_animation.h"
#include "threads/mt_encoder.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

// Encoder workers for a machine with `processors` processors: counted as at
// least 2, minus 1, so one worker on one or two processors.
unsigned RecordingWorkerCount(unsigned processors);

// "<directory>/frame_%05u.png" for frame k.
std::string RecordedFrameName(const std::filesystem::path& directory, unsigned k);

struct RecordingSettings {
    std::filesystem::path directory = "frames";  // created when missing
    unsigned workers = 0;                        // 0: RecordingWorkerCount(processors)
    int samples = -1;                            // -1: FramebufferSampleCount()
    FrameWriter writer;                          // empty: WritePNG
    std::FILE* progress = stdout;                // progress and "done" lines; null: none
    // Draws only the screen copies of frame time t, for the single-sample
    // pass of a multisampled frame; empty: the whole frame is drawn there.
    std::function<void(double t)> render_scene_copies;
};

struct RecordingResult {
    bool started = false;       // the encoder ran and the directory exists
    unsigned frames = 0;        // frames asked for
    unsigned rendered = 0;      // frames rendered and handed to the encoder
    size_t failed = 0;          // frames asked for that are not on disk
    bool synchronized = false;  // every worker was joined
};

// Records `frames` frames. `start` is called once, right before frame 0
// (may be empty); render_frame(t) draws the whole frame at time t into the
// bound framebuffer.
RecordingResult RecordFrames(ShellState& state, unsigned frames, const std::function<void()>& start,
                             const std::function<void(double t)>& render_frame, const RecordingSettings& settings = {});
