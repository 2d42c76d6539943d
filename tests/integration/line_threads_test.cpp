// The line shared by the user and the background check, with real threads on a scaled
// clock: the check's commands give way and stop when told, and a lost line is said once.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "Cli.h"
#include "app/Options.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/Search.h"
#include "link/Commands.h"
#include "platform/Dispatcher.h"
#include "../support/CheckBench.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

// Standard error of a watch, read by the test while the watch's threads write it.
struct SharedStream {
    struct Buf : std::stringbuf {
        std::recursive_mutex m;
        int sync() override { return 0; }
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            std::lock_guard<std::recursive_mutex> lock(m);
            return std::stringbuf::xsputn(s, n);
        }
        int_type overflow(int_type c) override {
            std::lock_guard<std::recursive_mutex> lock(m);
            return std::stringbuf::overflow(c);
        }
    } buf;
    std::ostream stream{&buf};
    std::string Text() {
        std::lock_guard<std::recursive_mutex> lock(buf.m);
        return buf.str();
    }
};

struct Bench {
    Bench() {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
        env.clock = &clock;
        env.ui = &ui;
        EXPECT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    }
    ~Bench() { CloseConnectionAll(link); }
    ScaledClock clock{50.0};
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    Env env;
    Link link{clock, opener};
};

TEST(SharedLine, BackgroundCommandsGiveWayToTheUser) {
    Bench b;
    std::atomic<bool> stop{false};
    std::atomic<int> backgroundDone{0};
    std::thread background([&] {
        StatusFlags flags;
        uint32_t valid = 0;
        while (!stop.load()) {
            if (ReadStatus(b.link, 3, &flags, &valid, true) == kDone) ++backgroundDone;
        }
    });
    while (backgroundDone.load() < 2) b.clock.Nap(10);
    // The user's question waits at most for the exchange already on the line.
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        std::string serial;
        const uint64_t t0 = b.clock.TickMs();
        EXPECT_EQ(ReadSerialNumber(b.link, 1, &serial), kDone);
        EXPECT_EQ(serial, "1234567");
        EXPECT_LT(b.clock.TickMs() - t0, (5u + 401 + 301) + (5u + 301 + 101) + 1500);
    }
    stop = true;
    background.join();
}

TEST(SharedLine, AStoppedCheckCommandNeverReachesTheLine) {
    Bench b;
    b.link.lock.AcquireForeground();  // a user command holds the line
    std::atomic<int> result{-1};
    std::thread background([&] {
        StatusFlags flags;
        uint32_t valid = 0;
        result = ReadStatus(b.link, 1, &flags, &valid, true);
    });
    b.clock.WaitMs(500);
    b.link.backgroundStop = true;
    b.link.lock.Interrupt();
    background.join();
    b.link.lock.ReleaseForeground(false);
    EXPECT_EQ(result.load(), kNoAck);
    EXPECT_TRUE(b.bus.Transcript().empty());
}

TEST(SharedLine, TheCheckSaysOnceThatTheLineWasLostAndKeepsTheProjectors) {
    testing::SearchedProgram p;
    ASSERT_TRUE(p.ready);
    ScaledClock& clock = p.clock;
    ProgramState& state = p.state;

    TaskQueue queue(clock);
    int armed = 0;
    int lost = 0;
    BackgroundCheck* ptr = nullptr;
    BackgroundCheck::Hooks hooks;
    hooks.armTimer = [&](uint32_t ms) {
        ++armed;
        queue.StartTimer(1, ms, [&] { ptr->OnCheckTimer(); });
    };
    hooks.lineLost = [&] { ++lost; };
    {
        BackgroundCheck check(state, queue, hooks);
        ptr = &check;
        check.SetIntervalOverride(2000);
        ASSERT_TRUE(check.Start());
        p.bus.DropLine();
        queue.RunUntil(clock.TickMs() + 60000, [&] { return lost > 0; });
        // Nothing more comes: no second box, no new pass.
        const int armedThen = armed;
        queue.RunUntil(clock.TickMs() + 10000, [] { return false; });
        EXPECT_EQ(armed, armedThen);
        check.RequestCheckStop();
    }
    EXPECT_EQ(lost, 1);
    int boxes = 0;
    for (const RecordedBox& box : p.ui.Boxes()) {
        if (box.text == "The line COM2 (/dev/ttyS1) was lost.") ++boxes;
    }
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(state.projectors.connectedCount, 3);
}

// Unattended: the watch says once that the line went, reopens it when it can, and checks on.
TEST(CliWatch, ReopensALostLineAndCarriesOn) {
    testing::WatchBench w;
    ScaledClock& clock = w.clock;
    sim::SimBus& bus = w.bus;
    sim::InProcessOpener& opener = w.opener;
    SharedStream out, err;
    std::atomic<bool> interrupted{false};
    cli::CliPorts ports = w.Ports(out.stream, err.stream);
    ports.interrupted = &interrupted;
    int status = -1;
    std::thread watch([&] { status = cli::RunCli({"watch", "--interval", "2"}, ports); });
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    auto waitFor = [&](SharedStream& s, const std::string& text, size_t times) {
        for (int i = 0; i < 20000 && count(s.Text(), text) < times; ++i) clock.Nap(10);
        return count(s.Text(), text) >= times;
    };
    while (!std::filesystem::exists("addr.cfg")) clock.Nap(10);
    opener.fail = true;  // gone until it comes back
    bus.DropLine();
    EXPECT_TRUE(waitFor(err, "Projector RS232: The line COM2 (/dev/ttyS1) was lost.\n", 1));
    bus.RestoreLine();
    opener.fail = false;
    EXPECT_TRUE(waitFor(err, "ombrix-cli: the line COM2 (/dev/ttyS1) is back\n", 1));
    // The check carries on with all three.
    const std::string found3 = "Projector with address 3 found\n";
    EXPECT_TRUE(waitFor(out, found3, count(out.Text(), found3) + 1));
    EXPECT_EQ(out.Text().find("removed:"), std::string::npos) << out.Text();
    interrupted = true;
    watch.join();
    EXPECT_EQ(status, 0);
    const std::string text = err.Text();
    EXPECT_EQ(text.find("was lost"), text.rfind("was lost")) << text;
    EXPECT_EQ(text.find("Error  3"), std::string::npos) << text;  // the retries are quiet
}

}  // namespace
}  // namespace ombrix
