// The background check with its real worker threads, on a scaled clock: findings reach
// the table through the dispatcher, user commands keep working meanwhile, and the
// command-line watch prints what it should. Runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "Cli.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/Search.h"
#include "platform/Dispatcher.h"
#include "../support/CheckBench.h"
#include "../support/Loaders.h"
#include "../support/SimBench.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

TEST(BackgroundCheck, DropsASilentProjectorWhileUserCommandsRun) {
    testing::SearchedProgram p;
    ASSERT_TRUE(p.ready);
    ScaledClock& clock = p.clock;
    sim::SimBus& bus = p.bus;
    ProgramState& state = p.state;

    TaskQueue queue(clock);
    std::vector<CheckApplied> passes;
    BackgroundCheck* ptr = nullptr;
    BackgroundCheck::Hooks hooks;
    hooks.armTimer = [&](uint32_t ms) { queue.StartTimer(1, ms, [&] { ptr->OnCheckTimer(); }); };
    hooks.applied = [&](const CheckApplied& a) { passes.push_back(a); };
    {
        BackgroundCheck check(state, queue, hooks);
        ptr = &check;
        check.SetIntervalOverride(2000);
        ASSERT_TRUE(check.Start());
        bus.Control("power 2 off", 0, nullptr);

        // The user keeps working on the line while the check runs.
        std::atomic<bool> userDone{false};
        std::atomic<int> userFailures{0};
        std::thread user([&] {
            for (int i = 0; i < 10; ++i) {
                std::string serial;
                if (ReadSerialNumber(state.link, 1, &serial) != 3 || serial != "1234567") ++userFailures;
            }
            userDone = true;
        });
        queue.RunUntil(clock.TickMs() + 60000, [&] { return !passes.empty() && userDone.load(); });
        user.join();
        EXPECT_EQ(userFailures, 0);
        check.RequestCheckStop();
    }
    ASSERT_FALSE(passes.empty());
    EXPECT_EQ(passes[0].removed, (std::vector<int>{2}));
    EXPECT_EQ(state.projectors.connectedCount, 2);
    EXPECT_EQ(state.options.searchLimit, 2);
}

TEST(BackgroundCheck, QuietOptionsRunNoCheck) {
    testing::TempDir dir;
    ScaledClock clock(50.0);
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error));
    sim::InProcessOpener opener(bus, clock);
    RecordingUi ui;
    testing::SelectiveLoader loader;
    ProgramState state(clock, ui, loader, opener);
    StartProgram(state);
    state.projectors.connectedCount = 1;
    state.projectors.records[0].address = 1;
    state.options.checkQuiet = 1;
    TaskQueue queue(clock);
    int armed = 0;
    BackgroundCheck::Hooks hooks;
    hooks.armTimer = [&](uint32_t) { ++armed; };
    BackgroundCheck check(state, queue, hooks);
    ASSERT_TRUE(check.Start());
    check.OnCheckTimer();
    EXPECT_TRUE(check.WorkersDone());
    EXPECT_EQ(armed, 1);
    // No tip text at all while quiet.
    for (const auto& e : ui.Events()) EXPECT_NE(e.rfind("tip", 0), 0u) << e;
}

TEST(CliWatch, OnceRemovesTheProjectorThatStoppedAnswering) {
    testing::WatchBench w;
    sim::SimBus& bus = w.bus;
    std::ostringstream out, err;
    cli::CliPorts ports = w.Ports(out, err);
    int status = -1;
    std::thread watch([&] { status = cli::RunCli({"watch", "--once", "--interval", "60"}, ports); });
    // Once the search has written the generated set, projector 3 goes quiet.
    for (int i = 0; i < 5000 && !std::filesystem::exists("addr.cfg"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bus.Control("power 3 off", 0, nullptr);
    watch.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.str(),
              "Projector with address 1 found ...\n"
              "Projector with address 2 found ...\n"
              "Projector with address 3 found ...\n"
              "1 V 5 ZV-051 3 100234 Operating\n"
              "2 ? -1 ? -1 -1 StandBy\n"
              "3 V 25 ZV-251 12 -2147483647 Operating\n"
              "Projector with address 1 found\n"
              "Projector with address 2 found\n"
              "Projector with address 3 not found\n"
              "removed: 3 V 25 ZV-251 12 -2147483647 Operating\n");
    EXPECT_EQ(err.str(), "");
    // The options as the program leaves them: three found, then one removed.
    ProgramOptions after;
    ASSERT_EQ(ReadOptionsFile("options.cfg", &after, nullptr), OptionsRead::Loaded);
    EXPECT_EQ(after.searchLimit, 2);
    EXPECT_EQ(after.useAddressSet, 1);
}

}  // namespace
}  // namespace ombrix
