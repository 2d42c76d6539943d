#include "platform/Dispatcher.h"

#include <algorithm>
#include <chrono>

namespace ombrix {

void TaskQueue::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        recheck_ = true;
    }
    changed_.notify_all();
}

void TaskQueue::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        recheck_ = true;
    }
    changed_.notify_all();
}

void TaskQueue::StartTimer(int id, uint32_t ms, std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; }),
                  timers_.end());
    timers_.push_back({id, clock_.TickMs() + ms, std::move(task)});
    recheck_ = true;
    changed_.notify_all();
}

void TaskQueue::KillTimer(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; }),
                  timers_.end());
}

bool TaskQueue::Empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.empty() && timers_.empty();
}

bool TaskQueue::TakeReady(std::function<void()>* task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!tasks_.empty()) {
        *task = std::move(tasks_.front());
        tasks_.pop_front();
        return true;
    }
    const uint64_t now = clock_.TickMs();
    auto due = std::min_element(timers_.begin(), timers_.end(),
                                [](const Timer& a, const Timer& b) { return a.due < b.due; });
    if (due != timers_.end() && due->due <= now) {
        *task = std::move(due->task);
        timers_.erase(due);
        return true;
    }
    return false;
}

void TaskQueue::RunUntil(uint64_t untilTick, const std::function<bool()>& stop) { Run(untilTick, stop, false); }

void TaskQueue::Serve(const std::function<bool()>& stop) { Run(UINT64_MAX, stop, true); }

void TaskQueue::Run(uint64_t untilTick, const std::function<bool()>& stop, bool sleepUntilWoken) {
    for (;;) {
        if (stop && stop()) return;
        std::function<void()> task;
        if (TakeReady(&task)) {
            task();
            continue;
        }
        const uint64_t now = clock_.TickMs();
        if (now >= untilTick) return;
        std::unique_lock<std::mutex> lock(mutex_);
        if (recheck_) {
            // A post or a wake came after TakeReady looked: look again before sleeping.
            recheck_ = false;
            continue;
        }
        uint64_t next = untilTick;
        for (const Timer& t : timers_) next = std::min(next, t.due);
        const uint64_t wait = next > now ? next - now : 0;
        // Nothing due at all: asleep until woken, on a clock that runs by itself.
        const int64_t realUs = !sleepUntilWoken ? -1 : clock_.RealMicroseconds(next == UINT64_MAX ? 0 : wait);
        if (realUs < 0) {
            // Posts from other threads, and stop(), are looked at again within a short nap.
            lock.unlock();
            clock_.Nap(static_cast<uint32_t>(std::min<uint64_t>(wait, 20)));
            continue;
        }
        const auto woken = [this] { return recheck_; };
        if (next == UINT64_MAX) {
            changed_.wait(lock, woken);
        } else {
            changed_.wait_for(lock, std::chrono::microseconds(realUs), woken);
        }
        recheck_ = false;
    }
}

}  // namespace ombrix
