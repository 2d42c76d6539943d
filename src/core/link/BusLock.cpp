#include "link/BusLock.h"

namespace ombrix {

void BusLock::AcquireForeground() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (busy_ && depth_ > 0 && owner_ == std::this_thread::get_id()) {
        ++depth_;
        return;
    }
    ++foregroundWaiting_;
    cv_.wait(lock, [&] { return !busy_; });
    --foregroundWaiting_;
    busy_ = true;
    owner_ = std::this_thread::get_id();
    depth_ = 1;
}

bool BusLock::AcquireBackground(const std::atomic<bool>* cancel) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Sleeps until the line is free or the caller is cancelled; whoever sets the cancel
    // flag calls Interrupt, which takes the mutex, so the wake-up cannot slip in between
    // the test and the wait.
    cv_.wait(lock, [&] { return (cancel && cancel->load()) || (!busy_ && !held_ && foregroundWaiting_ == 0); });
    if (cancel && cancel->load()) return false;
    busy_ = true;
    return true;
}

void BusLock::ReleaseForeground(bool hold) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = hold;
        if (--depth_ > 0) return;
        depth_ = 0;
        owner_ = {};
        busy_ = false;
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

void BusLock::Interrupt() {
    { std::lock_guard<std::mutex> lock(mutex_); }
    cv_.notify_all();
}

bool BusLock::Busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
}

bool BusLock::Held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

}  // namespace ombrix
