// The service's live view against the in-process simulator on the virtual clock: which
// readings are applied, what a reading asks, and what a projector shows through
// standby, loss and a lost line; and the owner's queue sleeping while there is nothing
// to do.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "SimBench.h"
#include "TempDir.h"
#include "app/Program.h"
#include "discovery/Search.h"
#include "platform/Dispatcher.h"
#include "platform/Library.h"
#include "service/LiveView.h"
#include "service/StatusReader.h"

namespace ombrix {
namespace {

using nlohmann::json;

// kThreeProjectors searched (1 operating, 2 in standby, 3 operating), each found
// projector identified as the server's search does.
struct LiveBench {
    LiveBench() {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
        bus.With(1, [](sim::SimProjector& p) { p.runtimeHours = 300; });
        StartProgram(state);
        EXPECT_EQ(SetupConnection(state.env, state.link, kOwnerTool), 1);
        SetSearchMode(state.options, kCmdCheckTo16);
        state.options.searchLimit = 4;
        SearchConnectedProjectors(state, [this](int32_t address, ProjectorRecord* record) {
            const ProbeOutcome p = ProbeAddress(state.link, state.env, address, record, &state.statusFlags, false);
            if (p.answered) {
                KeptIdentity id;
                std::optional<long> hours;
                std::optional<KeptIdentity> read;
                if (!record->standby && ReadKeptIdentity(state.link, record->address, false, &id, &hours)) read = id;
                live.Found(record, read, hours);
            }
            return p;
        });
        EXPECT_EQ(state.projectors.connectedCount, 3);
    }
    ~LiveBench() { CloseConnectionAll(state.link); }
    void Control(const std::string& line) {
        std::string reply;
        EXPECT_TRUE(bus.Control(line, clock.TickMs(), &reply)) << reply;
    }
    LiveReading Read(uint8_t address) {
        bool lineLost = false;
        return rounds.ReadConnected(address, true, &lineLost).value_or(LiveReading{});
    }
    const ProjectorRecord* Record(int address) const {
        for (int i = 0; i < state.projectors.connectedCount; ++i)
            if (state.projectors.records[static_cast<size_t>(i)].address == address)
                return &state.projectors.records[static_cast<size_t>(i)];
        return nullptr;
    }
    // Commands sent since the transcript was cleared, by command byte.
    std::vector<int> Sent() const {
        std::vector<int> out;
        for (const auto& e : bus.Transcript())
            if (e.fromHost && e.bytes.size() == 9 && e.bytes[0] == 0x02)
                out.push_back(static_cast<uint8_t>(e.bytes[3] - e.bytes[1]));
        return out;
    }

    testing::TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    DlLibraryLoader loader;
    ProgramState state{clock, ui, loader, opener};
    LiveView live{state.env, nullptr};
    StatusRounds rounds{state.link, live.Generations()};
};

TEST(LiveView, AReadingIsAppliedUnlessACommandEndedAfterItBegan) {
    struct Case {
        const char* label;
        std::function<std::vector<ServiceEvent>(LiveBench&)> run;
        std::vector<std::string> kinds;
        std::string state;  // of the projector in the last event, or in the table
        bool connected;     // still in the table
    };
    const int a = 1;
    const Case cases[] = {
        {"a fresh reading of a changed state",
         [](LiveBench& b) {
             b.Control("standby 1 on");
             return b.live.Apply(b.state, b.Read(a));
         },
         {"state change"}, "StandBy", true},
        {"a reading begun before a command ended is dropped",
         [](LiveBench& b) {
             b.Control("standby 1 on");
             const LiveReading r = b.Read(a);
             b.live.Generations().Bump(a);
             return b.live.Apply(b.state, r);
         },
         {}, "Operating", true},
        {"a reading that says nothing new publishes nothing",
         [](LiveBench& b) { return b.live.Apply(b.state, b.Read(a)); }, {}, "Operating", true},
        {"no answer: lost, kept with its identity",
         [](LiveBench& b) {
             b.Control("power 1 off");
             return b.live.Apply(b.state, b.Read(a));
         },
         {"lost"}, "Lost", false},
        {"a lost projector that answers is found again",
         [](LiveBench& b) {
             b.Control("power 1 off");
             b.live.Apply(b.state, b.Read(a));
             b.Control("power 1 on");
             bool lineLost = false;
             return b.live.Apply(b.state, *b.rounds.ProbeLost(a, &lineLost));
         },
         {"found"}, "Operating", true},
        {"while the line is down every projector is unknown and no reading applies",
         [](LiveBench& b) {
             auto events = b.live.LineChanged(false, "The line was lost.", b.state);
             b.Control("standby 1 on");
             for (const ServiceEvent& e : b.live.Apply(b.state, b.Read(a))) events.push_back(e);
             return events;
         },
         {"line lost", "state change", "state change", "state change"}, "unknown", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        LiveBench b;
        const std::vector<ServiceEvent> events = c.run(b);
        std::vector<std::string> kinds;
        for (const ServiceEvent& e : events) kinds.push_back(e.kind);
        EXPECT_EQ(kinds, c.kinds);
        EXPECT_EQ(b.Record(a) != nullptr, c.connected);
        json shown = b.Record(a) ? b.live.Json(*b.Record(a)) : json();
        for (const ServiceEvent& e : events)
            if (e.address == a) shown = e.fields["projector"];
        EXPECT_EQ(shown["state"], c.state) << shown.dump();
        // Whatever happened, the identity read while it was awake stays.
        EXPECT_EQ(shown["model"], "ZV-051") << shown.dump();
        EXPECT_EQ(shown["version"], "3.05");
        EXPECT_EQ(shown["serial"], "1234567");
        EXPECT_EQ(shown["runtime"], 300);
        EXPECT_EQ(shown["lost"], c.state == "Lost");
    }
}

TEST(LiveView, AReadingAsksOnlyWhatIsDue) {
    struct Case {
        const char* label;
        std::function<LiveReading(LiveBench&)> run;
        std::vector<int> sent;  // command bytes of the last reading
        bool identity;
        std::optional<long> hours;
    };
    constexpr int kStatus = 'K', kIdentity = 'L', kId = 'I', kSerial = 'M', kHours = 0x60;
    const Case cases[] = {
        {"awake and identified: the status alone", [](LiveBench& b) { return b.Read(1); }, {kStatus}, false, {}},
        {"never identified: identity, id, serial and hours with the status",
         [](LiveBench& b) {
             bool lineLost = false;
             return *b.rounds.ReadConnected(1, false, &lineLost);
         },
         {kStatus, kIdentity, kId, kSerial, kHours}, true, 300},
        {"out of standby: identified again",
         [](LiveBench& b) {
             b.Control("standby 1 on");
             b.Read(1);
             b.Control("standby 1 off");
             b.bus.ClearTranscript();
             return b.Read(1);
         },
         {kStatus, kIdentity, kId, kSerial, kHours}, true, 300},
        {"ten minutes on: the running hours again",
         [](LiveBench& b) {
             b.Read(1);
             b.bus.With(1, [](sim::SimProjector& p) { p.runtimeHours = 310; });
             b.clock.Advance(10 * 60 * 1000);
             b.bus.ClearTranscript();
             return b.Read(1);
         },
         {kStatus, kHours}, false, 310},
        {"in standby: the status alone, however long",
         [](LiveBench& b) {
             b.Read(2);
             b.clock.Advance(60 * 60 * 1000);
             b.bus.ClearTranscript();
             return b.Read(2);
         },
         {kStatus}, false, {}},
        {"a connected projector that is silent: asked again after 2 s",
         [](LiveBench& b) {
             b.Control("power 3 off");
             b.bus.ClearTranscript();
             return b.Read(3);
         },
         {kStatus, kStatus}, false, {}},
        {"a lost address that is silent: asked once",
         [](LiveBench& b) {
             b.Control("power 3 off");
             b.bus.ClearTranscript();
             bool lineLost = false;
             EXPECT_FALSE(b.rounds.ProbeLost(3, &lineLost));
             return LiveReading{};
         },
         {kStatus}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        LiveBench b;
        b.bus.ClearTranscript();
        const LiveReading r = c.run(b);
        EXPECT_EQ(b.Sent(), c.sent);
        EXPECT_EQ(r.identity.has_value(), c.identity);
        EXPECT_EQ(r.runtimeHours, c.hours);
    }
}

TEST(LiveView, TheRetryOfASilentProjectorWaitsTwoSeconds) {
    LiveBench b;
    b.Control("power 3 off");
    b.bus.ClearTranscript();
    b.Read(3);
    std::vector<uint64_t> at;
    for (const auto& e : b.bus.Transcript())
        if (e.fromHost && e.bytes.size() == 9) at.push_back(e.time);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_GE(at[1] - at[0], 2000u);
}

TEST(LiveView, ALostLineIsReportedNotTakenForSilence) {
    LiveBench b;
    b.bus.DropLine();
    bool lineLost = false;
    EXPECT_FALSE(b.rounds.ReadConnected(1, true, &lineLost));
    EXPECT_TRUE(lineLost);
}

// A clock that counts how often it is asked the time: a queue that naps asks it at every
// nap, one that waits on its posts does not.
class CountingClock final : public Clock {
public:
    uint64_t TickMs() override {
        ++asked;
        return real_.TickMs();
    }
    void SleepUntil(uint64_t tick) override { real_.SleepUntil(tick); }
    int64_t RealMicroseconds(uint64_t ms) const override { return real_.RealMicroseconds(ms); }
    std::atomic<int> asked{0};

private:
    SteadyClock real_;
};

TEST(TaskQueueThreads, SleepsUntilAPostOrATimer) {
    CountingClock clock;
    TaskQueue queue(clock);
    std::atomic<bool> stop{false};
    std::atomic<int> ran{0};
    std::thread owner([&] { queue.Serve([&] { return stop.load(); }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(clock.asked.load(), 4) << "the queue woke while there was nothing to do";
    queue.Post([&] { ++ran; });
    queue.StartTimer(1, 50, [&] { ++ran; });
    for (int i = 0; i < 200 && ran < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ran.load(), 2);
    stop = true;
    queue.Wake();
    owner.join();
}

}  // namespace
}  // namespace ombrix
