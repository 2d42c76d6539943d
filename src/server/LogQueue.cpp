#include "LogQueue.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace ombrix::server {

namespace {
constexpr size_t kMaxLineChars = 4096;
constexpr std::chrono::seconds kDrainTime{1};
}  // namespace

struct LogQueue::Shared {
    int fd = -1;
    size_t maxLines = 0;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::string> lines;
    uint64_t dropped = 0;
    uint64_t droppedReported = 0;
    bool stop = false;
    bool idle = true;

    void Write(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                return;
            }
        }
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        while (true) {
            cv.wait(lock, [this] { return stop || !lines.empty(); });
            if (lines.empty() && stop) return;
            std::deque<std::string> batch;
            batch.swap(lines);
            const uint64_t lost = dropped - droppedReported;
            droppedReported = dropped;
            idle = false;
            lock.unlock();
            std::string text;
            if (lost)
                text += "log: " + std::to_string(lost) + " line(s) dropped: the log's reader did not keep up\n";
            for (const std::string& l : batch) text += l + "\n";
            Write(text);
            lock.lock();
            idle = true;
            cv.notify_all();
        }
    }
};

namespace {

// Collects characters into lines for one queue.
class LineBuffer final : public std::streambuf {
public:
    explicit LineBuffer(LogQueue& queue) : queue_(queue) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        Put(traits_type::to_char_type(c));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) Put(s[i]);
        return n;
    }

private:
    void Put(char c) {
        if (c == '\n' || line_.size() >= kMaxLineChars) {
            queue_.Push(std::move(line_));
            line_.clear();
            if (c == '\n') return;
        }
        line_ += c;
    }
    LogQueue& queue_;
    std::string line_;
};

class LineStream final : public std::ostream {
public:
    explicit LineStream(LogQueue& queue) : std::ostream(nullptr), buffer_(queue) { rdbuf(&buffer_); }

private:
    LineBuffer buffer_;
};

}  // namespace

LogQueue::LogQueue(int fd, size_t maxLines) : shared_(std::make_shared<Shared>()) {
    shared_->fd = fd;
    shared_->maxLines = maxLines;
    std::shared_ptr<Shared> shared = shared_;
    // Holds its own share: left behind at exit it still has something to write into.
    std::thread([shared] { shared->Run(); }).detach();
}

LogQueue::~LogQueue() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
    shared_->cv.notify_all();
    shared_->cv.wait_for(lock, kDrainTime, [this] { return shared_->lines.empty() && shared_->idle; });
}

void LogQueue::Push(std::string line) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->lines.size() >= shared_->maxLines) {
            ++shared_->dropped;
            return;
        }
        shared_->lines.push_back(std::move(line));
    }
    shared_->cv.notify_all();
}

uint64_t LogQueue::Dropped() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->dropped;
}

std::unique_ptr<std::ostream> LogQueue::NewStream() { return std::make_unique<LineStream>(*this); }

}  // namespace ombrix::server
