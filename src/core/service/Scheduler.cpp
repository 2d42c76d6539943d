#include "service/Scheduler.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace ombrix {
namespace {

using OrderedJson = nlohmann::ordered_json;

OrderedJson EntryJson(const ScheduleEntry& e) {
    // The writer's form of one entry, so the list and the file never disagree.
    const OrderedJson list = OrderedJson::parse(SchedulesToJson({e}), nullptr, false);
    return list.is_array() && !list.empty() ? list[0] : OrderedJson::object();
}

}  // namespace

std::string ScheduleRunJson(const ScheduleRunReport& report) {
    OrderedJson results = OrderedJson::array();
    for (const auto& r : report.outcome.results) {
        OrderedJson item{{"address", r.address}, {"ok", r.ok}};
        if (!r.ok) item["error"] = r.error;
        results.push_back(item);
    }
    OrderedJson doc{{"kind", "schedule"},
                    {"name", report.name},
                    {"due", FormatLocalTimeIso(report.dueSec)},
                    {"ok", report.ok},
                    {"results", results}};
    if (!report.outcome.error.empty()) doc["error"] = report.outcome.error;
    return doc.dump();
}

std::string ScheduleRunLogLine(const ScheduleRunReport& report) {
    std::string line = "schedule " + OrderedJson(report.name).dump() + " (due " + FormatLocalTime(report.dueSec) + "): ";
    if (!report.outcome.error.empty()) return line + "not run: " + report.outcome.error;
    size_t done = 0;
    std::string failures;
    for (const auto& r : report.outcome.results) {
        if (r.ok) {
            ++done;
        } else {
            failures += (failures.empty() ? "" : ", ") + std::to_string(r.address) + ": " + r.error;
        }
    }
    line += std::to_string(done) + " of " + std::to_string(report.outcome.results.size()) + " projectors done";
    if (!failures.empty()) line += " (" + failures + ")";
    return line;
}

std::string ScheduleStatusJson(const std::vector<ScheduleStatus>& list) {
    OrderedJson doc = OrderedJson::array();
    for (const auto& s : list) {
        OrderedJson item = EntryJson(s.entry);
        item["next"] = s.nextSec >= 0 ? OrderedJson(FormatLocalTimeIso(s.nextSec)) : OrderedJson(nullptr);
        item["last"] = s.lastRunSec >= 0 ? OrderedJson(FormatLocalTimeIso(s.lastRunSec)) : OrderedJson(nullptr);
        item["last_ok"] = s.lastRunSec >= 0 ? OrderedJson(s.lastOk) : OrderedJson(nullptr);
        doc.push_back(item);
    }
    return doc.dump();
}

Scheduler::Scheduler(Clock& clock, Runner runner, RunListener onRun, LogSink log)
    : clock_(clock), runner_(std::move(runner)), onRun_(std::move(onRun)), log_(std::move(log)) {}

int64_t Scheduler::NowSec() const {
    const int64_t ms = clock_.WallMs();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

void Scheduler::SetEntries(std::vector<ScheduleEntry> entries) {
    const int64_t now = NowSec();
    std::lock_guard lock(mutex_);
    std::vector<Slot> slots;
    for (auto& e : entries) {
        Slot slot{std::move(e), -1};
        // An entry that stays as it was keeps a run that is due but not yet polled.
        for (const auto& old : slots_) {
            if (old.entry == slot.entry) slot.nextSec = old.nextSec;
        }
        if (slot.nextSec < 0) slot.nextSec = NextScheduleRun(slot.entry, now);
        slots.push_back(std::move(slot));
    }
    slots_ = std::move(slots);
}

void Scheduler::LogStart() {
    std::vector<ScheduleStatus> list = Status();
    if (!log_) return;
    if (list.empty()) {
        log_("schedules: none");
        return;
    }
    log_("schedules: " + std::to_string(list.size()) +
         (list.size() == 1 ? " entry" : " entries") +
         "; runs that fell due while the server was not running are not made up");
    for (const auto& s : list) {
        log_("schedule " + OrderedJson(s.entry.name).dump() + " (" + ScheduleWhenText(s.entry) + ", " +
             ScheduleTargetJson(s.entry.target) + ", " + ScheduleActionJson(s.entry.action) + "): next run " +
             (s.nextSec >= 0 ? FormatLocalTime(s.nextSec) : std::string("never")));
    }
}

std::vector<ScheduleStatus> Scheduler::Status() const {
    std::lock_guard lock(mutex_);
    std::vector<ScheduleStatus> list;
    for (const auto& slot : slots_) {
        ScheduleStatus s{slot.entry, slot.nextSec, -1, false};
        if (auto it = last_.find(slot.entry.name); it != last_.end()) {
            s.lastRunSec = it->second.first;
            s.lastOk = it->second.second;
        }
        list.push_back(std::move(s));
    }
    return list;
}

int64_t Scheduler::Poll() {
    const int64_t now = NowSec();
    struct Due {
        ScheduleEntry entry;
        int64_t dueSec;
    };
    std::vector<Due> due;
    std::vector<std::string> missed;
    {
        std::lock_guard lock(mutex_);
        for (auto& slot : slots_) {
            if (slot.nextSec < 0 || slot.nextSec > now) continue;
            const int64_t next = NextScheduleRun(slot.entry, now);
            if (now - slot.nextSec > kScheduleLateToleranceSec) {
                missed.push_back("schedule " + OrderedJson(slot.entry.name).dump() + ": the run due " +
                                 FormatLocalTime(slot.nextSec) +
                                 " was missed (the clock moved on or the machine slept) and is not made up; next run " +
                                 (next >= 0 ? FormatLocalTime(next) : std::string("never")));
            } else {
                due.push_back({slot.entry, slot.nextSec});
            }
            slot.nextSec = next;
        }
    }
    if (log_) {
        for (const auto& line : missed) log_(line);
    }
    std::stable_sort(due.begin(), due.end(), [](const Due& a, const Due& b) { return a.dueSec < b.dueSec; });
    for (const auto& d : due) {
        ScheduleRunReport report;
        report.name = d.entry.name;
        report.dueSec = d.dueSec;
        report.startedMs = clock_.WallMs();
        if (runner_) report.outcome = runner_(d.entry);
        report.ok = report.outcome.error.empty() && !report.outcome.results.empty() &&
                    std::all_of(report.outcome.results.begin(), report.outcome.results.end(),
                                [](const ScheduleProjectorResult& r) { return r.ok; });
        {
            std::lock_guard lock(mutex_);
            last_[report.name] = {report.dueSec, report.ok};
        }
        if (log_) log_(ScheduleRunLogLine(report));
        if (onRun_) onRun_(report);
    }
    const int64_t after = NowSec();
    std::lock_guard lock(mutex_);
    int64_t soonest = -1;
    for (const auto& slot : slots_) {
        if (slot.nextSec >= 0 && (soonest < 0 || slot.nextSec < soonest)) soonest = slot.nextSec;
    }
    return soonest < 0 ? -1 : std::max<int64_t>(0, soonest - after) * 1000;
}

void Scheduler::Run(const std::atomic<bool>& stop) {
    while (!stop.load()) {
        const int64_t ms = Poll();
        const int64_t nap = ms < 0 ? kScheduleNapMs : std::clamp<int64_t>(ms, 1, kScheduleNapMs);
        clock_.Nap(static_cast<uint32_t>(nap));
    }
}

}  // namespace ombrix
