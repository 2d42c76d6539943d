// A held repeating key on a scaled clock, with a background command waiting for the line:
// how often the code goes out, that it stops with the button, and that the background
// gets the line only after the hold. Runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "remote/RemoteKeys.h"
#include "../support/SimBench.h"
#include "../support/WireTiming.h"

namespace ombrix {
namespace {

using namespace std::chrono_literals;

// 1 virtual ms = 20 real microseconds.
class RemoteRepeat : public ::testing::Test {
protected:
    RemoteRepeat() {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
        env.clock = &clock;
        env.ui = &ui;
        EXPECT_EQ(SetupConnection(env, link, kOwnerTool), 1);
        window.address = window.remoteAddress = 1;
    }
    ~RemoteRepeat() override { CloseConnectionAll(link); }

    // Requests with this command byte so far.
    int Count(uint8_t command) const {
        int n = 0;
        for (const auto& e : bus.Transcript())
            if (e.fromHost && e.bytes.size() == 9 && e.bytes[0] == 0x02 &&
                static_cast<uint8_t>(e.bytes[3] - e.bytes[1]) == command)
                ++n;
        return n;
    }
    void WaitVirtual(uint64_t ms) {
        const uint64_t until = clock.TickMs() + ms;
        while (clock.TickMs() < until) std::this_thread::sleep_for(1ms);
    }

    ScaledClock clock{50.0};
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    Env env;
    Link link{clock, opener};
    ProjectorTable table;
    RemoteWindowEntry window;
    std::atomic<bool> down{true};
};

TEST_F(RemoteRepeat, SendsWhileHeldAndKeepsTheBackgroundOff) {
    KeyPress press = BeginKeyPress(window, table, 1070);
    std::atomic<int> sends{-1};
    std::thread holder([&] { sends = RunRepeatLoop(link, env, press, down); });

    while (Count(0x39) == 0) std::this_thread::sleep_for(1ms);
    const uint64_t firstSeen = clock.TickMs();
    // The check asks for the line now and must wait for the end of the hold.
    std::atomic<bool> backgroundDone{false};
    std::atomic<int> keysBeforeBackground{-1};
    std::thread background([&] {
        StatusFlags flags;
        uint32_t valid = 0;
        EXPECT_EQ(ReadStatus(link, 1, &flags, &valid, true), kDone);
        backgroundDone = true;
    });
    WaitVirtual(3000);
    EXPECT_FALSE(backgroundDone.load());
    EXPECT_TRUE(link.repeatActive.load());
    const uint64_t released = clock.TickMs();
    down = false;
    holder.join();
    const int sent = Count(0x39);
    background.join();
    EXPECT_TRUE(backgroundDone.load());
    EXPECT_FALSE(link.repeatActive.load());

    EXPECT_EQ(sent, sends.load());
    // One send per 120 ms pause plus the frame, for as long as the button was down.
    EXPECT_GE(sent, 2);
    EXPECT_LE(static_cast<uint64_t>(sent), (released - firstSeen) / kSendPauseMs + 2);
    // Nothing after the release, and the background's request came after every key.
    WaitVirtual(1000);
    EXPECT_EQ(Count(0x39), sent);
    const auto& t = bus.Transcript();
    int lastKey = -1, status = -1;
    for (int i = 0; i < static_cast<int>(t.size()); ++i) {
        const auto& e = t[static_cast<size_t>(i)];
        if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != 0x02) continue;
        const auto command = static_cast<uint8_t>(e.bytes[3] - e.bytes[1]);
        if (command == 0x39) lastKey = i;
        if (command == 'K') status = i;
    }
    EXPECT_GT(status, lastKey);
}

TEST_F(RemoteRepeat, ReleasedBeforeTheDelayStillSendsOnce) {
    down = false;
    KeyPress press = BeginKeyPress(window, table, 1028);
    const uint64_t start = clock.TickMs();
    EXPECT_EQ(RunRepeatLoop(link, env, press, down), 1);
    EXPECT_GE(clock.TickMs() - start, kRepeatDelayMs);
    EXPECT_EQ(Count(0x37), 1);
    EXPECT_FALSE(link.lock.Held());
}

TEST_F(RemoteRepeat, AFailureEndsTheHold) {
    bus.SetFault(1, sim::Fault{sim::FaultKind::Nack, 0, -1, 2});
    KeyPress press = BeginKeyPress(window, table, 1029);
    EXPECT_EQ(RunRepeatLoop(link, env, press, down), 3);
    EXPECT_EQ(ui.Boxes().size(), 1u);
    EXPECT_FALSE(link.lock.Held());
}

// The same hold on a virtual clock, measured on the wire: the first send 300 ms after
// the press, then each next one 120 ms after the previous key's acknowledgement.
TEST(RemoteRepeatTiming, FirstSend300MsAfterThePressThenEvery120Ms) {
    VirtualClock clock;
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    Env env;
    env.clock = &clock;
    env.ui = &ui;
    Link link{clock, opener};
    ASSERT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    ProjectorTable table;
    RemoteWindowEntry window;
    window.address = window.remoteAddress = 1;
    KeyPress press = BeginKeyPress(window, table, 1070);
    bus.ClearTranscript();

    std::atomic<bool> down{true};
    const uint64_t pressed = clock.TickMs();
    std::thread holder([&] { RunRepeatLoop(link, env, press, down); });
    auto keys = [&] {
        size_t n = 0;
        for (const auto& f : testing::WireFrames(bus)) n += f.fromHost && f.command == 0x39;
        return n;
    };
    while (keys() < 3) std::this_thread::sleep_for(1ms);
    down = false;
    holder.join();
    CloseConnectionAll(link);

    const auto frames = testing::WireFrames(bus);
    const auto first = testing::FindRequest(frames, 0x39);
    ASSERT_TRUE(first);
    EXPECT_GE(frames[*first].time - pressed, 300u);
    EXPECT_LE(frames[*first].time - pressed, 310u);
    const auto second = testing::FindRequest(frames, 0x39, *first + 1);
    ASSERT_TRUE(second);
    ASSERT_EQ(*second, *first + 2);
    const testing::WireFrame& ack = frames[*first + 1];
    ASSERT_FALSE(ack.fromHost);
    EXPECT_GE(frames[*second].time - ack.time, 120u);
    EXPECT_LE(frames[*second].time - ack.time, 130u);
}

}  // namespace
}  // namespace ombrix
