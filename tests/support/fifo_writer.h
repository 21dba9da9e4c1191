// The other end of a FIFO that a test puts where a file is expected. Code
// that refuses the FIFO never opens it; code that waits on it would block
// the test for good, so the writer lets such a reader through and the test
// fails instead of hanging.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Writes all of `bytes` to the descriptor (a blocking pipe or FIFO); false
// when the reader went away first.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes);

// From a thread: once a reader has opened the FIFO, writes `bytes` and
// closes it; after a few seconds opens and closes it again and again, so a
// reader blocked on opening it sees an empty stream. Stops when destroyed.
class FifoWriter {
public:
    explicit FifoWriter(const std::string& path, std::vector<uint8_t> bytes = {});
    ~FifoWriter();
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

private:
    int OpenWhenRead(const std::string& path);
    void Run(const std::string& path, const std::vector<uint8_t>& bytes);

    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

}  // namespace testsupport
