#include "support/fifo_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

bool WriteAll(int fd, const std::vector<uint8_t>& bytes)
{
    for (size_t at = 0; at < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0)
            return false;
        at += size_t(n);
    }
    return true;
}

FifoWriter::FifoWriter(const std::string& path, std::vector<uint8_t> bytes)
    : m_thread([this, path, bytes = std::move(bytes)] { Run(path, bytes); })
{}

FifoWriter::~FifoWriter()
{
    m_done = true;
    m_thread.join();
}

// Opening for writing without blocking fails while there is no reader.
int FifoWriter::OpenWhenRead(const std::string& path)
{
    while (!m_done) {
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void FifoWriter::Run(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const int fd = OpenWhenRead(path);
    if (fd < 0)
        return;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    WriteAll(fd, bytes);
    close(fd);
    for (int i = 0; i < 300 && !m_done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    while (!m_done) {
        const int again = OpenWhenRead(path);
        if (again >= 0)
            close(again);
    }
}

}  // namespace testsupport
