#pragma once
// A client of ombrix-server's event stream: reads it on a thread of its own and keeps
// every event, for a test to wait on.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

namespace ombrix::testing {

class EventReader {
public:
    explicit EventReader(int port, const std::string& token = "") : client_("127.0.0.1", port) {
        httplib::Headers headers;
        if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
        thread_ = std::thread([this, headers] {
            // Longer than the stream's keep-alive period.
            client_.set_read_timeout(std::chrono::seconds(60));
            client_.Get("/api/v1/events", headers, [this](const char* data, size_t n) {
                std::lock_guard<std::mutex> lock(mutex_);
                buffer_.append(data, n);
                size_t cut;
                while ((cut = buffer_.find("\n\n")) != std::string::npos) {
                    const std::string block = buffer_.substr(0, cut);
                    buffer_.erase(0, cut + 2);
                    // An event's lines come in any order (id:, retry:, data:).
                    for (size_t at = 0; at < block.size();) {
                        const size_t end = std::min(block.find('\n', at), block.size());
                        if (block.compare(at, 6, "data: ") == 0)
                            events_.push_back(nlohmann::json::parse(block.substr(at + 6, end - at - 6)));
                        at = end + 1;
                    }
                }
                cv_.notify_all();
                return !stop_;
            });
        });
    }
    ~EventReader() {
        stop_ = true;
        client_.stop();
        thread_.join();
    }
    // Waits until an event from index `from` on satisfies pred; its index, or -1 at the
    // deadline.
    template <class F>
    int WaitFor(F pred, std::chrono::milliseconds limit = std::chrono::seconds(10), size_t from = 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        int found = -1;
        cv_.wait_for(lock, limit, [&] {
            for (size_t i = from; i < events_.size(); ++i)
                if (pred(events_[i])) return (found = static_cast<int>(i)) >= 0;
            return false;
        });
        return found;
    }
    std::vector<nlohmann::json> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    httplib::Client client_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::string buffer_;
    std::vector<nlohmann::json> events_;
    std::atomic<bool> stop_{false};
};

}  // namespace ombrix::testing
