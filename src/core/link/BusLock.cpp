#include "link/BusLock.h"

namespace ombrix {

void BusLock::TakeTurn() {
    // A turn refused is still taken: the line itself then refuses the exchange's bytes,
    // and the release below gives back whatever was had.
    if (turnHook_ && !turnTaken_) {
        turnHook_(true);
        turnTaken_ = true;
    }
}

void BusLock::EndTurn() {
    if (turnHook_ && turnTaken_) turnHook_(false);
    turnTaken_ = false;
}

void BusLock::AcquireForeground() {
    {
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
    // Outside the mutex: asking a service for the line may take a while, and nobody else
    // gets in meanwhile, the line being busy.
    TakeTurn();
}

bool BusLock::AcquireBackground(const std::atomic<bool>* cancel) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Sleeps until the line is free or the caller is cancelled; whoever sets the cancel
    // flag calls Interrupt, which takes the mutex, so the wake-up cannot slip in between
    // the test and the wait.
    cv_.wait(lock, [&] { return (cancel && cancel->load()) || (!busy_ && !held_ && foregroundWaiting_ == 0); });
    if (cancel && cancel->load()) return false;
    busy_ = true;
    lock.unlock();
    TakeTurn();
    return true;
}

void BusLock::ReleaseForeground(bool hold) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (depth_ > 1) {
            held_ = hold;
            --depth_;
            return;
        }
    }
    // Still the holder: the turn ends before anyone else can take the line.
    if (!hold) EndTurn();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = hold;
        depth_ = 0;
        owner_ = {};
        busy_ = false;
    }
    cv_.notify_all();
}

void BusLock::ReleaseBackground() {
    EndTurn();
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
