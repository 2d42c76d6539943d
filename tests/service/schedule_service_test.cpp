// Schedule runs through the service's commands on the program's own thread, against the
// in-process simulator; the schedule list's GET and PUT; what a command came to, per projector.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "CheckBench.h"
#include "platform/Dispatcher.h"
#include "service/ScheduleService.h"

namespace ombrix {
namespace {

using nlohmann::json;

// The program's tables belong to one thread; commands reach them through its queue.
struct ServiceBench {
    ServiceBench() {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        owner = std::thread([this] {
            while (!stop) queue.RunUntil(program.clock.TickMs() + 50, [this] { return stop.load(); });
        });
        wall.SetWallMs(Epoch2026_06_05_0829 * 1000);
    }
    ~ServiceBench() {
        runner.Stop();
        stop = true;
        owner.join();
        unsetenv("TZ");
        tzset();
    }
    bool Standby(uint8_t address) {
        bool s = false;
        program.bus.With(address, [&](sim::SimProjector& p) { s = p.Standby(); });
        return s;
    }
    void Schedule(const std::string& entries) {
        const ScheduleReply r = PutSchedules("schedules.json", entries, scheduler);
        ASSERT_EQ(r.result, ScheduleResult::Done) << r.body;
    }
    // 2026-06-05 08:29:00 CEST, a Friday.
    static constexpr int64_t Epoch2026_06_05_0829 = 1780640940;

    testing::SearchedProgram program;
    TaskQueue queue{program.clock};
    CommandRunner runner{queue};
    std::atomic<bool> stop{false};
    std::thread owner;
    VirtualClock wall;
    std::vector<ServiceEvent> events;
    std::vector<uint8_t> snapshotted;
    Scheduler scheduler{wall,
                        [this](const ScheduleEntry& e) {
                            ScheduleHooks hooks;
                            hooks.run = [this](const std::function<void(ProgramState&)>& work) {
                                return runner.Run([this, work] { work(program.state); });
                            };
                            hooks.groups = [](ProgramState&, const std::string& group, std::vector<uint8_t>* targets,
                                              std::string* error) {
                                if (group != "Dome") {
                                    *error = "no group \"" + group + "\"";
                                    return false;
                                }
                                *targets = {1, 3};
                                return true;
                            };
                            hooks.snapshot = [this](ProgramState&, const std::vector<uint8_t>& targets) {
                                ActionOutcome o;
                                for (uint8_t a : targets) o.targets.push_back({a, MemberSkip::None, a != 3, ""});
                                snapshotted.insert(snapshotted.end(), targets.begin(), targets.end());
                                return o;
                            };
                            return RunScheduleEntry(e, hooks);
                        },
                        [this](const ScheduleRunReport& r) { events.push_back(ScheduleRunEvent(r)); }, nullptr};
};

TEST(ScheduleService, EntryForTheNextMinuteSwitchesTheNamedProjector) {
    ServiceBench b;
    ASSERT_TRUE(b.program.ready);
    b.Schedule(R"([{"name": "Off", "days": ["fri"], "time": "08:30", "target": {"address": 3}, "action": {"power": false}}])");
    const json list = json::parse(GetSchedules(b.scheduler).body);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["next"], "2026-06-05T08:30:00+02:00");
    EXPECT_EQ(b.scheduler.Poll(), 60000);
    EXPECT_FALSE(b.Standby(3));

    b.wall.Advance(60000);
    b.scheduler.Poll();
    EXPECT_TRUE(b.Standby(3));
    EXPECT_FALSE(b.Standby(1));
    ASSERT_EQ(b.events.size(), 1u);
    const json e = EventJson(b.events[0]);
    EXPECT_EQ(e["event"], "schedule");
    EXPECT_EQ(e["name"], "Off");
    EXPECT_EQ(e["ok"], true);
    EXPECT_EQ(e["results"], json::parse(R"([{"address": 3, "ok": true}])"));
}

struct RunCase {
    const char* label;
    const char* target;
    bool dropLine;
    bool ok;
    const char* results;  // JSON, or empty when the run had none
    const char* error;
};

class ScheduleServiceRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(ScheduleServiceRuns, ReportPerProjector) {
    const RunCase& c = GetParam();
    ServiceBench b;
    ASSERT_TRUE(b.program.ready);
    b.Schedule(std::string(R"([{"name": "Run", "days": ["fri"], "time": "08:30", "target": )") + c.target +
               R"(, "action": {"key": 27}}])");
    if (c.dropLine) b.program.bus.DropLine();
    b.wall.Advance(60000);
    b.scheduler.Poll();
    ASSERT_EQ(b.events.size(), 1u);
    const json e = EventJson(b.events[0]);
    EXPECT_EQ(e["ok"], c.ok) << e.dump();
    if (*c.results) {
        std::vector<std::pair<int, bool>> got;
        for (const auto& r : e["results"]) got.emplace_back(r["address"], r["ok"]);
        std::vector<std::pair<int, bool>> want;
        for (const auto& r : json::parse(c.results)) want.emplace_back(r[0], r[1]);
        EXPECT_EQ(got, want) << e.dump();
    }
    if (*c.error) {
        EXPECT_NE(e.value("error", "").find(c.error), std::string::npos) << e.dump();
    }
    // Not retried: the rest of the day passes without another run.
    for (int i = 0; i < 120; ++i) {
        b.wall.Advance(60000);
        b.scheduler.Poll();
    }
    EXPECT_EQ(b.events.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScheduleServiceRuns,
    ::testing::Values(RunCase{"All", R"("all")", false, true, "[[1, true], [2, true], [3, true]]", ""},
                      RunCase{"Group", R"({"group": "Dome"})", false, true, "[[1, true], [3, true]]", ""},
                      RunCase{"UnknownGroup", R"({"group": "Lobby"})", false, false, "", "no group \"Lobby\""},
                      RunCase{"NotConnected", R"({"address": 9})", false, false, "", "no connected projector at address 9"},
                      RunCase{"LineDown", R"("all")", true, false, "[[1, false], [2, false], [3, false]]", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ScheduleService, ASnapshotEntryTakesItsTargetsSnapshotsAndReportsEach) {
    ServiceBench b;
    ASSERT_TRUE(b.program.ready);
    b.Schedule(R"([{"name": "Keep", "days": ["fri"], "time": "08:30", "target": {"group": "Dome"}, "action": {"snapshot": true}}])");
    b.wall.Advance(60000);
    b.scheduler.Poll();
    EXPECT_EQ(b.snapshotted, (std::vector<uint8_t>{1, 3}));
    ASSERT_EQ(b.events.size(), 1u);
    const json e = EventJson(b.events[0]);
    EXPECT_EQ(e["ok"], false);
    EXPECT_EQ(e["results"], json::parse(R"([{"address": 1, "ok": true}, {"address": 3, "ok": false, "error": "failed"}])"))
        << e.dump();
}

TEST(ScheduleService, RefusedListChangesNeitherTheFileNorTheRunningList) {
    ServiceBench b;
    b.Schedule(R"([{"name": "Keep", "days": ["fri"], "time": "09:00", "target": "all", "action": {"power": true}}])");
    const auto before = testing::ReadBytes("schedules.json");
    const ScheduleReply r = PutSchedules(
        "schedules.json", R"([{"name": "Bad", "days": ["fri"], "time": "25:00", "target": "all", "action": {"power": true}}])",
        b.scheduler);
    EXPECT_EQ(r.result, ScheduleResult::Refused);
    EXPECT_NE(json::parse(r.body)["error"].get<std::string>().find("\"time\""), std::string::npos) << r.body;
    EXPECT_EQ(testing::ReadBytes("schedules.json"), before);
    ASSERT_EQ(b.scheduler.Status().size(), 1u);
    EXPECT_EQ(b.scheduler.Status()[0].entry.name, "Keep");
}


// What a command came to, as every shell reads it: the whole and each projector.
struct ActionCase {
    const char* label;
    const char* action;
    const char* body;
    std::vector<uint8_t> targets;  // one: RunAction; more: RunActionOnMembers, 3 planned as in standby
    bool dropLine;
    ActionResult result;
    std::vector<std::pair<int, bool>> done;  // address, done
};

class ServiceActions : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ServiceActions, SayWhatHappenedToEachProjector) {
    const ActionCase& c = GetParam();
    ServiceBench b;
    ASSERT_TRUE(b.program.ready);
    ActionRequest request;
    std::string why;
    ASSERT_TRUE(ParseAction(c.action, json::parse(c.body), &request, &why)) << why;
    if (c.dropLine) b.program.bus.DropLine();
    ActionOutcome o;
    const auto ran = b.runner.Run([&] {
        if (c.targets.size() == 1) {
            o = RunAction(b.program.state, c.targets[0], request);
            return;
        }
        std::vector<MemberOutcome> members;
        for (uint8_t a : c.targets) members.push_back({a, a == 3 ? MemberSkip::Standby : MemberSkip::None, false, ""});
        o = RunActionOnMembers(b.program.state, members, request);
    });
    ASSERT_EQ(ran, CommandRunner::Outcome::kDone);
    EXPECT_EQ(o.result, c.result) << o.body.dump();
    std::vector<std::pair<int, bool>> done;
    for (const MemberOutcome& m : o.targets) {
        done.emplace_back(m.address, m.done);
        // A projector not done always says why: skipped, or in words.
        EXPECT_TRUE(m.done || m.skipped != MemberSkip::None || !m.detail.empty()) << o.body.dump();
    }
    EXPECT_EQ(done, c.done) << o.body.dump();
    EXPECT_EQ(o.error.empty(), c.result == ActionResult::Done || c.targets.size() > 1) << o.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceActions,
    ::testing::Values(
        ActionCase{"Done", "key", R"({"code": 27})", {1}, false, ActionResult::Done, {{1, true}}},
        ActionCase{"NotConnected", "key", R"({"code": 27})", {9}, false, ActionResult::NotConnected, {{9, false}}},
        ActionCase{"UnknownSourceName", "source", R"({"name": "Nowhere"})", {1}, false, ActionResult::Refused,
                   {{1, false}}},
        ActionCase{"NoAnswer", "key", R"({"code": 27})", {1}, true, ActionResult::Failed, {{1, false}}},
        ActionCase{"MemberInStandbySkipped", "key", R"({"code": 27})", {1, 3, 2}, false, ActionResult::Failed,
                   {{1, true}, {3, false}, {2, true}}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ombrix
