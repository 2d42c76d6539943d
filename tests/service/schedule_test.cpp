// Schedules: the file's reader and writer, next runs across weekdays and daylight-saving
// changes, and the scheduler on the virtual clock against the in-process simulator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "SimBench.h"
#include "TempDir.h"
#include "directaccess/Force.h"
#include "link/Commands.h"
#include "service/Schedule.h"
#include "service/ScheduleService.h"
#include "service/Scheduler.h"
#include "platform/Files.h"

namespace ombrix {
namespace {

using testing::SimBench;
using testing::TempDir;

// Sets the process's zone for one test and puts the old one back.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string old_;
    bool hadOld_ = false;
};

// "2026-03-29T01:59:00+01:00" -> seconds since the epoch.
int64_t Epoch(const std::string& iso) {
    tm t{};
    int offH = 0, offM = 0;
    char sign = '+';
    EXPECT_EQ(std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d%c%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                          &t.tm_min, &t.tm_sec, &sign, &offH, &offM),
              9)
        << iso;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    const int64_t offset = (offH * 3600 + offM * 60) * (sign == '-' ? -1 : 1);
    return static_cast<int64_t>(timegm(&t)) - offset;
}

ScheduleEntry Entry(const std::string& json) {
    std::vector<ScheduleEntry> list;
    std::string reason;
    EXPECT_TRUE(ParseSchedules("[" + json + "]", &list, &reason)) << reason;
    return list.empty() ? ScheduleEntry{} : list[0];
}

// ---- reader and writer

TEST(ScheduleFile, WrittenFormReadsBackTheSame) {
    const std::string text = R"([
      {"name": "Morning", "days": ["mon","tue","wed","thu","fri"], "time": "08:30", "target": {"group": "Dome"}, "action": {"power": true}},
      {"name": "Show", "days": ["sat"], "time": "19:05", "target": {"address": 3}, "action": {"source": {"slot": 42}}},
      {"name": "Night", "days": ["sun","mon"], "time": "00:00", "target": "all", "action": {"key": 27}},
      {"name": "Hold", "days": ["wed"], "time": "23:59", "target": "all", "action": {"pause": false}},
      {"name": "Keep", "days": ["sun"], "time": "02:00", "target": "all", "action": {"snapshot": true}}
    ])";
    std::vector<ScheduleEntry> first, second;
    std::string reason;
    ASSERT_TRUE(ParseSchedules(text, &first, &reason)) << reason;
    ASSERT_EQ(first.size(), 5u);
    EXPECT_EQ(first[4].action.kind, ScheduleActionKind::Snapshot);
    EXPECT_EQ(first[0].days, 0b0111110);
    EXPECT_EQ(first[1].target.address, 3);
    EXPECT_EQ(first[1].action.value, 42);
    EXPECT_EQ(first[2].target.kind, ScheduleTargetKind::All);
    ASSERT_TRUE(ParseSchedules(SchedulesToJson(first), &second, &reason)) << reason;
    EXPECT_EQ(first, second);

    TempDir dir;
    SysError error;
    ASSERT_TRUE(WriteSchedulesFile(kSchedulesFileName, first, &error)) << error.text;
    std::vector<ScheduleEntry> fromFile;
    ASSERT_TRUE(ReadSchedulesFile(kSchedulesFileName, &fromFile, &reason)) << reason;
    EXPECT_EQ(fromFile, first);
}

TEST(ScheduleFile, MissingFileIsNoSchedules) {
    TempDir dir;
    std::vector<ScheduleEntry> list{ScheduleEntry{}};
    std::string reason;
    ASSERT_TRUE(ReadSchedulesFile("schedules.json", &list, &reason));
    EXPECT_TRUE(list.empty());
}

struct Refusal {
    const char* label;
    const char* text;
    const char* reason;  // part of the reason given
};

class ScheduleRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(ScheduleRefusals, WholeListRefusedWithReasonAndNothingTaken) {
    const Refusal& r = GetParam();
    const std::string good =
        R"({"name": "Good", "days": ["mon"], "time": "08:00", "target": "all", "action": {"power": true}})";
    std::vector<ScheduleEntry> list{Entry(good)};
    const auto before = list;
    std::string reason;
    EXPECT_FALSE(ParseSchedules(r.text, &list, &reason));
    EXPECT_NE(reason.find(r.reason), std::string::npos) << reason;
    EXPECT_EQ(list, before);
}

#define ENTRY(fields) "[{\"name\": \"A\", " fields "}]"
INSTANTIATE_TEST_SUITE_P(
    Cases, ScheduleRefusals,
    ::testing::Values(
        Refusal{"NotJson", "[{", "not valid JSON"},
        Refusal{"NotArray", R"({"name": "A"})", "JSON array"},
        Refusal{"HourTooBig", ENTRY(R"("days": ["mon"], "time": "24:00", "target": "all", "action": {"power": true})"),
                "entry 1 (\"A\"): \"time\""},
        Refusal{"MinuteTooBig", ENTRY(R"("days": ["mon"], "time": "08:60", "target": "all", "action": {"power": true})"),
                "\"time\""},
        Refusal{"TimeOneDigit", ENTRY(R"("days": ["mon"], "time": "8:30", "target": "all", "action": {"power": true})"),
                "\"time\""},
        Refusal{"UnknownDay", ENTRY(R"("days": ["monday"], "time": "08:30", "target": "all", "action": {"power": true})"),
                "unknown day \"monday\""},
        Refusal{"DayTwice", ENTRY(R"("days": ["mon", "mon"], "time": "08:30", "target": "all", "action": {"power": true})"),
                "given twice"},
        Refusal{"NoDays", ENTRY(R"("days": [], "time": "08:30", "target": "all", "action": {"power": true})"), "\"days\""},
        Refusal{"AddressZero", ENTRY(R"("days": ["mon"], "time": "08:30", "target": {"address": 0}, "action": {"power": true})"),
                "\"address\""},
        Refusal{"AddressAsText", ENTRY(R"("days": ["mon"], "time": "08:30", "target": {"address": "3"}, "action": {"power": true})"),
                "\"address\""},
        Refusal{"TargetWord", ENTRY(R"("days": ["mon"], "time": "08:30", "target": "every", "action": {"power": true})"),
                "\"target\""},
        Refusal{"EmptyGroup", ENTRY(R"("days": ["mon"], "time": "08:30", "target": {"group": ""}, "action": {"power": true})"),
                "\"group\""},
        Refusal{"PowerAsText", ENTRY(R"("days": ["mon"], "time": "08:30", "target": "all", "action": {"power": "on"})"),
                "\"power\""},
        Refusal{"TwoActions", ENTRY(R"("days": ["mon"], "time": "08:30", "target": "all", "action": {"power": true, "key": 1})"),
                "\"action\""},
        Refusal{"SlotOutOfRange", ENTRY(R"("days": ["mon"], "time": "08:30", "target": "all", "action": {"source": {"slot": 100}})"),
                "\"source\""},
        Refusal{"KeyTooBig", ENTRY(R"("days": ["mon"], "time": "08:30", "target": "all", "action": {"key": 256})"), "\"key\""},
        Refusal{"SnapshotFalse", ENTRY(R"("days": ["mon"], "time": "08:30", "target": "all", "action": {"snapshot": false})"),
                "\"snapshot\" must be true"},
        Refusal{"UnknownField", ENTRY(R"("days": ["mon"], "time": "08:30", "target": "all", "action": {"key": 1}, "enabled": true)"),
                "unknown field \"enabled\""},
        Refusal{"NoTime", ENTRY(R"("days": ["mon"], "target": "all", "action": {"key": 1})"), "no \"time\""},
        Refusal{"SameNameTwice",
                R"([{"name": "A", "days": ["mon"], "time": "08:30", "target": "all", "action": {"key": 1}},
                    {"name": "A", "days": ["tue"], "time": "08:30", "target": "all", "action": {"key": 1}}])",
                "entry 2 (\"A\"): the name is used twice"}),
    [](const auto& info) { return std::string(info.param.label); });
#undef ENTRY

TEST(ScheduleFile, RefusedFileLeavesTheListAsItWas) {
    TempDir dir;
    testing::WriteBytes("schedules.json", {'[', '1', ']'});
    std::vector<ScheduleEntry> list{Entry(R"({"name": "K", "days": ["mon"], "time": "08:00", "target": "all", "action": {"key": 1}})")};
    const auto before = list;
    std::string reason;
    EXPECT_FALSE(ReadSchedulesFile("schedules.json", &list, &reason));
    EXPECT_NE(reason.find("schedules.json: entry 1: not an object"), std::string::npos) << reason;
    EXPECT_EQ(list, before);
}

// A list that was refused is the person's: the next list put keeps it aside whole
// rather than writing over it, whatever was wrong with it.
TEST(ScheduleFile, ARefusedFileIsKeptAsideBeforeANewListIsWritten) {
    const std::string good =
        R"([{"name": "Night", "days": ["mon"], "time": "23:00", "target": "all", "action": {"power": false}}])";
    struct Case {
        const char* label;
        std::string text;
    };
    const Case cases[] = {
        {"not JSON", "[{"},
        {"a key given twice", R"([{"name": "A", "days": ["mon"], "time": "08:00", "time": "23:00", "target": "all",
                                   "action": {"power": true}}])"},
        {"an entry refused", R"([{"name": "A", "days": ["monday"], "time": "08:00", "target": "all",
                                 "action": {"power": true}}])"},
        {"larger than a list can be", "[" + std::string(kMaxSchedulesFileSize, ' ') + "]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        testing::WriteBytes("schedules.json", std::vector<uint8_t>(c.text.begin(), c.text.end()));
        VirtualClock clock;
        Scheduler scheduler{clock, [](const ScheduleEntry&) { return ScheduleOutcome{}; },
                            [](const ScheduleRunReport&) {}, [](const std::string&) {}};
        const ScheduleReply reply = PutSchedules("schedules.json", good, scheduler);
        EXPECT_EQ(reply.result, ScheduleResult::Done) << reply.body;
        std::vector<uint8_t> kept;
        ASSERT_TRUE(ReadWholeFile("schedules.json.refused", &kept, nullptr, 2 * kMaxSchedulesFileSize));
        EXPECT_TRUE(std::string(kept.begin(), kept.end()) == c.text);
        std::vector<ScheduleEntry> now;
        std::string reason;
        EXPECT_TRUE(ReadSchedulesFile("schedules.json", &now, &reason)) << reason;
        EXPECT_EQ(now.size(), 1u);
    }
}

// ---- next runs

struct NextRunCase {
    const char* label;
    const char* zone;
    const char* days;  // JSON list
    const char* time;
    const char* after;
    const char* next;  // local, with its offset
};

class NextRuns : public ::testing::TestWithParam<NextRunCase> {};

TEST_P(NextRuns, InLocalTime) {
    const NextRunCase& c = GetParam();
    ZoneGuard zone(c.zone);
    const ScheduleEntry e = Entry(std::string(R"({"name": "X", "days": )") + c.days + R"(, "time": ")" + c.time +
                                  R"(", "target": "all", "action": {"power": true}})");
    EXPECT_EQ(FormatLocalTimeIso(NextScheduleRun(e, Epoch(c.after))), c.next);
}

constexpr const char* kWeekdays = R"(["mon","tue","wed","thu","fri"])";

INSTANTIATE_TEST_SUITE_P(
    Cases, NextRuns,
    ::testing::Values(
        // 2026-03-27 is a Friday.
        NextRunCase{"SameDayLater", "Europe/Berlin", kWeekdays, "08:30", "2026-03-27T07:00:00+01:00", "2026-03-27T08:30:00+01:00"},
        NextRunCase{"FridayAfterRunGoesToMonday", "Europe/Berlin", kWeekdays, "08:30", "2026-03-27T08:30:00+01:00",
                    "2026-03-30T08:30:00+02:00"},
        NextRunCase{"OneSecondBeforeIsToday", "Europe/Berlin", kWeekdays, "08:30", "2026-03-27T08:29:59+01:00",
                    "2026-03-27T08:30:00+01:00"},
        NextRunCase{"WeekendOnlyFromWednesday", "America/New_York", R"(["sat","sun"])", "10:00", "2026-06-03T12:00:00-04:00",
                    "2026-06-06T10:00:00-04:00"},
        NextRunCase{"MidnightTomorrow", "Europe/Berlin", R"(["sat"])", "00:00", "2026-06-05T23:59:00+02:00",
                    "2026-06-06T00:00:00+02:00"},
        // Berlin 2026-03-29: 02:00 CET becomes 03:00 CEST.
        NextRunCase{"BerlinSkippedTimeRunsAtThree", "Europe/Berlin", R"(["sun"])", "02:30", "2026-03-29T00:00:00+01:00",
                    "2026-03-29T03:00:00+02:00"},
        NextRunCase{"BerlinSkippedTwoOClock", "Europe/Berlin", R"(["sun"])", "02:00", "2026-03-29T00:00:00+01:00",
                    "2026-03-29T03:00:00+02:00"},
        NextRunCase{"BerlinOneFiftyNineStillExists", "Europe/Berlin", R"(["sun"])", "01:59", "2026-03-29T00:00:00+01:00",
                    "2026-03-29T01:59:00+01:00"},
        NextRunCase{"BerlinAfterSpringRunNextWeek", "Europe/Berlin", R"(["sun"])", "02:30", "2026-03-29T03:00:00+02:00",
                    "2026-04-05T02:30:00+02:00"},
        // Berlin 2026-10-25: 03:00 CEST becomes 02:00 CET; 02:30 happens twice.
        NextRunCase{"BerlinRepeatedTimeRunsAtFirst", "Europe/Berlin", R"(["sun"])", "02:30", "2026-10-25T00:00:00+02:00",
                    "2026-10-25T02:30:00+02:00"},
        NextRunCase{"BerlinRepeatedTimeNotAgain", "Europe/Berlin", R"(["sun"])", "02:30", "2026-10-25T02:30:00+02:00",
                    "2026-11-01T02:30:00+01:00"},
        NextRunCase{"BerlinDailyAcrossFallBack", "Europe/Berlin", R"(["sat","sun","mon"])", "08:30", "2026-10-24T09:00:00+02:00",
                    "2026-10-25T08:30:00+01:00"},
        // New York 2026-03-08: 02:00 EST becomes 03:00 EDT.
        NextRunCase{"NewYorkSkippedTime", "America/New_York", R"(["sun"])", "02:15", "2026-03-08T00:00:00-05:00",
                    "2026-03-08T03:00:00-04:00"},
        NextRunCase{"NewYorkAfterSkipNormal", "America/New_York", R"(["sun"])", "03:00", "2026-03-08T00:00:00-05:00",
                    "2026-03-08T03:00:00-04:00"},
        // New York 2026-11-01: 02:00 EDT becomes 01:00 EST; 01:30 happens twice.
        NextRunCase{"NewYorkRepeatedTimeFirst", "America/New_York", R"(["sun"])", "01:30", "2026-11-01T00:00:00-04:00",
                    "2026-11-01T01:30:00-04:00"},
        NextRunCase{"NewYorkRepeatedTimeNotAgain", "America/New_York", R"(["sun"])", "01:30", "2026-11-01T01:45:00-04:00",
                    "2026-11-08T01:30:00-05:00"},
        NextRunCase{"NewYorkSecondPassOfHourNotAgain", "America/New_York", R"(["sun"])", "01:30", "2026-11-01T01:10:00-05:00",
                    "2026-11-08T01:30:00-05:00"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- the scheduler against the simulator

// Sends the action's key to each target address; the way the service does it is its own.
ScheduleOutcome RunOnBus(SimBench& bench, const ScheduleEntry& e) {
    ScheduleOutcome out;
    std::vector<int> addresses;
    if (e.target.kind == ScheduleTargetKind::Address) {
        addresses.push_back(e.target.address);
    } else {
        addresses = {1, 2, 3};
    }
    for (int a : addresses) {
        const int result = KeyCommand(bench.link, static_cast<uint8_t>(a), kKeyPower);
        out.results.push_back({a, result == kDone, result == kDone ? "" : "no answer"});
    }
    return out;
}

struct SchedulerBench {
    explicit SchedulerBench(const char* zone, const std::string& entries) : tz(zone) {
        std::vector<ScheduleEntry> list;
        std::string reason;
        EXPECT_TRUE(ParseSchedules(entries, &list, &reason)) << reason;
        parsed = list;
    }
    void Start(const std::string& wallIso) {
        bench.clock.SetWallMs(Epoch(wallIso) * 1000);
        scheduler.SetEntries(parsed);
        scheduler.LogStart();
    }
    // Polls once a second of wall time until the given moment.
    void PollUntil(const std::string& wallIso) {
        const int64_t end = Epoch(wallIso) * 1000;
        while (bench.clock.WallMs() < end) {
            scheduler.Poll();
            bench.clock.Advance(1000);
        }
        scheduler.Poll();
    }
    // Projectors 1 and 3 operate at the start: a power key sends them to standby.
    bool InStandby(uint8_t address) {
        bool standby = false;
        bench.bus.With(address, [&](sim::SimProjector& p) { standby = p.Standby(); });
        return standby;
    }
    bool Logged(const std::string& part) const {
        for (const auto& l : log) {
            if (l.find(part) != std::string::npos) return true;
        }
        return false;
    }

    ZoneGuard tz;
    SimBench bench{testing::kThreeProjectors};
    std::vector<ScheduleEntry> parsed;
    std::vector<ScheduleRunReport> runs;
    std::vector<std::string> log;
    Scheduler scheduler{bench.clock, [this](const ScheduleEntry& e) { return RunOnBus(bench, e); },
                        [this](const ScheduleRunReport& r) { runs.push_back(r); },
                        [this](const std::string& line) { log.push_back(line); }};
};

constexpr const char* kPowerThreeWeekdays =
    R"([{"name": "Morning", "days": ["mon","tue","wed","thu","fri"], "time": "08:30", "target": {"address": 3}, "action": {"power": true}}])";

TEST(Scheduler, RunsOnceAtItsMinuteOnWeekdaysOnly) {
    SchedulerBench s("Europe/Berlin", kPowerThreeWeekdays);
    s.Start("2026-06-05T08:29:00+02:00");  // a Friday
    s.PollUntil("2026-06-05T08:29:59+02:00");
    EXPECT_TRUE(s.runs.empty());
    s.PollUntil("2026-06-05T08:35:00+02:00");
    ASSERT_EQ(s.runs.size(), 1u);
    EXPECT_EQ(FormatLocalTimeIso(s.runs[0].dueSec), "2026-06-05T08:30:00+02:00");
    EXPECT_TRUE(s.runs[0].ok);
    EXPECT_TRUE(s.InStandby(3));
    EXPECT_FALSE(s.InStandby(1));
    const std::string event = ScheduleRunJson(s.runs[0]);
    EXPECT_NE(event.find(R"("kind":"schedule","name":"Morning")"), std::string::npos) << event;
    EXPECT_NE(event.find(R"("results":[{"address":3,"ok":true}])"), std::string::npos) << event;
    EXPECT_EQ(FormatLocalTimeIso(s.scheduler.Status()[0].nextSec), "2026-06-08T08:30:00+02:00");
    EXPECT_NE(ScheduleStatusJson(s.scheduler.Status()).find(R"("next":"2026-06-08T08:30:00+02:00","last":"2026-06-05T08:30:00+02:00","last_ok":true)"),
              std::string::npos);
}

struct DstDay {
    const char* label;
    const char* zone;
    const char* time;
    const char* from;
    const char* to;
    const char* due;
};

class SchedulerDst : public ::testing::TestWithParam<DstDay> {};

// Polled through the whole change, second by second: one run, at the right instant.
TEST_P(SchedulerDst, RunsExactlyOnce) {
    const DstDay& d = GetParam();
    SchedulerBench s(d.zone, std::string(R"([{"name": "Dst", "days": ["sun"], "time": ")") + d.time +
                                 R"(", "target": {"address": 1}, "action": {"power": false}}])");
    s.Start(d.from);
    s.PollUntil(d.to);
    ASSERT_EQ(s.runs.size(), 1u);
    EXPECT_EQ(FormatLocalTimeIso(s.runs[0].dueSec), d.due);
    EXPECT_TRUE(s.InStandby(1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SchedulerDst,
    ::testing::Values(
        DstDay{"BerlinSpring", "Europe/Berlin", "02:30", "2026-03-29T01:00:00+01:00", "2026-03-29T05:00:00+02:00",
               "2026-03-29T03:00:00+02:00"},
        DstDay{"BerlinAutumn", "Europe/Berlin", "02:30", "2026-10-25T01:00:00+02:00", "2026-10-25T05:00:00+01:00",
               "2026-10-25T02:30:00+02:00"},
        DstDay{"NewYorkSpring", "America/New_York", "02:30", "2026-03-08T01:00:00-05:00", "2026-03-08T05:00:00-04:00",
               "2026-03-08T03:00:00-04:00"},
        DstDay{"NewYorkAutumn", "America/New_York", "01:30", "2026-11-01T00:30:00-04:00", "2026-11-01T03:00:00-05:00",
               "2026-11-01T01:30:00-04:00"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Scheduler, RunMissedWhileDownIsNotMadeUpAndTheLogSaysSo) {
    SchedulerBench s("Europe/Berlin", kPowerThreeWeekdays);
    s.Start("2026-06-05T09:00:00+02:00");  // started after the morning's run
    s.PollUntil("2026-06-05T09:10:00+02:00");
    EXPECT_TRUE(s.runs.empty());
    EXPECT_FALSE(s.InStandby(3));
    EXPECT_TRUE(s.Logged("not made up")) << ::testing::PrintToString(s.log);
    EXPECT_TRUE(s.Logged("next run 2026-06-08 08:30 CEST"));
}

TEST(Scheduler, ClockJumpingPastARunSkipsIt) {
    SchedulerBench s("Europe/Berlin", kPowerThreeWeekdays);
    s.Start("2026-06-05T08:00:00+02:00");
    s.scheduler.Poll();
    s.bench.clock.Advance(3600 * 1000);  // the machine slept through 08:30
    s.scheduler.Poll();
    EXPECT_TRUE(s.runs.empty());
    EXPECT_FALSE(s.InStandby(3));
    EXPECT_TRUE(s.Logged("was missed")) << ::testing::PrintToString(s.log);
    EXPECT_EQ(FormatLocalTimeIso(s.scheduler.Status()[0].nextSec), "2026-06-08T08:30:00+02:00");
}

TEST(Scheduler, RunDuringLineOutageReportedOnceAndNotRetried) {
    SchedulerBench s("America/New_York",
                     R"([{"name": "Off", "days": ["fri"], "time": "22:00", "target": "all", "action": {"power": false}}])");
    s.Start("2026-06-05T21:59:00-04:00");
    s.bench.bus.DropLine();
    s.PollUntil("2026-06-05T23:00:00-04:00");
    ASSERT_EQ(s.runs.size(), 1u);
    EXPECT_FALSE(s.runs[0].ok);
    ASSERT_EQ(s.runs[0].outcome.results.size(), 3u);
    for (const auto& r : s.runs[0].outcome.results) EXPECT_FALSE(r.ok) << r.address;
    EXPECT_TRUE(s.Logged("0 of 3 projectors done")) << ::testing::PrintToString(s.log);
    EXPECT_EQ(FormatLocalTimeIso(s.scheduler.Status()[0].nextSec), "2026-06-12T22:00:00-04:00");
    EXPECT_FALSE(s.scheduler.Status()[0].lastOk);
}

TEST(Scheduler, ReplacingTheListKeepsARunNotYetPolled) {
    SchedulerBench s("Europe/Berlin", kPowerThreeWeekdays);
    s.Start("2026-06-05T08:29:59+02:00");
    s.bench.clock.Advance(1000);  // 08:30:00, not yet polled
    auto list = s.parsed;
    list.push_back(Entry(R"({"name": "Other", "days": ["sun"], "time": "10:00", "target": "all", "action": {"key": 27}})"));
    s.scheduler.SetEntries(list);
    s.scheduler.Poll();
    ASSERT_EQ(s.runs.size(), 1u);
    EXPECT_EQ(s.runs[0].name, "Morning");
}

}  // namespace
}  // namespace ombrix
