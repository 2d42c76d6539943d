// Threads sharing the line: user commands first, the background check only when the
// line is free, and never two exchanges interleaved. Runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "link/BusLock.h"
#include "link/Commands.h"
#include "../support/SimBench.h"

namespace ombrix {
namespace {

using namespace std::chrono_literals;

TEST(BusLock, ForegroundWaitersGoBeforeTheBackground) {
    BusLock lock;
    lock.AcquireForeground();
    std::atomic<int> order{0};
    std::atomic<int> backgroundAt{0}, foregroundAt{0};
    std::thread background([&] {
        ASSERT_TRUE(lock.AcquireBackground(nullptr));
        backgroundAt = ++order;
        lock.ReleaseBackground();
    });
    std::this_thread::sleep_for(20ms);
    std::thread foreground([&] {
        lock.AcquireForeground();
        foregroundAt = ++order;
        lock.ReleaseForeground(false);
    });
    std::this_thread::sleep_for(20ms);
    lock.ReleaseForeground(false);
    background.join();
    foreground.join();
    EXPECT_EQ(foregroundAt, 1);
    EXPECT_EQ(backgroundAt, 2);
}

TEST(BusLock, AHeldLineKeepsTheBackgroundOffUntilTheNextCommand) {
    BusLock lock;
    lock.AcquireForeground();
    lock.ReleaseForeground(true);  // a repeating key
    std::atomic<bool> got{false};
    std::thread background([&] {
        ASSERT_TRUE(lock.AcquireBackground(nullptr));
        got = true;
        lock.ReleaseBackground();
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(got);
    lock.AcquireForeground();
    lock.ReleaseForeground(false);
    background.join();
    EXPECT_TRUE(got);
}

// A line lent by a service is asked for once per turn on it, however the turn nests, and
// a held key keeps the turn until the next command lets go.
TEST(BusLock, TurnsAreAskedForOncePerHoldOfTheLine) {
    struct Case {
        const char* label;
        std::function<void(BusLock&)> run;
        const char* told;  // '+' taken, '-' given back
    };
    const Case cases[] = {
        {"one command", [](BusLock& l) { l.AcquireForeground(); l.ReleaseForeground(false); }, "+-"},
        {"a command of several exchanges",
         [](BusLock& l) {
             l.AcquireForeground();
             l.AcquireForeground();
             l.ReleaseForeground(false);
             l.AcquireForeground();
             l.ReleaseForeground(false);
             l.ReleaseForeground(false);
         },
         "+-"},
        {"a background check", [](BusLock& l) { ASSERT_TRUE(l.AcquireBackground(nullptr)); l.ReleaseBackground(); },
         "+-"},
        {"a held key, then its release",
         [](BusLock& l) {
             l.AcquireForeground();
             l.ReleaseForeground(true);
             l.AcquireForeground();
             l.ReleaseForeground(true);
             l.AcquireForeground();
             l.ReleaseForeground(false);
         },
         "+-"},
        {"two commands", [](BusLock& l) { for (int i = 0; i < 2; ++i) { l.AcquireForeground(); l.ReleaseForeground(false); } },
         "+-+-"},
    };
    for (const Case& c : cases) {
        BusLock lock;
        std::string told;
        lock.SetTurnHook([&](bool take) {
            told += take ? '+' : '-';
            // Told while the line is still this holder's.
            EXPECT_TRUE(lock.Busy()) << c.label;
            return true;
        });
        c.run(lock);
        EXPECT_EQ(told, c.told) << c.label;
    }
}

TEST(BusLock, CancelledBackgroundGivesUp) {
    BusLock lock;
    lock.AcquireForeground();
    std::atomic<bool> cancel{false};
    std::atomic<int> result{-1};
    std::thread background([&] { result = lock.AcquireBackground(&cancel) ? 1 : 0; });
    std::this_thread::sleep_for(20ms);
    cancel = true;
    lock.Interrupt();
    background.join();
    EXPECT_EQ(result, 0);
    lock.ReleaseForeground(false);
}

// Two threads hammer the simulator; an interleaved frame would be refused for its
// checksum or answered for the wrong address, so every answer must be right.
TEST(BusLock, CommandsFromTwoThreadsNeverInterleave) {
    // 1 virtual ms = 20 real microseconds: waits are real, just short.
    ScaledClock clock(50.0);
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
    sim::InProcessOpener opener(bus, clock);
    RecordingUi ui;
    Env env;
    env.clock = &clock;
    env.ui = &ui;
    Link link(clock, opener);
    ASSERT_EQ(SetupConnection(env, link, kOwnerTool), 1);

    std::atomic<int> failures{0};
    std::thread background([&] {
        for (int i = 0; i < 30; ++i) {
            StatusFlags flags;
            uint32_t valid = 0;
            std::string id;
            if (ReadStatus(link, 3, &flags, &valid, true) != 3 || valid != 1) ++failures;
            if (ReadIdNumber(link, 3, &id, true) != 3 || id != "-2147483647") ++failures;
        }
    });
    for (int i = 0; i < 30; ++i) {
        std::string serial;
        if (ReadSerialNumber(link, 1, &serial) != 3 || serial != "1234567") ++failures;
        uint8_t data[16];
        if (ReadBlockData(link, 1, data, 0x40, 0x01, 0x20, 0x34, 16) != 3 || data[15] != 15) ++failures;
    }
    background.join();
    EXPECT_EQ(failures, 0);
    CloseConnectionAll(link);
}

}  // namespace
}  // namespace ombrix
