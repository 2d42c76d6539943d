#include "service/ServiceCommands.h"

#include <condition_variable>
#include <mutex>

#include "data/JsonInput.h"
#include "directaccess/DirectAccess.h"
#include "directaccess/Force.h"
#include "directaccess/Sources.h"
#include "link/Commands.h"
#include "link/Frame.h"

namespace ombrix {

using nlohmann::json;

namespace {

// A JSON integer within [lo, hi]; 1.0 or "1" is not one.
bool IntIn(const json& v, long lo, long hi, int* out) {
    if (!v.is_number_integer()) return false;
    const long long n = v.get<long long>();
    if (n < lo || n > hi) return false;
    *out = static_cast<int>(n);
    return true;
}

bool OnlyFields(const json& body, std::initializer_list<const char*> allowed, std::string* why) {
    for (const auto& [key, value] : body.items()) {
        bool known = false;
        for (const char* a : allowed) known = known || key == a;
        if (!known) {
            *why = "unknown field " + JsonExcerpt(json(key));
            return false;
        }
    }
    return true;
}

const char* CommandFailure(int result) {
    switch (result) {
        case kNacked: return "the projector refused the command (NACK)";
        case kNoAnswer: return "the projector acknowledged but gave no valid answer";
        default: return "the projector did not answer";
    }
}

// The force flag as ApplyForce keeps it: power is the standby flag.
bool ForceReached(const ProjectorRecord& r, int which, bool on) {
    if (which == kForcePower) return (r.standby == 0) == on;
    if (which == kForcePause) return (r.pause != 0) == on;
    return (r.textOn != 0) == on;
}

}  // namespace

bool ParseAction(const std::string& action, const json& body, ActionRequest* out, std::string* why) {
    ActionRequest r;
    r.action = action;
    if (!body.is_object()) {
        *why = "the body must be a JSON object";
        return false;
    }
    if (action == kActionPower || action == kActionPause || action == kActionText) {
        if (!OnlyFields(body, {"on"}, why)) return false;
        if (!body.contains("on") || !body["on"].is_boolean()) {
            *why = "\"on\" must be true or false";
            return false;
        }
        r.on = body["on"].get<bool>();
    } else if (action == kActionKey) {
        if (!OnlyFields(body, {"code"}, why)) return false;
        if (!body.contains("code") || !IntIn(body["code"], 0, 255, &r.code)) {
            *why = "\"code\" must be a key code 0-255";
            return false;
        }
    } else if (action == kActionSource) {
        if (!OnlyFields(body, {"slot", "name"}, why)) return false;
        const bool hasSlot = body.contains("slot"), hasName = body.contains("name");
        if (hasSlot == hasName) {
            *why = "give either \"slot\" or \"name\"";
            return false;
        }
        if (hasSlot && !IntIn(body["slot"], 1, kMaxInputSlot, &r.slot)) {
            *why = "\"slot\" must be an input slot 1-99";
            return false;
        }
        if (hasName) {
            if (!body["name"].is_string() || body["name"].get<std::string>().empty()) {
                *why = "\"name\" must be a source name";
                return false;
            }
            r.sourceName = body["name"].get<std::string>();
        }
    } else if (action == kActionForceBlock) {
        if (!OnlyFields(body, {"type", "number"}, why)) return false;
        if (!body.contains("type") || !body["type"].is_string()) {
            *why = "\"type\" must be one of Video, SVHS, TTL, RGsB, RGBS";
            return false;
        }
        r.typeIndex = -1;
        for (int i = 0; i < kSourceTypeCount; ++i)
            if (SourceTypeText(i) == body["type"].get<std::string>()) r.typeIndex = i;
        if (r.typeIndex < 0) {
            *why = "\"type\" must be one of Video, SVHS, TTL, RGsB, RGBS";
            return false;
        }
        if (!body.contains("number") || !IntIn(body["number"], 1, kSourceNumberCount, &r.number)) {
            *why = "\"number\" must be 1-99";
            return false;
        }
    } else {
        *why = "unknown command " + JsonExcerpt(json(action));
        return false;
    }
    *out = r;
    return true;
}

ActionOutcome RunAction(ProgramState& state, uint8_t address, const ActionRequest& request) {
    ActionOutcome o;
    o.body = {{"address", address}, {"action", request.action}};
    o.targets = {MemberOutcome{address, MemberSkip::None, true, ""}};
    auto fail = [&](ActionResult result, const std::string& error) {
        o.result = result;
        o.error = error;
        o.targets[0].done = false;
        o.targets[0].detail = error;
        o.body["ok"] = false;
        o.body["error"] = error;
        return o;
    };
    ProjectorRecord* record = FindConnectedRecord(state, address);
    if (!record) return fail(ActionResult::NotConnected, "no connected projector at address " + std::to_string(address));

    const std::string& a = request.action;
    if (a == kActionPower || a == kActionPause || a == kActionText) {
        const int which = a == kActionPower ? kForcePower : a == kActionPause ? kForcePause : kForceText;
        const int done = ForceOne(state, address, which,
                                  which == kForcePower ? (request.on ? 0 : 1) : (request.on ? 1 : 0), {});
        if (done < 0) return fail(ActionResult::Failed, "the projector did not answer");
        record = FindConnectedRecord(state, address);
        if (!record) return fail(ActionResult::Failed, "the projector went away");
        if (!ForceReached(*record, which, request.on)) return fail(ActionResult::Failed, "the projector did not change");
        o.body["ok"] = true;
        o.body["changed"] = done == 1;
        return o;
    }
    if (a == kActionKey) {
        const int r = KeyCommand(state.link, address, static_cast<uint8_t>(request.code));
        o.body["result"] = r;
        if (r != kDone) return fail(ActionResult::Failed, CommandFailure(r));
        o.body["ok"] = true;
        return o;
    }
    if (a == kActionSource) {
        int slot = request.slot;
        if (!request.sourceName.empty()) {
            for (const SourceEntry& e : state.options.sources)
                if (e.Name() == request.sourceName) slot = e.inputSlot;
            if (slot <= 0 || slot > kMaxInputSlot) return fail(ActionResult::Refused, "no source named " + JsonExcerpt(json(request.sourceName)));
        }
        int result = kDone;
        const bool done = SelectSource(state, address, slot, {}, &result);
        o.body["slot"] = slot;
        o.body["result"] = result;
        if (!done) return fail(ActionResult::Failed, CommandFailure(result));
        o.body["ok"] = true;
        return o;
    }
    if (a == kActionForceBlock) {
        const int r = ForceBlock(state.link, address, static_cast<uint8_t>(request.number),
                                 ForceBlockTypeCode(request.typeIndex));
        o.body["result"] = r;
        if (r != kDone) return fail(ActionResult::Failed, CommandFailure(r));
        o.body["ok"] = true;
        return o;
    }
    return fail(ActionResult::Refused, "unknown command \"" + a + "\"");
}

ActionOutcome RunActionOnTargets(ProgramState& state, const std::vector<uint8_t>& targets,
                                 const ActionRequest& request) {
    ActionOutcome all;
    json results = json::array();
    bool ok = true;
    for (uint8_t address : targets) {
        if (JobStopRequested()) {
            ok = false;
            const std::string why = CommandRunnerOutcomeText(CommandRunner::Outcome::kStopped);
            all.targets.push_back({address, MemberSkip::None, false, why});
            results.push_back({{"address", address}, {"action", request.action}, {"ok", false}, {"error", why}});
            continue;
        }
        const ActionOutcome one = RunAction(state, address, request);
        ok = ok && one.result == ActionResult::Done;
        all.targets.push_back(one.targets[0]);
        results.push_back(one.body);
    }
    all.result = ok ? ActionResult::Done : ActionResult::Failed;
    all.body = {{"action", request.action}, {"ok", ok}, {"results", results}};
    return all;
}

bool ActionWakes(const ActionRequest& request) {
    return request.action == kActionPower || request.action == kActionSource ||
           (request.action == kActionKey && request.code == kKeyPower);
}

ActionOutcome RunActionOnMembers(ProgramState& state, const std::vector<MemberOutcome>& members,
                                 const ActionRequest& request) {
    std::vector<MemberOutcome> outcomes = members;
    json results = json::array();
    for (MemberOutcome& m : outcomes) {
        if (m.skipped != MemberSkip::None) {
            results.push_back(
                {{"address", m.address}, {"action", request.action}, {"ok", false}, {"skipped", SkipWord(m.skipped)}});
            continue;
        }
        if (JobStopRequested()) {
            m.detail = CommandRunnerOutcomeText(CommandRunner::Outcome::kStopped);
            results.push_back({{"address", m.address}, {"action", request.action}, {"ok", false}, {"error", m.detail}});
            continue;
        }
        const ActionOutcome one = RunAction(state, m.address, request);
        m.done = one.result == ActionResult::Done;
        if (!m.done) m.detail = one.error.empty() ? "failed" : one.error;
        results.push_back(one.body);
    }
    ActionOutcome all;
    const bool ok = AllMembersDone(outcomes);
    all.result = ok ? ActionResult::Done : ActionResult::Failed;
    all.targets = outcomes;
    all.body = {{"action", request.action}, {"ok", ok}, {"results", results}, {"summary", GroupOutcomeText(outcomes)}};
    return all;
}

namespace {
thread_local const std::atomic<bool>* tJobStopped = nullptr;
}

bool JobStopRequested() { return tJobStopped && tJobStopped->load(); }

struct CommandRunner::Pending {
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool finished = false;
    bool dropped = false;
};

CommandRunner::Outcome CommandRunner::Run(std::function<void()> job, std::chrono::milliseconds startLimit,
                                          std::chrono::milliseconds runLimit) {
    if (stopped_->load()) return Outcome::kStopped;
    auto pending = std::make_shared<Pending>();
    auto stopped = stopped_;
    owner_.Post([pending, stopped, job = std::move(job)] {
        {
            std::lock_guard<std::mutex> lock(pending->mutex);
            if (pending->dropped || stopped->load()) {
                pending->dropped = true;
                pending->cv.notify_all();
                return;
            }
            pending->started = true;
        }
        tJobStopped = stopped.get();
        job();
        tJobStopped = nullptr;
        std::lock_guard<std::mutex> lock(pending->mutex);
        pending->finished = true;
        pending->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(pending->mutex);
    const auto startDeadline = std::chrono::steady_clock::now() + startLimit;
    if (!pending->cv.wait_until(lock, startDeadline, [&] { return pending->started || pending->dropped; })) {
        pending->dropped = true;
        return Outcome::kLineBusy;
    }
    if (pending->dropped) return Outcome::kStopped;
    if (!pending->cv.wait_for(lock, runLimit, [&] { return pending->finished; })) return Outcome::kTimedOut;
    return Outcome::kDone;
}

void CommandRunner::Stop() { stopped_->store(true); }

const char* CommandRunnerOutcomeText(CommandRunner::Outcome outcome) {
    switch (outcome) {
        case CommandRunner::Outcome::kDone: return "done";
        case CommandRunner::Outcome::kLineBusy: return "the line is busy with other commands; try again later";
        case CommandRunner::Outcome::kTimedOut: return "the command is still running";
        case CommandRunner::Outcome::kStopped: return "the service is stopping";
    }
    return "";
}

}  // namespace ombrix
