#include "ServiceHost.h"

#include <climits>
#include <set>

#include "blocks/GroupTree.h"
#include "blocks/Groups.h"
#include "directaccess/DirectAccess.h"
#include "discovery/ProjectorListRow.h"
#include "discovery/QuickSearch.h"
#include "discovery/Search.h"
#include "link/Commands.h"
#include "link/Frame.h"
#include "projector/Messages.h"
#include "service/ProjectorJson.h"

namespace ombrix::server {

using nlohmann::json;

namespace {

constexpr int kCheckTimer = 1;
constexpr int kReopenTimer = 2;
constexpr uint32_t kReopenMs = 3000;
constexpr uint32_t kSettleAfterReopenMs = 200;
constexpr const char* kAllGroup = "all";

}  // namespace

ServiceHost::ServiceHost(const HostPorts& ports, const HostOptions& options)
    : ports_(ports),
      options_(options),
      ui_([this](const std::string& caption, const std::string& text) {
          Log("box: " + caption + ": " + text);
          ServiceEvent e;
          e.kind = "box";
          e.fields = {{"caption", caption}, {"text", text}};
          hub_.Publish(e);
      }),
      state_(*ports.clock, ui_, *ports.libraries, *ports.devices),
      queue_(*ports.clock),
      runner_(queue_) {
    hub_.Subscribe([this](const ServiceEvent& e) {
        metrics_.OnEvent(e);
        if (e.kind == "box") return;  // logged where raised
        std::string line = "event " + e.kind;
        if (e.address) line += " address " + std::to_string(e.address);
        if (e.fields.contains("text")) line += ": " + e.fields["text"].get<std::string>();
        if (e.fields.contains("projector") && e.fields["projector"].contains("state"))
            line += " (" + e.fields["projector"]["state"].get<std::string>() + ")";
        Log(line);
    });
    state_.link.exchangeObserver = [this](int result, uint64_t ms) { metrics_.CountExchange(result, ms); };
}

ServiceHost::~ServiceHost() { Stop(); }

void ServiceHost::Log(const std::string& line) {
    if (!ports_.log) return;
    std::lock_guard<std::mutex> lock(logMutex_);
    *ports_.log << line << '\n';
    ports_.log->flush();
}

json ServiceHost::StateJson(const ProjectorRecord& r) const {
    ProjectorExtras extras;
    const auto it = runtimeHours_.find(r.address);
    if (it != runtimeHours_.end()) extras.runtimeHours = it->second;
    std::vector<std::string> names{kAllGroup};
    for (const UserGroup& g : groups_.groups)
        for (uint8_t m : g.members)
            if (m == r.address) names.push_back(g.name);
    return ProjectorStateJson(state_.env, r, names, &extras);
}

void ServiceHost::PublishProjector(const std::string& kind, const ProjectorRecord& r, json extra) {
    ServiceEvent e;
    e.kind = kind;
    e.address = r.address;
    e.fields = extra.is_object() ? extra : json::object();
    e.fields["projector"] = StateJson(r);
    hub_.Publish(e);
}

bool ServiceHost::Start(std::string* why) {
    StartProgram(state_);
    state_.env.descriptionFolders = &options_.descriptionFolders;
    LoadWorkGroups(state_);
    groups_ = state_.groups;
    LoadCommSettings(state_);
    if (options_.baud) state_.link.settings.baudRate = static_cast<uint32_t>(*options_.baud);
    state_.link.deviceOverride = options_.device;
    if (!SetupConnection(state_.env, state_.link, kOwnerTool)) {
        *why = OpenFailureText(state_.link);
        ShutdownProgram(state_);
        return false;
    }
    Log("line " + LineName(state_.link) + " open");
    if (SearchSkipped(state_.options)) {
        Log("the search mode in options.cfg is \"Skip Search\": no projectors");
    } else if (!RunConfiguredSearch(state_)) {
        ShowWarning(state_.env, 18);
        state_.options.searchLimit = 0;
    }
    const ProjectorTable& t = state_.projectors;
    for (int i = 0; i < t.connectedCount; ++i) {
        const ProjectorRecord& r = t.records[static_cast<size_t>(i)];
        std::string text;
        if (!r.standby && ReadRuntime(state_.link, r.address, &text) == kDone) {
            if (const auto hours = RuntimeHours(text)) runtimeHours_[r.address] = *hours;
        }
        PublishProjector("connected", r);
    }
    started_ = true;
    queue_.Post([this] { StartCheck(); });
    owner_ = std::thread([this] { OwnerLoop(); });
    return true;
}

void ServiceHost::StartCheck() {
    BackgroundCheck::Hooks hooks;
    hooks.armTimer = [this](uint32_t ms) {
        queue_.StartTimer(kCheckTimer, ms, [this] {
            checkStartTick_ = state_.link.clock.TickMs();
            check_->OnCheckTimer();
        });
    };
    hooks.applied = [this](const CheckApplied& applied) {
        metrics_.SetCheckSeconds(static_cast<double>(state_.link.clock.TickMs() - checkStartTick_) / 1000.0);
        for (ProjectorRecord r : applied.removedRecords) {
            runtimeHours_.erase(r.address);
            ServiceEvent e;
            e.kind = "lost";
            e.address = r.address;
            json p = StateJson(r);
            p["state"] = kLostStateText;
            e.fields["projector"] = p;
            hub_.Publish(e);
        }
        const ProjectorTable& t = state_.projectors;
        for (int address : applied.stateChanged) {
            for (int i = 0; i < t.connectedCount; ++i) {
                const ProjectorRecord& r = t.records[static_cast<size_t>(i)];
                if (r.address == address) PublishProjector("state change", r);
            }
        }
    };
    // Unattended: a lost line is reopened every few seconds, quietly, and the check
    // carries on once it is back (as the command-line watch does).
    reopen_ = [this] {
        CloseConnection(state_.link, kOwnerTool);
        Env quiet = state_.env;
        quiet.ui = nullptr;
        const bool opened = SetupConnection(quiet, state_.link, kOwnerTool) != 0;
        if (opened) state_.link.clock.WaitMs(kSettleAfterReopenMs);
        if (!opened || LineLost(state_.link)) {
            queue_.StartTimer(kReopenTimer, kReopenMs, reopen_);
            return;
        }
        ServiceEvent e;
        e.kind = "line back";
        e.fields["text"] = "the line " + LineName(state_.link) + " is back";
        hub_.Publish(e);
        check_->ArmCheckTimer();
    };
    hooks.lineLost = [this] {
        ServiceEvent e;
        e.kind = "line lost";
        e.fields["text"] = LineLostText(state_.link);
        hub_.Publish(e);
        queue_.StartTimer(kReopenTimer, kReopenMs, reopen_);
    };
    check_ = std::make_unique<BackgroundCheck>(state_, queue_, hooks);
    if (options_.checkIntervalMs) check_->SetIntervalOverride(options_.checkIntervalMs);
    check_->SetEvaluate(false);
    if (!check_->Start()) Log("no background check: it is switched off, or no projector is connected");
}

void ServiceHost::OwnerLoop() {
    queue_.RunUntil(UINT64_MAX, [this] { return stopRequested_.load(); });
    if (check_) {
        check_->RequestCheckStop();
        queue_.RunUntil(UINT64_MAX, [this] { return check_->WorkersDone(); });
        check_.reset();
    }
    // Whatever is still queued is refused, not run.
    runner_.Stop();
    queue_.KillTimer(kCheckTimer);
    queue_.KillTimer(kReopenTimer);
    queue_.RunUntil(state_.link.clock.TickMs(), nullptr);
}

void ServiceHost::Stop() {
    if (!started_ || stopped_) return;
    stopped_ = true;
    stopRequested_ = true;
    runner_.Stop();
    if (owner_.joinable()) owner_.join();
    CloseConnection(state_.link, kOwnerTool);
    ShutdownProgram(state_);
    Log("stopped: line closed, files saved");
}

CommandRunner::Outcome ServiceHost::Run(const std::function<void(ProgramState&)>& work) {
    return runner_.Run([this, work] { work(state_); }, options_.lineWait);
}

json ServiceHost::Groups() const {
    std::set<int> connected;
    json all = json::array();
    for (const json& p : hub_.Projectors()) {
        all.push_back(p["address"]);
        connected.insert(p["address"].get<int>());
    }
    json list = json::array({json{{"name", kAllGroup}, {"main", true}, {"members", all}, {"connected", all}}});
    for (const UserGroup& g : groups_.groups) {
        json members = json::array(), on = json::array();
        for (uint8_t m : g.members) {
            members.push_back(m);
            if (connected.count(m)) on.push_back(m);
        }
        list.push_back(json{{"name", g.name}, {"main", false}, {"members", members}, {"connected", on}});
    }
    return json{{"groups", list}};
}

bool ServiceHost::GroupKnown(const std::string& name) const {
    return name == kAllGroup || FindGroup(groups_, name) >= 0;
}

std::vector<uint8_t> ServiceHost::GroupTargets(const ProgramState& state, const std::string& name) const {
    ProjectorSelection selection;
    if (name == kAllGroup) {
        selection.kind = SelectionKind::AllConnected;
    } else {
        selection.kind = SelectionKind::Group;
        selection.group = name;
    }
    std::vector<uint8_t> out;
    for (const TargetEntry& t : BuildGroupTargetList(state.projectors, state.link.currentAddress, groups_, selection))
        out.push_back(t.address);
    return out;
}

ActionOutcome ServiceHost::Execute(ProgramState& state, const std::vector<uint8_t>& targets,
                                   const ActionRequest& request, bool single, const std::vector<MemberOutcome>* members) {
    std::map<int, std::string> before;
    for (uint8_t a : targets)
        if (const ProjectorRecord* r = FindConnectedRecord(state, a)) before[a] = ProjectorStateText(*r);
    ActionOutcome o = members                           ? RunActionOnMembers(state, *members, request)
                      : single && targets.size() == 1 ? RunAction(state, targets[0], request)
                                                      : RunActionOnTargets(state, targets, request);
    for (uint8_t a : targets) {
        const ProjectorRecord* r = FindConnectedRecord(state, a);
        if (!r) continue;
        json fields = {{"action", request.action}};
        if (single) {
            fields["ok"] = o.body.value("ok", false);
            if (o.body.contains("error")) fields["error"] = o.body["error"];
        }
        PublishProjector("command", *r, fields);
        if (before.count(a) && before[a] != ProjectorStateText(*r)) PublishProjector("state change", *r);
        if (single) o.body["projector"] = StateJson(*r);
    }
    return o;
}

ActionOutcome ServiceHost::ExecuteGroup(ProgramState& state, const std::string& name, const ActionRequest& request) {
    ProjectorSelection selection{SelectionKind::Group, name};
    if (name == kAllGroup) selection = ProjectorSelection{SelectionKind::AllConnected, ""};
    const std::vector<MemberOutcome> members =
        PlanGroupMembers(state.projectors, state.link.currentAddress, groups_, selection, ActionWakes(request));
    std::vector<uint8_t> reached;
    for (const MemberOutcome& m : members)
        if (m.skipped == MemberSkip::None) reached.push_back(m.address);
    return Execute(state, reached, request, false, &members);
}

json ServiceHost::ReadDetails(ProgramState& state, uint8_t address, int* status) {
    ProjectorRecord* r = FindConnectedRecord(state, address);
    if (!r) {
        *status = 404;
        return json{{"error", "no connected projector at address " + std::to_string(address)}};
    }
    const std::string stateBefore = ProjectorStateText(*r);
    StatusFlags flags;
    uint32_t valid = 0;
    const int statusResult = ReadStatus(state.link, address, &flags, &valid);
    if (statusResult == kDone) CopyStatusFlags(flags, r);
    std::string serial, id, runtime;
    ProjectorExtras extras;
    if (statusResult == kDone && !r->standby) {
        if (ReadSerialNumber(state.link, address, &serial) == kDone) extras.serial = serial;
        if (ReadIdNumber(state.link, address, &id) == kDone) r->idNumber = IdNumberValue(id);
        if (ReadRuntime(state.link, address, &runtime) == kDone) {
            if (const auto hours = RuntimeHours(runtime)) runtimeHours_[address] = *hours;
        }
    }
    if (stateBefore != ProjectorStateText(*r)) PublishProjector("state change", *r);
    hub_.SetProjector(address, StateJson(*r));
    json j = StateJson(*r);
    if (!extras.serial.empty()) j["serial"] = extras.serial;
    j["fresh"] = statusResult == kDone;
    *status = 200;
    return j;
}

}  // namespace ombrix::server
