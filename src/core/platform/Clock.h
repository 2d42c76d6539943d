#pragma once
// Millisecond time for every wait of the program. Real waits sleep in the kernel;
// tests swap in a virtual clock (instant) or a scaled one (threads, compressed time).
#include <atomic>
#include <cstdint>

namespace ombrix {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds.
    virtual uint64_t TickMs() = 0;
    // Returns once TickMs() >= tick (or at once if it already is).
    virtual void SleepUntil(uint64_t tick) = 0;
    // Sleeps at most maxMs; used between polls of something that may change sooner.
    virtual void Nap(uint32_t maxMs) { SleepUntil(TickMs() + maxMs); }
    // Milliseconds since the epoch, for what happens at a time of day. It may jump
    // (the machine's time being set); waits use TickMs.
    virtual int64_t WallMs();
    // Real microseconds that `ms` of this clock's time take, so a waiter can block on a
    // notification with a deadline instead of napping; -1 for a clock that moves only
    // when someone sleeps on it.
    virtual int64_t RealMicroseconds(uint64_t ms) const {
        (void)ms;
        return -1;
    }

    // The settling delay of the protocol: returns once the tick is strictly past start + ms.
    int WaitMs(uint32_t ms) {
        SleepUntil(TickMs() + ms + 1);
        return 1;
    }
};

class SteadyClock final : public Clock {
public:
    uint64_t TickMs() override;
    void SleepUntil(uint64_t tick) override;
    int64_t RealMicroseconds(uint64_t ms) const override { return static_cast<int64_t>(ms) * 1000; }
};

// Time moves only when someone sleeps: a 2000 ms time-out costs nothing in a test.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint64_t start = 1000) : now_(start) {}
    uint64_t TickMs() override { return now_.load(); }
    void SleepUntil(uint64_t tick) override;
    void Advance(uint64_t ms) { now_ += ms; }
    // Wall time moves with the tick; this sets where it stands now.
    int64_t WallMs() override { return wallOrigin_.load() + static_cast<int64_t>(now_.load()); }
    void SetWallMs(int64_t ms) { wallOrigin_ = ms - static_cast<int64_t>(now_.load()); }

private:
    std::atomic<uint64_t> now_;
    std::atomic<int64_t> wallOrigin_{0};
};

// Real time running `factor` times faster, for tests where threads race for real.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(double factor);
    uint64_t TickMs() override;
    void SleepUntil(uint64_t tick) override;
    int64_t RealMicroseconds(uint64_t ms) const override {
        return static_cast<int64_t>(static_cast<double>(ms) * 1000.0 / factor_) + 1;
    }

private:
    double factor_;
    uint64_t originUs_;
};

}  // namespace ombrix
