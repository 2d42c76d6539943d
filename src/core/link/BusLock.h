#pragma once
// One talker on the line at a time. Commands of the user (and of the IRIS worker) come
// first: the background check waits while any of them is waiting, running, or holding
// the line for a repeating remote-control key. The thread that holds the line in the
// foreground may take it again (a command made of several exchanges holds it throughout).
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ombrix {

class BusLock {
public:
    void AcquireForeground();
    // False when cancel became true before the line was free.
    bool AcquireBackground(const std::atomic<bool>* cancel);
    // hold: keep the background off the line after this command (a held remote key).
    void ReleaseForeground(bool hold);
    void ReleaseBackground();
    // Wakes background waiters so they can see their cancel flag: call it after setting
    // the flag, or a waiter sleeps on.
    void Interrupt();

    // Told on the holder's thread, while it holds the line, when the line is first taken
    // (true) and when it is given back for good (false; a held key keeps it): a line lent
    // by a service asks for its turn there. Set before any thread takes the line.
    void SetTurnHook(std::function<bool(bool take)> hook) { turnHook_ = std::move(hook); }

    bool Busy() const;
    bool Held() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool busy_ = false;
    bool held_ = false;
    int foregroundWaiting_ = 0;
    std::thread::id owner_;  // the foreground holder
    int depth_ = 0;          // how often it took the line
    std::function<bool(bool)> turnHook_;
    // Whether the hook was told of a take not yet given back; only the line's holder
    // touches it.
    bool turnTaken_ = false;
    void TakeTurn();
    void EndTurn();
};

}  // namespace ombrix
