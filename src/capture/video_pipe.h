// A video file made by piping raw frames into ffmpeg, for recording the
// camera animation straight to an H.264 MP4 instead of PNG frames.
//
// Open starts ffmpeg (found on PATH at run time, or named by the environment
// variable NERELLE_FFMPEG) with its standard input a pipe; Write passes one
// RGBA frame in read-back order (image/bitmap.h), which ffmpeg flips;
// Finish closes the pipe, waits for ffmpeg and only then gives the video its
// final name. Until then ffmpeg writes to a temporary name beside it, so a
// failed or abandoned recording never leaves a half-written file under the
// final name: Abort, the destructor and every failure remove it.
//
// ffmpeg's standard error goes to an unlinked temporary file, so a failure
// carries ffmpeg's own message. A write to an ffmpeg that has died fails with
// that message instead of raising SIGPIPE (the signal is blocked on the
// writing thread for the write only; the process's disposition is left
// alone). Owns the child process and the pipe; one thread uses an object.
#pragma once

#include "core/status.h"

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>

struct TBitmap;

class VideoPipe {
public:
    VideoPipe() = default;
    ~VideoPipe();  // Abort() when opened and not finished
    VideoPipe(const VideoPipe&) = delete;
    VideoPipe& operator=(const VideoPipe&) = delete;

    // The ffmpeg program to run: NERELLE_FFMPEG when set (a path, or a name
    // looked up on PATH), else "ffmpeg" on PATH. Fails with a reason that
    // says how to get it.
    static Status FindFfmpeg(std::string* path);

    // ffmpeg's -framerate value for `fps`: the NTSC rates (23.976, 29.97,
    // 59.94, ...) as the exact ratios N*1000/1001, others as the number.
    static std::string FrameRateArgument(double fps);

    // Starts ffmpeg writing an H.264 MP4 of width x height pixels (both
    // even, as yuv420p needs) at `fps` frames per second to a temporary
    // name in the directory of `file`. Fails on bad sizes or rates, when
    // already open, or when ffmpeg cannot be found or started.
    Status Open(const std::filesystem::path& file, int width, int height, double fps);

    // Passes one frame: width x height pixels, bytes R, G, B, A, in
    // read-back order. A frame of another size is refused and the video goes on. When
    // ffmpeg has stopped taking frames the video is given up (ffmpeg reaped,
    // temporary file removed) and this and every later call fail with
    // ffmpeg's message.
    Status Write(const TBitmap& frame);

    // Closes the pipe and waits for ffmpeg to end. When it exits 0 after at
    // least one frame, the video is renamed to its final name; otherwise the
    // temporary file is removed and the reason carries ffmpeg's exit status
    // and message.
    Status Finish();

    // Gives the video up: kills and reaps ffmpeg and removes the temporary
    // file. Nothing when not open.
    void Abort();

    bool IsOpen() const { return m_pid > 0; }
    size_t FramesWritten() const { return m_frames; }
    // Where ffmpeg writes until Finish; empty when not open.
    const std::filesystem::path& TemporaryPath() const { return m_temporary; }

private:
    // Reaps ffmpeg (killing it first when `kill_first`), takes its message
    // when asked, removes the temporary file and closes the descriptors;
    // the wait status.
    int Stop(bool kill_first, std::string* message = nullptr);
    // ffmpeg's standard error so far, on one line.
    std::string FfmpegMessage() const;

    pid_t m_pid = 0;
    int m_pipe = -1;    // write end of ffmpeg's standard input
    int m_errors = -1;  // ffmpeg's standard error (an unlinked file)
    int m_width = 0;
    int m_height = 0;
    size_t m_frames = 0;
    std::filesystem::path m_file;
    std::filesystem::path m_temporary;
    Status m_failure;  // set when ffmpeg stopped taking frames; returned by later calls
};
