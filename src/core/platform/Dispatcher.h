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
// command-line tool, the server, tests). RunUntil() and Serve() execute posted tasks and
// due timers on the caller.
class TaskQueue final : public Dispatcher {
public:
    explicit TaskQueue(Clock& clock) : clock_(clock) {}
    void Post(std::function<void()> task) override;
    // One-shot timer: replaces a pending timer with the same id.
    void StartTimer(int id, uint32_t ms, std::function<void()> task);
    void KillTimer(int id);
    // Runs tasks until `until` tick or until stop() is true, whichever first; stop() is
    // looked at within a short nap.
    void RunUntil(uint64_t untilTick, const std::function<bool()>& stop);
    // Runs tasks until stop() is true, sleeping between them until a post, a timer or a
    // Wake() (on a clock that runs by itself; on one that moves only by sleeping, as
    // RunUntil): for an owner whose stop() turns true only along with a Wake().
    void Serve(const std::function<bool()>& stop);
    void Wake();
    bool Empty() const;

private:
    struct Timer {
        int id;
        uint64_t due;
        std::function<void()> task;
    };
    bool TakeReady(std::function<void()>* task);
    void Run(uint64_t untilTick, const std::function<bool()>& stop, bool sleepUntilWoken);

    Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // Something a sleeping queue must look at: a post, a timer, a wake.
    bool recheck_ = false;
    std::deque<std::function<void()>> tasks_;
    std::vector<Timer> timers_;
};

}  // namespace ombrix
