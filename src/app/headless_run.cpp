#include "app/headless_run.h"

#include "app/demo_application.h"
#include "app/startup.h"
#include "capture/recording.h"
#include "capture/screenshot.h"
#include "capture/video_pipe.h"
#include "gl/gl_start.h"
#include "core/report.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

namespace {

// The signal that asked a batch recording to stop; 0 while none has. The
// handler only sets it: the recording looks before each frame.
volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void OnStopSignal(int number)
{
    g_stop_signal = number;
}

// SIGINT and SIGTERM stop the recording after the frame in progress. The
// handler is reset on delivery, so a second signal ends the process at once.
void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* SignalName(int number)
{
    return number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "a signal";
}

// The shell's status for a process ended by the signal.
constexpr int kStatusAfterSignal = 128;

// Frames done, rate and time left on standard error: a bar redrawn in place
// on a terminal, a line every 100 frames in a log.
class Progress {
public:
    Progress() : m_terminal(isatty(STDERR_FILENO) != 0), m_start(std::chrono::steady_clock::now()) {}

    void Update(unsigned done, unsigned count)
    {
        if (!m_terminal && done % 100 != 0 && done != count)
            return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const double fps = seconds > 0 ? done / seconds : 0;
        const long left = fps > 0 ? long((count - done) / fps + 0.5) : 0;
        char line[160];
        if (m_terminal) {
            const int width = 30, filled = count ? int(double(done) / count * width) : width;
            std::snprintf(line, sizeof line, "\r[%-*s] %u / %u frames  %.1f fps  %ld:%02ld left ", width,
                          std::string(size_t(filled), '#').c_str(), done, count, fps, left / 60, left % 60);
            std::fputs(line, stderr);
            if (done == count)
                std::fputc('\n', stderr);
        } else {
            std::snprintf(line, sizeof line, "%u / %u frames, %.1f fps, %ld:%02ld left\n", done, count, fps, left / 60,
                          left % 60);
            std::fputs(line, stderr);
        }
        std::fflush(stderr);
    }

private:
    bool m_terminal;
    std::chrono::steady_clock::time_point m_start;
};

// Camera keys from `file`, playing from time 0; false after saying why.
bool PlayKeys(DemoApplication& app, const std::string& file, unsigned* frames)
{
    const CameraKeyStatus loaded = app.Animation().Load(file, 0.0);
    if (!loaded) {
        PrintError(file + ": " + loaded.reason);
        return false;
    }
    if (!loaded.warning.empty())
        PrintWarning(loaded.warning);
    CameraKeyStatus playing = frames ? app.Animation().RecordingFrames(*frames) : CameraKeyStatus::Success(0);
    if (playing)
        playing = app.Animation().Play(0.0);
    if (!playing) {
        PrintError(file + ": " + playing.reason);
        return false;
    }
    return true;
}

bool Screenshot(DemoApplication& app, const Options& options)
{
    if (!options.keys.empty() && !PlayKeys(app, options.keys, nullptr))
        return false;
    const ImageSize size = options.size.value_or(ImageSize{kScreenshotWidth, kScreenshotHeight});
    const Status saved = SaveImage(app.Draws(), options.time, size.width, size.height, options.screenshot,
                                    options.png_default_compression ? PngCompression::kDefault : PngCompression::kFast);
    if (!saved) {
        PrintError(saved.reason);
        return false;
    }
    std::printf("wrote %s (%d x %d, t = %g s)\n", options.screenshot.c_str(), size.width, size.height, options.time);
    return true;
}

// A recording a signal stopped: the video is finished with the frames it
// has (a playable file under its name), and standard error says how far it
// got. Frames the encoder could not write were reported as they failed.
int Stopped(const Options& options, const RecordingResult& result, VideoPipe& video, unsigned first)
{
    const int status = kStatusAfterSignal + g_stop_signal;
    if (isatty(STDERR_FILENO))
        std::fputc('\n', stderr);  // below the progress bar
    std::string done = result.end > first ? "frames " + std::to_string(first) + " to " +
                                                std::to_string(result.end - 1)
                                          : "no frame";
    if (!options.video.empty()) {
        if (result.end == first || !result.status) {
            video.Abort();
            done = "no video";
        } else if (const Status finished = video.Finish(); !finished) {
            PrintError(finished.reason);
            done = "no video";
        } else {
            done += " in " + options.video;
        }
    } else if (result.end > first) {
        done += (result.failed ? " (" + std::to_string(result.failed) + " not written) in " : " in ") + options.out;
    }
    std::fprintf(stderr, "stopped by %s: %s\n", SignalName(int(g_stop_signal)), done.c_str());
    return status;
}

// The process status: 0 when every frame asked for was written, 1 after a
// failure, 128 + the signal when SIGINT or SIGTERM stopped it (what was
// done by then is kept and said).
int Record(DemoApplication& app, const Options& options)
{
    // Without ffmpeg a video cannot be made: say so before rendering anything.
    std::string ffmpeg;
    if (!options.video.empty()) {
        if (const Status found = VideoPipe::FindFfmpeg(&ffmpeg); !found) {
            PrintError(found.reason);
            return 1;
        }
    }
    unsigned frames = 0;
    if (!PlayKeys(app, options.record, &frames))
        return 1;
    const auto [first, end] = options.frames.value_or(std::pair<unsigned, unsigned>{0u, frames});
    if (first >= frames) {
        PrintError("--frames " + std::to_string(first) + ":" + std::to_string(end) + " starts past the " +
              std::to_string(frames) + " frames of " + options.record);
        return 1;
    }
    const unsigned last = std::min(end, frames);
    // Frames of another recording left beside the new ones would pass for
    // one recording: a whole recording wants a directory without frames, a
    // part one without the frames it writes.
    if (options.video.empty() && !options.overwrite) {
        unsigned clashing = 0;
        for (unsigned k : RecordedFramesIn(options.out))
            clashing += !options.frames || (k >= first && k < last);
        if (clashing > 0) {
            PrintError(options.out + " already holds " + std::to_string(clashing) + " frame" + (clashing == 1 ? "" : "s") +
                  (options.frames ? " of this range" : "") +
                  "; give --overwrite to replace them, or another --out");
            return 1;
        }
    }
    const ImageSize size = options.size.value_or(ImageSize{CMTEncoder::kFrameWidth, CMTEncoder::kFrameHeight});

    RecordingSettings settings;
    settings.directory = options.out;
    settings.width = size.width;
    settings.height = size.height;
    settings.first = first;
    settings.compression = options.png_default_compression ? PngCompression::kDefault : PngCompression::kFast;
    settings.progress = nullptr;
    settings.report = PrintError;
    Progress progress;
    settings.on_frame = [&progress](unsigned done, unsigned count) { progress.Update(done, count); };
    VideoPipe video;
    if (!options.video.empty()) {
        if (const Status opened = video.Open(options.video, size.width, size.height, kRecordingFramesPerSecond);
            !opened) {
            PrintError(opened.reason);
            return 1;
        }
        settings.sink = [&video](const TBitmap& frame, unsigned) { return video.Write(frame); };
    }
    CatchStopSignals();
    settings.stop = [] { return g_stop_signal != 0; };
    const RecordingResult result = RecordFrames(last, {}, app.Draws(), settings);
    if (result.stopped)
        return Stopped(options, result, video, first);
    if (!result.status) {
        video.Abort();
        return 1;
    }
    if (!options.video.empty()) {
        if (const Status finished = video.Finish(); !finished) {
            PrintError(finished.reason);
            return 1;
        }
        std::printf("wrote %s: frames %u to %u of %u (%d x %d, 23.976 fps)\n", options.video.c_str(), first, last - 1,
                    frames, size.width, size.height);
        return 0;
    }
    std::printf("wrote frames %u to %u of %u to %s (%d x %d)\n", first, last - 1, frames, options.out.c_str(),
                size.width, size.height);
    return 0;
}

}  // namespace

int RunHeadless(const Options& options)
{
    // The context's own framebuffer stands in for a window; images render
    // into targets of their own size.
    Status status;
    const auto context = StartHeadlessGL(64, 64, status);
    if (!context) {
        PrintError(status.reason);
        return 1;
    }
    ViewState view;
    const std::string data = options.data.empty() ? kDefaultDiveDirectory : options.data;
    std::string import_report;
    const std::unique_ptr<DemoApplication> app = CreateApplication(view, data, status, &options, &import_report);
    std::fputs(import_report.c_str(), stderr);
    if (!app) {
        PrintError("dataset " + data + ": " + status.reason);
        return 1;
    }
    bool ok = true;
    if (!options.screenshot.empty())
        ok = Screenshot(*app, options) && ok;
    if (!options.record.empty()) {
        const int recorded = Record(*app, options);
        if (recorded > 1)
            return recorded;  // stopped by a signal: its status says so
        ok = recorded == 0 && ok;
    }
    return ok ? 0 : 1;
}
