#include "capture/video_pipe.h"

#include "image/bitmap.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <system_error>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kHowToGetIt = "install it (Debian: apt-get install ffmpeg) or record PNG frames without --video";

// How long ffmpeg gets to exit once it has stopped reading frames; a
// program that closed its input and lingers is killed rather than waited for.
constexpr int kExitGraceMilliseconds = 2000;

// The tail of ffmpeg's standard error kept in a reason.
constexpr off_t kMessageBytes = 2048;

bool IsExecutableFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// `name` in the directories of PATH (an empty entry is the working
// directory, as the shell has it); empty when in none.
std::string SearchPath(const std::string& name)
{
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find(':', begin);
        if (end == std::string::npos)
            end = path.size();
        const std::string dir = path.substr(begin, end - begin);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (IsExecutableFile(candidate))
            return candidate;
        begin = end + 1;
    }
    return {};
}

// Writes all of `data`; 0 or the errno of the failed write. A reader that
// has gone makes the write fail with EPIPE; the SIGPIPE it raises is held
// blocked on this thread and taken back, so it ends nothing.
int WriteAll(int fd, const uint8_t* data, size_t size)
{
    sigset_t pipe_signal, old_mask, pending;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &old_mask);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;

    int error = 0;
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }

    if (error == EPIPE && !was_pending) {
        const timespec no_wait{0, 0};
        while (sigtimedwait(&pipe_signal, nullptr, &no_wait) < 0 && errno == EINTR) {}
    }
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    return error;
}

std::string ExitText(int status)
{
    if (WIFEXITED(status))
        return "ffmpeg exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int number = WTERMSIG(status);
        return "ffmpeg was ended by signal " + std::to_string(number) + " (" + strsignal(number) + ")";
    }
    return "ffmpeg ended with wait status " + std::to_string(status);
}

std::string ErrnoText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

// "file:" keeps ffmpeg from reading a name that starts with '-' as an
// option or one with a ':' as a protocol.
std::string FfmpegFileArgument(const std::filesystem::path& path)
{
    return "file:" + path.string();
}

}  // namespace

VideoPipe::~VideoPipe()
{
    Abort();
}

Status VideoPipe::FindFfmpeg(std::string* path)
{
    const char* named = std::getenv("NERELLE_FFMPEG");
    std::string found;
    if (named && *named) {
        const std::string name = named;
        found = name.find('/') == std::string::npos ? SearchPath(name) : (IsExecutableFile(name) ? name : "");
        if (found.empty())
            return Status::Failure("ffmpeg not found: NERELLE_FFMPEG names \"" + name +
                                   "\", which is not an executable program; " + kHowToGetIt);
    } else {
        found = SearchPath("ffmpeg");
        if (found.empty())
            return Status::Failure(std::string("ffmpeg not found on PATH; ") + kHowToGetIt);
    }
    if (path)
        *path = found;
    return Status::Ok();
}

std::string VideoPipe::FrameRateArgument(double fps)
{
    // 23.976 and its kind are 1000/1001 of a whole rate; ffmpeg is given the
    // exact ratio so the stream's time base carries no rounding drift.
    const double whole = std::round(fps * 1.001);
    if (whole >= 1 && std::abs(fps - whole) > 1e-3 && std::abs(fps - whole / 1.001) < 5e-4)
        return std::to_string(static_cast<long long>(whole) * 1000) + "/1001";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", fps);
    return text;
}

Status VideoPipe::Open(const std::filesystem::path& file, int width, int height, double fps)
{
    if (IsOpen())
        return Status::Failure("a video is already being written to " + m_file.string());
    m_failure = Status::Ok();
    if (width <= 0 || height <= 0 || static_cast<uint64_t>(width) * static_cast<uint64_t>(height) >= kMaxBitmapPixels)
        return Status::Failure("video size " + std::to_string(width) + "x" + std::to_string(height) +
                               " is not a usable frame size");
    if (width % 2 != 0 || height % 2 != 0)
        return Status::Failure("video size " + std::to_string(width) + "x" + std::to_string(height) +
                               ": H.264 in yuv420p needs an even width and height");
    if (!std::isfinite(fps) || fps <= 0 || fps > 1000)
        return Status::Failure("video frame rate " + std::to_string(fps) + " is not between 0 and 1000");
    if (file.empty() || !file.has_filename())
        return Status::Failure("video file name \"" + file.string() + "\" names no file");

    std::string ffmpeg;
    if (Status found = FindFfmpeg(&ffmpeg); !found)
        return found;

    // ffmpeg's messages go to a file nobody else can see, read back on failure.
    std::string error_name = (std::filesystem::temp_directory_path() / "nerelle-ffmpeg-XXXXXX").string();
    const int errors = mkostemp(error_name.data(), O_CLOEXEC);
    if (errors < 0)
        return Status::Failure("cannot make a file for ffmpeg's messages in " +
                               std::filesystem::temp_directory_path().string() + ": " + ErrnoText(errno));
    unlink(error_name.c_str());

    // Close-on-exec, so no later child holds the write end and keeps ffmpeg
    // from seeing the end of its input.
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
        const int error = errno;
        close(errors);
        return Status::Failure("cannot make a pipe to ffmpeg: " + ErrnoText(error));
    }

    const std::filesystem::path temporary =
        file.parent_path() / (file.filename().string() + "." + std::to_string(getpid()) + ".part.mp4");
    // One option and its value to a line.
    // clang-format off
    const std::vector<std::string> arguments = {
        ffmpeg, "-hide_banner", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pixel_format", "rgba",
        "-video_size", std::to_string(width) + "x" + std::to_string(height),
        "-framerate", FrameRateArgument(fps),
        "-i", "pipe:0",
        "-vf", "vflip",  // frames come in read-back order
        // ultrafast: the encoder shares the cores with a software renderer,
        // and every millisecond it takes is one the frames wait for. It costs
        // a third of veryfast's CPU per frame (11 against 33 ms at 1280 x
        // 720 here), for larger files at the same quality.
        "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-movflags", "+faststart",
        "-f", "mp4", FfmpegFileArgument(temporary),
    };
    // clang-format on
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[0], 0);
    posix_spawn_file_actions_adddup2(&actions, errors, 1);
    posix_spawn_file_actions_adddup2(&actions, errors, 2);

    // The writing thread may block or ignore SIGPIPE; ffmpeg starts with the defaults.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, pipe_signal;
    sigemptyset(&none);
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipe_signal);
    // A process group of its own: a Ctrl-C at the terminal goes to the
    // recording, which then finishes the video properly, and not also to
    // ffmpeg, which would end it under our feet.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, ffmpeg.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipe_ends[0]);
    if (spawned != 0) {
        close(pipe_ends[1]);
        close(errors);
        return Status::Failure("cannot start " + ffmpeg + ": " + ErrnoText(spawned));
    }

    m_pid = pid;
    m_pipe = pipe_ends[1];
    m_errors = errors;
    m_width = width;
    m_height = height;
    m_frames = 0;
    m_file = file;
    m_temporary = temporary;
    return Status::Ok();
}

Status VideoPipe::Write(const TBitmap& frame)
{
    if (!IsOpen())
        return m_failure ? Status::Failure("no video is open") : m_failure;
    if (frame.width != m_width || frame.height != m_height || !frame.pixels)
        return Status::Failure("frame of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                               " does not fit the " + std::to_string(m_width) + "x" + std::to_string(m_height) +
                               " video; frame skipped");

    const size_t bytes = static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * 4;
    const int error = WriteAll(m_pipe, reinterpret_cast<const uint8_t*>(frame.pixels), bytes);
    if (error == 0) {
        ++m_frames;
        return Status::Ok();
    }

    const std::string what = "cannot pass frame " + std::to_string(m_frames) + " to ffmpeg: ";
    if (error != EPIPE) {
        Stop(true);
        m_failure = Status::Failure(what + ErrnoText(error));
        return m_failure;
    }
    // ffmpeg closed its input: it failed, and its own message (complete
    // once it has ended) says why.
    std::string message;
    const int status = Stop(false, &message);
    m_failure = Status::Failure(what + ExitText(status) + ": " + message);
    return m_failure;
}

Status VideoPipe::Finish()
{
    if (!IsOpen()) {
        Status failure = m_failure ? Status::Failure("no video is open") : m_failure;
        m_failure = Status::Ok();
        return failure;
    }
    if (m_frames == 0) {
        // ffmpeg would make a playable-looking file with no picture in it.
        Stop(true);
        return Status::Failure("no frames were written, so no video was made of " + m_file.string());
    }

    close(m_pipe);
    m_pipe = -1;
    int status = 0;
    pid_t reaped;
    while ((reaped = waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {}
    m_pid = 0;
    if (reaped < 0) {
        // Reaped elsewhere (SIGCHLD ignored): how it ended is unknown, so the file is not trusted.
        const int error = errno;
        Stop(false);
        return Status::Failure("cannot learn how ffmpeg ended: " + ErrnoText(error));
    }
    const std::string message = FfmpegMessage();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Stop(false);
        return Status::Failure(ExitText(status) + ": " + message);
    }

    std::error_code renamed;
    std::filesystem::rename(m_temporary, m_file, renamed);
    if (renamed) {
        Stop(false);
        return Status::Failure("cannot name the video " + m_file.string() + ": " + renamed.message());
    }
    m_temporary.clear();
    Stop(false);
    return Status::Ok();
}

void VideoPipe::Abort()
{
    if (IsOpen())
        Stop(true);
    m_failure = Status::Ok();
}

int VideoPipe::Stop(bool kill_first, std::string* message)
{
    if (m_pipe >= 0) {
        close(m_pipe);
        m_pipe = -1;
    }
    int status = 0;
    if (m_pid > 0) {
        if (kill_first)
            kill(m_pid, SIGKILL);
        // Without its input ffmpeg has nothing left to do; one that lingers
        // anyway is killed, so giving up never hangs.
        for (int waited = 0;; waited += 10) {
            const pid_t reaped = waitpid(m_pid, &status, kill_first ? 0 : WNOHANG);
            if (reaped == m_pid || (reaped < 0 && errno != EINTR))
                break;
            if (reaped == 0) {
                if (waited >= kExitGraceMilliseconds) {
                    kill(m_pid, SIGKILL);
                    kill_first = true;
                    continue;
                }
                const timespec pause{0, 10 * 1000 * 1000};
                nanosleep(&pause, nullptr);
            }
        }
        m_pid = 0;
    }
    if (message)
        *message = FfmpegMessage();
    if (!m_temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_temporary, ignored);
        m_temporary.clear();
    }
    if (m_errors >= 0) {
        close(m_errors);
        m_errors = -1;
    }
    return status;
}

std::string VideoPipe::FfmpegMessage() const
{
    if (m_errors < 0)
        return "(no message)";
    struct stat info {};
    if (fstat(m_errors, &info) != 0)
        return "(its message cannot be read)";
    const off_t start = info.st_size > kMessageBytes ? info.st_size - kMessageBytes : 0;
    std::string text(static_cast<size_t>(info.st_size - start), '\0');
    const ssize_t n = pread(m_errors, text.data(), text.size(), start);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);

    // One line, as a reason is printed: lines joined with "; ".
    std::string line;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        std::string_view part(text.data() + begin, end - begin);
        while (!part.empty() && (part.back() == '\r' || part.back() == ' ' || part.back() == '\t'))
            part.remove_suffix(1);
        if (!part.empty()) {
            if (!line.empty())
                line += "; ";
            line += part;
        }
        begin = end + 1;
    }
    return line.empty() ? "(it printed nothing)" : line;
}
