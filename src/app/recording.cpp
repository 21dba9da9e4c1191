#include "app/recording.h"

#include "app/image_capture.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

unsigned RecordingWorkerCount(unsigned processors)
{
    return (processors < 2 ? 2 : processors) - 1;
}

std::string RecordedFrameName(const fs::path& directory, unsigned k)
{
    char name[64];
    std::snprintf(name, sizeof name, "frame_%05u.png", k);
    return (directory / name).string();
}

RecordingResult RecordFrames(ShellState& state, unsigned frames, const std::function<void()>& start,
                             const std::function<void(double t)>& render_frame, const RecordingSettings& settings)
{
    RecordingResult result;
    result.frames = frames;
    result.failed = frames;

    // A directory that cannot be made would fail every frame: say so once
    // and render nothing.
    std::error_code ec;
    fs::create_directories(settings.directory, ec);
    if (ec) {
        std::fprintf(stderr, "error: cannot create the directory %s: %s; nothing recorded\n",
                     settings.directory.string().c_str(), ec.message().c_str());
        return result;
    }

    const unsigned workers =
        settings.workers ? settings.workers : RecordingWorkerCount(std::thread::hardware_concurrency());
    std::unique_ptr<CMTEncoder> encoder;
    try {
        encoder = std::make_unique<CMTEncoder>(workers, EncoderSettings{true, true, settings.writer});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: cannot start the frame encoder: %s\n", e.what());
        return result;
    }
    result.started = true;
    TBitmap& frame = *encoder->WorkingBitmap();
    ImageRenderer renderer(settings.samples >= 0 ? settings.samples : FramebufferSampleCount());

    auto report_failures = [&encoder] {
        for (const std::string& name : encoder->TakeFailures())
            std::fprintf(stderr, "error: cannot write frame %s\n", name.c_str());
    };

    const int window_width = state.window_width, window_height = state.window_height;
    SetViewSize(state, frame.width, frame.height);
    if (start)
        start();
    for (unsigned k = 0; k < frames; ++k) {
        if (settings.progress) {
            std::fprintf(settings.progress, "rendering frame %u / %u\r", k, frames);
            std::fflush(settings.progress);
        }
        const double t = static_cast<double>(k) / kRecordingFramesPerSecond;
        std::string why;
        std::function<void()> draw_copies;
        if (settings.render_scene_copies)
            draw_copies = [&] { settings.render_scene_copies(t); };
        if (!renderer.Render(
                frame, state, [&] { render_frame(t); }, &why, draw_copies)) {
            std::fprintf(stderr, "error: recording stopped at frame %u: %s\n", k, why.c_str());
            break;
        }
        const std::string name = RecordedFrameName(settings.directory, k);
        if (encoder->Enqueue_Bitmap(&frame, name.c_str()))
            ++result.rendered;
        else
            std::fprintf(stderr, "error: encoder.Enqueue_Bitmap() failed\n");
        report_failures();
    }
    renderer.Release();
    SetViewSize(state, window_width, window_height);

    result.synchronized = encoder->Synchronize();
    if (!result.synchronized)
        std::fprintf(stderr, "error: encoder.Synchronize() failed\n");
    report_failures();
    result.failed = (frames - result.rendered) + encoder->FailureCount();
    if (result.failed > 0)
        std::fprintf(stderr, "error: %zu of %u frames were not written\n", result.failed, frames);
    if (settings.progress) {
        std::fprintf(settings.progress, "\ndone\n");
        std::fflush(settings.progress);
    }
    return result;
}
