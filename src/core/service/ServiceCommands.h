#pragma once
// The commands a remote client may send a projector (or each projector of a target
// list): the force toggles, a remote-control key, an input source, a forced block. A
// body is checked whole before anything goes on the line; the commands then run on the
// thread that owns the program's tables, one at a time, each exchange under the bus
// lock as the window's commands are.
#include <chrono>
#include <cstdint>
#include <functional>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Program.h"
#include "platform/Dispatcher.h"

namespace ombrix {

// Action names as the API's paths spell them.
constexpr const char* kActionPower = "power";
constexpr const char* kActionPause = "pause";
constexpr const char* kActionText = "text";
constexpr const char* kActionKey = "key";
constexpr const char* kActionSource = "source";
constexpr const char* kActionForceBlock = "force-block";

struct ActionRequest {
    std::string action;
    bool on = false;          // power, pause, text
    int code = 0;             // key: 0-255
    int slot = 0;             // source: 1-99, or 0 when named
    std::string sourceName;   // source: an entry of options.cfg's source list
    int typeIndex = 0;        // force-block: index of "Video", "SVHS", "TTL", "RGsB", "RGBS"
    int number = 0;           // force-block: 1-99
};

// Bodies:  power|pause|text {"on": bool}   key {"code": 0-255}
//          source {"slot": 1-99} or {"name": "..."}   force-block {"type": "RGsB", "number": 1-99}
// Anything else - another field, a wrong type, a value out of range, an unknown action -
// is refused with the reason in *why.
bool ParseAction(const std::string& action, const nlohmann::json& body, ActionRequest* out, std::string* why);

// What became of an action as a whole.
enum class ActionResult {
    Done,
    Refused,       // turned away before the line: a value the projector cannot take (an unknown source name)
    NotConnected,  // the one projector asked for is not connected
    Failed,        // a projector did not do it, did not answer or went away
    LineDown,      // the line is lost: nothing reached a projector
};

struct ActionOutcome {
    ActionResult result = ActionResult::Done;
    std::string error;  // why, when one projector's action or the whole was not done
    // Each projector or member: done, skipped and why, or not done and why (detail).
    std::vector<MemberOutcome> targets;
    // The report as clients read it: {"address", "action", "ok", "result" (0-3, when one
    // command decides), "error"}, or {"action", "ok", "results": [...]} for several.
    nlohmann::json body = nlohmann::json::object();
};

// On the thread that owns `state`. The force toggles send their key only when the
// projector's fresh status differs from what is asked (as the force panel does); power on
// waits out the projector's wake-up.
ActionOutcome RunAction(ProgramState& state, uint8_t address, const ActionRequest& request);
// Each target in turn, in order. Done when every one did it, else Failed; "results" holds
// each target's body.
ActionOutcome RunActionOnTargets(ProgramState& state, const std::vector<uint8_t>& targets,
                                 const ActionRequest& request);

// Power, the power key and a source reach a projector in standby: they wake it.
bool ActionWakes(const ActionRequest& request);
// A group's members in order: those planned as skipped are not sent anything and their
// result says why ({"address": 12, "ok": false, "skipped": "standby"}), the others run
// as RunActionOnTargets runs them. Done only when every member did it, else Failed;
// "summary" says it in words ("2 of 3 done; projector 12 skipped: in standby").
ActionOutcome RunActionOnMembers(ProgramState& state, const std::vector<MemberOutcome>& members,
                                 const ActionRequest& request);

// The time a request may wait for its turn on the line before it is answered "busy".
constexpr std::chrono::milliseconds kLineWaitLimit{30000};
// Seconds a refused client is told to wait (Retry-After).
constexpr int kRetryAfterSeconds = 5;

// Runs jobs on the thread that owns the program's tables (through its Dispatcher), one
// at a time, so two clients never interleave on the line. The calling thread waits.
class CommandRunner {
public:
    enum class Outcome {
        kDone,
        // The job could not start in time (other line work ahead of it): it was dropped
        // unstarted, nothing went on the line.
        kLineBusy,
        // Started but still running at the run limit; it carries on, its result is lost.
        kTimedOut,
        // The service is stopping: the job was not run.
        kStopped,
    };

    explicit CommandRunner(Dispatcher& owner) : owner_(owner) {}
    Outcome Run(std::function<void()> job, std::chrono::milliseconds startLimit = kLineWaitLimit,
                std::chrono::milliseconds runLimit = std::chrono::minutes(10));
    // Later jobs, and queued ones when they come up, are not run.
    void Stop();

private:
    struct Pending;
    Dispatcher& owner_;
    std::shared_ptr<std::atomic<bool>> stopped_ = std::make_shared<std::atomic<bool>>(false);
};

const char* CommandRunnerOutcomeText(CommandRunner::Outcome outcome);
// Within a job CommandRunner runs: whether the runner has been stopped since, so work of
// several exchanges ends after the one under way.
bool JobStopRequested();

}  // namespace ombrix
