#include "link/BusLock.h"

#include <chrono>

namespace ombrix {

void BusLock::AcquireForeground() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++foregroundWaiting_;
    cv_.wait(lock, [&] { return !busy_; });
    --foregroundWaiting_;
    busy_ = true;
}

bool BusLock::AcquireBackground(const std::atomic<bool>* cancel) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (cancel && cancel->load()) return false;
        if (!busy_ && !held_ && foregroundWaiting_ == 0) break;
        // Cancel flags are set without the mutex; a bounded wait makes sure we see them.
        cv_.wait_for(lock, std::chrono::milliseconds(50));
    }
    busy_ = true;
    return true;
}

void BusLock::ReleaseForeground(bool hold) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
        held_ = hold;
    }
    cv_.notify_all();
}

void BusLock::ReleaseBackground() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
    }
    cv_.notify_all();
}

void BusLock::Interrupt() { cv_.notify_all(); }

bool BusLock::Busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
}

bool BusLock::Held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

}  // namespace ombrix
