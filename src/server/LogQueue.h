#pragma once
// The server's log without waits: lines go into a bounded queue that a thread of its own
// writes out. When whoever reads the log stops reading, the queue fills and further lines
// are dropped and counted, never waited for; the count is written once the reader is back.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

namespace ombrix::server {

class LogQueue {
public:
    // Writes to fd (not closed); at most maxLines wait at once.
    explicit LogQueue(int fd, size_t maxLines = 4096);
    // Waits a moment for what is queued to go out; a writer stuck on a reader that does not
    // read is left behind.
    ~LogQueue();
    LogQueue(const LogQueue&) = delete;
    LogQueue& operator=(const LogQueue&) = delete;

    // Never waits.
    void Push(std::string line);
    uint64_t Dropped() const;

    // A stream whose every line goes into the queue. Each user keeps its own (a stream is
    // not shared between threads without the user's own lock).
    std::unique_ptr<std::ostream> NewStream();

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace ombrix::server
