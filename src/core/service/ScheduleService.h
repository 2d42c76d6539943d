#pragma once
// Schedules inside the service: GET and PUT of the list, a run carried out with the
// service's commands, and the run as an event for every live feed.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Program.h"
#include "service/EventHub.h"
#include "service/Scheduler.h"
#include "service/ServiceCommands.h"

namespace ombrix {

enum class ScheduleResult {
    Done,
    Refused,   // the list is not a good one; the reason says where
    Busy,      // another writer holds the file; try again
    NotSaved,  // the file could not be written (or one kept aside stands in the way)
};

struct ScheduleReply {
    ScheduleResult result = ScheduleResult::Done;
    std::string body;  // JSON: the list, or {"error": why}
};

// Done and the list with each entry's next run.
ScheduleReply GetSchedules(const Scheduler& scheduler);
// The whole list checked, then saved, then in force: Refused with the reason, Busy or
// NotSaved when it could not be saved; unless Done nothing changed.
ScheduleReply PutSchedules(const std::string& path, const std::string& body, Scheduler& scheduler);

// A group's connected members in order; false with the reason for a group that is not there.
// Runs on the thread that owns the tables.
using GroupTargets = std::function<bool(ProgramState&, const std::string& group, std::vector<uint8_t>* targets,
                                        std::string* error)>;
// On the owner's thread: the addresses an entry acts on. "all": every connected projector.
bool ScheduleTargets(ProgramState& state, const ScheduleTarget& target, const GroupTargets& groups,
                     std::vector<uint8_t>* targets, std::string* error);
// The per-projector results of RunAction / RunActionOnTargets (its targets); its error
// when it has none.
ScheduleOutcome OutcomeOfAction(const ActionOutcome& outcome);
// How a run reaches the program: run puts work on the owner's thread (as CommandRunner::Run),
// execute carries out an action there (RunActionOnTargets when empty).
struct ScheduleHooks {
    std::function<CommandRunner::Outcome(const std::function<void(ProgramState&)>&)> run;
    std::function<ActionOutcome(ProgramState&, const std::vector<uint8_t>&, const ActionRequest&)> execute;
    GroupTargets groups;
    // Snapshots of the targets' blocks ({"results": [...]}); without it a snapshot entry fails.
    std::function<ActionOutcome(ProgramState&, const std::vector<uint8_t>&)> snapshot;
};
// Any thread: runs the entry as an API call would.
ScheduleOutcome RunScheduleEntry(const ScheduleEntry& entry, const ScheduleHooks& hooks);

// kind "schedule", fields of ScheduleRunJson.
ServiceEvent ScheduleRunEvent(const ScheduleRunReport& report);

}  // namespace ombrix
