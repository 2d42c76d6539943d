#include "service/ScheduleService.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

#include "blocks/Groups.h"
#include "directaccess/DirectAccess.h"
#include "platform/FileLock.h"
#include "service/ServiceAction.h"

namespace ombrix {

using nlohmann::json;

namespace {

bool RegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

ScheduleReply GetSchedules(const Scheduler& scheduler) { return {ScheduleResult::Done, ScheduleStatusJson(scheduler.Status())}; }

ScheduleReply PutSchedules(const std::string& path, const std::string& body, Scheduler& scheduler) {
    // Two lists put at once: the file and the list in force end as the same one.
    static std::mutex putMutex;
    std::lock_guard lock(putMutex);
    std::vector<ScheduleEntry> entries;
    std::string reason;
    if (!ParseSchedules(body, &entries, &reason)) return {ScheduleResult::Refused, json{{"error", reason}}.dump()};
    // Another server on the same work folder may be writing the file too.
    static SteadyClock steady;
    FileLock fileLock;
    std::string busy;
    if (!fileLock.Acquire(path, steady, kFileLockWaitMs, &busy)) {
        return {ScheduleResult::Busy, json{{"error", "schedules not saved: " + busy}}.dump()};
    }
    // The list there may be one that was refused: it is kept aside, never written over.
    std::vector<ScheduleEntry> before;
    std::string refused, kept;
    if (!ReadSchedulesFile(path, &before, &refused, &kept) && kept.empty() && RegularFile(path)) {
        return {ScheduleResult::NotSaved, json{{"error", "schedules not saved: " + refused}}.dump()};
    }
    SysError error;
    if (!WriteSchedulesFile(path, entries, &error)) {
        return {ScheduleResult::NotSaved, json{{"error", "schedules not saved: " + error.text}}.dump()};
    }
    scheduler.SetEntries(std::move(entries));
    return GetSchedules(scheduler);
}

bool ScheduleTargets(ProgramState& state, const ScheduleTarget& target, const GroupTargets& groups,
                     std::vector<uint8_t>* targets, std::string* error) {
    targets->clear();
    switch (target.kind) {
        case ScheduleTargetKind::Address:
            if (!FindConnectedRecord(state, static_cast<uint8_t>(target.address))) {
                *error = "no connected projector at address " + std::to_string(target.address);
                return false;
            }
            targets->push_back(static_cast<uint8_t>(target.address));
            return true;
        case ScheduleTargetKind::Group:
            if (groups) return groups(state, target.group, targets, error);
            *error = "no group \"" + target.group + "\"";
            return false;
        case ScheduleTargetKind::All: break;
    }
    const int count = std::clamp(state.projectors.connectedCount, 0, kProjectorTableSize);
    for (int i = 0; i < count; ++i) targets->push_back(state.projectors.records[static_cast<size_t>(i)].address);
    if (targets->empty()) {
        *error = "no connected projector";
        return false;
    }
    return true;
}

ScheduleOutcome OutcomeOfAction(const ActionOutcome& outcome) {
    ScheduleOutcome out;
    for (const MemberOutcome& m : outcome.targets) {
        ScheduleProjectorResult r;
        r.address = m.address;
        r.ok = m.done;
        if (!r.ok) r.error = !m.detail.empty()                ? m.detail
                             : m.skipped != MemberSkip::None ? std::string("skipped: ") + SkipWord(m.skipped)
                                                             : "failed";
        out.results.push_back(r);
    }
    if (outcome.targets.empty() && outcome.result != ActionResult::Done) {
        out.error = outcome.error.empty() ? "failed" : outcome.error;
    }
    return out;
}

ScheduleOutcome RunScheduleEntry(const ScheduleEntry& entry, const ScheduleHooks& hooks) {
    const bool snapshot = entry.action.kind == ScheduleActionKind::Snapshot;
    if (snapshot && !hooks.snapshot) return {{}, "snapshots are not kept here"};
    const ServiceAction action = ScheduleServiceAction(entry.action);
    ActionRequest request;
    std::string why;
    if (!snapshot && !ParseAction(action.command, json::parse(action.body), &request, &why)) return {{}, why};
    // Owned by the job: one that overruns its limit carries on after run has returned.
    auto out = std::make_shared<ScheduleOutcome>();
    const auto result = hooks.run([out, target = entry.target, hooks, request, snapshot](ProgramState& state) {
        std::vector<uint8_t> targets;
        std::string error;
        if (!ScheduleTargets(state, target, hooks.groups, &targets, &error)) {
            out->error = error;
            return;
        }
        if (snapshot) {
            *out = OutcomeOfAction(hooks.snapshot(state, targets));
            return;
        }
        *out = OutcomeOfAction(hooks.execute ? hooks.execute(state, targets, request)
                                             : RunActionOnTargets(state, targets, request));
    });
    if (result != CommandRunner::Outcome::kDone) return {{}, CommandRunnerOutcomeText(result)};
    return *out;
}

ServiceEvent ScheduleRunEvent(const ScheduleRunReport& report) {
    ServiceEvent e;
    e.kind = "schedule";
    e.fields = json::parse(ScheduleRunJson(report));
    e.fields.erase("kind");
    return e;
}

}  // namespace ombrix
