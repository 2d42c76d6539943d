#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace ombrix {
namespace {

uint64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

void SleepUs(uint64_t us) {
    timespec ts{static_cast<time_t>(us / 1000000u), static_cast<long>((us % 1000000u) * 1000u)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace

int64_t Clock::WallMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

uint64_t SteadyClock::TickMs() { return MonotonicUs() / 1000u; }

void SteadyClock::SleepUntil(uint64_t tick) {
    for (;;) {
        const uint64_t nowUs = MonotonicUs();
        const uint64_t targetUs = tick * 1000u;
        if (nowUs >= targetUs) return;
        SleepUs(targetUs - nowUs);
    }
}

void VirtualClock::SleepUntil(uint64_t tick) {
    uint64_t cur = now_.load();
    while (cur < tick && !now_.compare_exchange_weak(cur, tick)) {
    }
}

ScaledClock::ScaledClock(double factor) : factor_(factor > 0 ? factor : 1.0), originUs_(MonotonicUs()) {}

uint64_t ScaledClock::TickMs() {
    const double elapsedUs = static_cast<double>(MonotonicUs() - originUs_);
    return 1000u + static_cast<uint64_t>(elapsedUs * factor_ / 1000.0);
}

void ScaledClock::SleepUntil(uint64_t tick) {
    for (;;) {
        const uint64_t now = TickMs();
        if (now >= tick) return;
        const double realUs = static_cast<double>(tick - now) * 1000.0 / factor_;
        SleepUs(static_cast<uint64_t>(realUs) + 1);
    }
}

}  // namespace ombrix
