#pragma once
// Hands work to the thread that owns the program's tables (the UI thread): worker
// threads post their findings here instead of touching the tables themselves.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/Clock.h"

namespace ombrix {

class Dispatcher {
public:
    virtual ~Dispatcher() = default;
    // Runs task later on the owning thread, in the order posted. Never blocks.
    virtual void Post(std::function<void()> task) = 0;
};

// A dispatcher with timers for shells without an event loop of their own (the
// command-line tool, tests). Run() executes posted tasks and due timers on the caller.
class TaskQueue final : public Dispatcher {
public:
    explicit TaskQueue(Clock& clock) : clock_(clock) {}
    void Post(std::function<void()> task) override;
    // One-shot timer: replaces a pending timer with the same id.
    void StartTimer(int id, uint32_t ms, std::function<void()> task);
    void KillTimer(int id);
    // Runs tasks until `until` tick or until stop() is true, whichever first.
    void RunUntil(uint64_t untilTick, const std::function<bool()>& stop);
    bool Empty() const;

private:
    struct Timer {
        int id;
        uint64_t due;
        std::function<void()> task;
    };
    bool TakeReady(std::function<void()>* task);

    Clock& clock_;
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    std::vector<Timer> timers_;
};

}  // namespace ombrix
