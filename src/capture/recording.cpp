#include "capture/recording.h"

#include "capture/image_capture.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

std::vector<unsigned> RecordedFramesIn(const fs::path& directory)
{
    std::vector<unsigned> frames;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // frame_ + at least five digits + .png, as FrameFileName writes them
        if (name.size() < 15 || name.rfind("frame_", 0) != 0 || !name.ends_with(".png"))
            continue;
        const std::string digits = name.substr(6, name.size() - 10);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        frames.push_back(unsigned(std::stoul(digits)));
    }
    std::sort(frames.begin(), frames.end());
    return frames;
}

RecordingResult RecordFrames(unsigned frames, const std::function<void()>& start, const FrameDraws& draws,
                             const RecordingSettings& settings)
{
    RecordingResult result;
    const unsigned first = std::min(settings.first, frames);
    const unsigned count = frames - first;
    result.frames = count;
    result.failed = count;
    auto fail = [&](std::string reason) {
        if (settings.report)
            settings.report(reason);
        result.status = Status::Failure(std::move(reason));  // the last says most: the count missing
    };

    // A directory that cannot be made would fail every frame: say so once
    // and render nothing.
    std::error_code ec;
    if (!settings.sink)
        fs::create_directories(settings.directory, ec);
    if (ec) {
        fail("cannot create the directory " + settings.directory.string() + ": " + ec.message() + "; nothing recorded");
        return result;
    }

    std::unique_ptr<CMTEncoder> encoder;
    try {
        // With a sink the encoder only lends its working bitmap: one worker.
        const unsigned workers =
            settings.sink ? 1 : settings.workers ? settings.workers : CMTEncoder::DefaultWorkerCount();
        encoder = std::make_unique<CMTEncoder>(
            workers, EncoderSettings{true, true, settings.writer, settings.width, settings.height, settings.compression});
    } catch (const std::exception& e) {
        fail(std::string("cannot start the frame encoder: ") + e.what());
        return result;
    }
    result.started = true;
    TBitmap& frame = *encoder->WorkingBitmap();
    ImageRenderer renderer(settings.samples >= 0 ? settings.samples : FramebufferSampleCount());

    auto report_failures = [&] {
        for (const std::string& name : encoder->TakeFailures())
            fail("cannot write frame " + name);
    };

    if (start)
        start();
    result.end = first;
    for (unsigned k = first; k < frames; ++k) {
        if (settings.stop && settings.stop()) {
            result.stopped = true;
            break;
        }
        result.end = k + 1;
        if (settings.progress) {
            std::fprintf(settings.progress, "rendering frame %u / %u\r", k, frames);
            std::fflush(settings.progress);
        }
        const double t = static_cast<double>(k) / kRecordingFramesPerSecond;
        if (const Status rendered = renderer.Render(frame, t, draws); !rendered) {
            fail("recording stopped at frame " + std::to_string(k) + ": " + rendered.reason);
            break;
        }
        if (settings.sink) {
            if (const Status sunk = settings.sink(frame, k); !sunk) {
                fail("recording stopped at frame " + std::to_string(k) + ": " + sunk.reason);
                break;
            }
            ++result.rendered;
        } else {
            const std::string name = CMTEncoder::FrameFileName(settings.directory, k);
            if (encoder->Enqueue_Bitmap(&frame, name.c_str()))
                ++result.rendered;
            else
                fail("encoder.Enqueue_Bitmap() failed");
            report_failures();
        }
        if (settings.on_frame)
            settings.on_frame(k + 1 - first, count);
    }
    renderer.Release();

    result.synchronized = encoder->Synchronize();
    if (!result.synchronized)
        fail("encoder.Synchronize() failed");
    report_failures();
    // Frames a stop left out were never asked for; they are not failures.
    const unsigned asked = result.stopped ? result.end - first : count;
    result.failed = (asked - result.rendered) + encoder->FailureCount();
    if (result.failed > 0)
        fail(std::to_string(result.failed) + " of " + std::to_string(asked) + " frames were not written");
    if (settings.progress) {
        std::fprintf(settings.progress, "\ndone\n");
        std::fflush(settings.progress);
    }
    return result;
}
