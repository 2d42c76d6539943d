#pragma once
// Runs the schedules on the Clock port. A run is done once, when its minute comes; one
// that was due while the program was not running (or while the machine slept, or the
// time was set forward) is not made up, and the log says so. A run whose line is down
// fails, is reported, and waits for its next time like any other.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "service/Schedule.h"

namespace ombrix {

// A run noticed later than this after its time counts as missed, not run.
constexpr int64_t kScheduleLateToleranceSec = 300;
// The loop looks at the wall clock at least this often: the time may be set.
constexpr uint32_t kScheduleNapMs = 1000;

struct ScheduleProjectorResult {
    int address = 0;
    bool ok = false;
    std::string error;  // empty when ok
};

// What the runner reports: per projector, or one error when there was nothing to do
// (an unknown group, no projector at that address).
struct ScheduleOutcome {
    std::vector<ScheduleProjectorResult> results;
    std::string error;
};

struct ScheduleRunReport {
    std::string name;
    int64_t dueSec = 0;
    int64_t startedMs = 0;
    bool ok = false;
    ScheduleOutcome outcome;
};

// {"kind":"schedule","name":...,"due":ISO,"ok":...,"results":[{"address":3,"ok":true}],...}
std::string ScheduleRunJson(const ScheduleRunReport& report);
// "schedule "Morning": 2 of 3 projectors done (5: no answer)"
std::string ScheduleRunLogLine(const ScheduleRunReport& report);

struct ScheduleStatus {
    ScheduleEntry entry;
    int64_t nextSec = -1;
    int64_t lastRunSec = -1;  // the due time of the last run made, -1 when none yet
    bool lastOk = false;
};

// [{"name":...,"days":[...],"time":...,"target":...,"action":...,"next":ISO,"last":ISO|null,"last_ok":...}]
std::string ScheduleStatusJson(const std::vector<ScheduleStatus>& list);

class Scheduler {
public:
    using Runner = std::function<ScheduleOutcome(const ScheduleEntry&)>;
    using RunListener = std::function<void(const ScheduleRunReport&)>;
    using LogSink = std::function<void(const std::string&)>;

    Scheduler(Clock& clock, Runner runner, RunListener onRun, LogSink log);

    // Replaces the list; next runs count from now, so nothing past is made up.
    void SetEntries(std::vector<ScheduleEntry> entries);
    // The start lines of the log: each entry's next run, and that nothing missed is made up.
    void LogStart();
    std::vector<ScheduleStatus> Status() const;

    // Runs whatever is due now, in time order; returns the wall milliseconds until the next
    // run, or -1 when there is none.
    int64_t Poll();
    // Polls until stop becomes true, napping on the clock in between.
    void Run(const std::atomic<bool>& stop);

private:
    struct Slot {
        ScheduleEntry entry;
        int64_t nextSec = -1;
    };
    int64_t NowSec() const;

    Clock& clock_;
    Runner runner_;
    RunListener onRun_;
    LogSink log_;
    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    std::map<std::string, std::pair<int64_t, bool>> last_;  // by name: due time, ok
};

}  // namespace ombrix
