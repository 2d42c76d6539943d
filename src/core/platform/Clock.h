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
};

// Time moves only when someone sleeps: a 2000 ms time-out costs nothing in a test.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint64_t start = 1000) : now_(start) {}
    uint64_t TickMs() override { return now_.load(); }
    void SleepUntil(uint64_t tick) override;
    void Advance(uint64_t ms) { now_ += ms; }

private:
    std::atomic<uint64_t> now_;
};

// Real time running `factor` times faster, for tests where threads race for real.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(double factor);
    uint64_t TickMs() override;
    void SleepUntil(uint64_t tick) override;

private:
    double factor_;
    uint64_t originUs_;
};

}  // namespace ombrix
