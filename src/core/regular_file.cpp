#include "core/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The descriptor as a stream when it is a regular file; closes it otherwise.
std::FILE* StreamOfRegular(int fd, const char* mode, bool* not_regular)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        close(fd);
        if (not_regular)
            *not_regular = true;
        errno = S_ISREG(st.st_mode) ? error : EINVAL;
        return nullptr;
    }
    // Regular files do not block; blocking reads and writes are what the
    // stream expects.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, mode);
    if (!file)
        close(fd);
    return file;
}

}  // namespace

std::FILE* OpenRegularFileForReading(const std::filesystem::path& path, bool* not_regular)
{
    if (not_regular)
        *not_regular = false;
    // Non-blocking, so the open of a FIFO without a writer returns at once.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? nullptr : StreamOfRegular(fd, "rb", not_regular);
}

std::FILE* OpenRegularFileForWriting(const std::filesystem::path& path, bool* not_regular)
{
    if (not_regular)
        *not_regular = false;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (not_regular)
            *not_regular = true;
        errno = EINVAL;
        return nullptr;
    }
    // Checked again on the open file: something may have taken the name.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0666);
    return fd < 0 ? nullptr : StreamOfRegular(fd, "wb", not_regular);
}
