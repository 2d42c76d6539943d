#include "platform/Dispatcher.h"

#include <algorithm>

namespace ombrix {

void TaskQueue::Post(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
}

void TaskQueue::StartTimer(int id, uint32_t ms, std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; }),
                  timers_.end());
    timers_.push_back({id, clock_.TickMs() + ms, std::move(task)});
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

void TaskQueue::RunUntil(uint64_t untilTick, const std::function<bool()>& stop) {
    for (;;) {
        if (stop && stop()) return;
        std::function<void()> task;
        if (TakeReady(&task)) {
            task();
            continue;
        }
        const uint64_t now = clock_.TickMs();
        if (now >= untilTick) return;
        uint64_t next = untilTick;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const Timer& t : timers_) next = std::min(next, t.due);
        }
        // Posts from other threads are picked up within a short nap.
        clock_.Nap(static_cast<uint32_t>(std::min<uint64_t>(next > now ? next - now : 0, 20)));
    }
}

}  // namespace ombrix
