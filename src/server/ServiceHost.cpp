#include "ServiceHost.h"

#include <pthread.h>

#include <climits>
#include <set>

#include "blocks/GroupTree.h"
#include "blocks/Groups.h"
#include "directaccess/DirectAccess.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/LineRules.h"
#include "discovery/ProjectorListRow.h"
#include "discovery/QuickSearch.h"
#include "discovery/Search.h"
#include "link/Commands.h"
#include "link/Frame.h"
#include "link/SeatWire.h"
#include "projector/Messages.h"
#include "service/ProjectorJson.h"

namespace ombrix::server {

using nlohmann::json;

namespace {

constexpr int kReopenTimer = 2;
constexpr const char* kAllGroup = "all";
constexpr const char* kSearchingText = "the search for projectors is running; try again when it has ended";

ServiceEvent SearchEvent(bool running, const std::string& text) {
    ServiceEvent e;
    e.kind = "search";
    e.fields = {{"running", running}, {"text", text}};
    return e;
}

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
      runner_(queue_),
      live_(state_.env, [this](int address) {
          std::vector<std::string> names{kAllGroup};
          for (const UserGroup& g : groups_.groups)
              for (uint8_t m : g.members)
                  if (m == address) names.push_back(g.name);
          return names;
      }) {
    hub_.Subscribe([this](const ServiceEvent& e) {
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

void ServiceHost::Publish(const std::vector<ServiceEvent>& events) {
    for (const ServiceEvent& e : events) hub_.Publish(e);
}

bool ServiceHost::Open(std::string* why) {
    // The line first: a server that cannot have it writes nothing (options.cfg included)
    // into its work folder.
    LoadCommSettings(state_);
    if (options_.baud) state_.link.settings.baudRate = static_cast<uint32_t>(*options_.baud);
    state_.link.deviceOverride = options_.device;
    state_.link.seatAllowed = false;
    Env quiet = state_.env;
    quiet.ui = nullptr;
    if (!SetupConnection(quiet, state_.link, kOwnerTool)) {
        *why = OpenFailureText(state_.link);
        return false;
    }
    StartProgram(state_);
    state_.env.descriptionFolders = &options_.descriptionFolders;
    LoadWorkGroups(state_);
    groups_ = state_.groups;
    lineName_ = LineName(state_.link);
    Log("line " + lineName_ + " open");
    searching_ = true;
    opened_ = true;
    owner_ = std::thread([this] { OwnerLoop(); });
    OpenSeats();
    return true;
}

void ServiceHost::OpenSeats() {
    SeatHostOptions options;
    options.leaseCapMs = options_.seatLeaseCapMs;
    SeatHost::Hooks hooks;
    // A reading begun before a seat's change is older than what the change left.
    hooks.touched = [this](uint8_t address) { live_.Generations().Bump(address); };
    hooks.changed = [this](const SeatChange& c) { queue_.Post([this, c] { PublishSeatChange(c); }); };
    hooks.log = [this](const std::string& line) { Log(line); };
    seats_ = std::make_unique<SeatHost>(state_.link, options, hooks);
    std::string why;
    if (!seats_->Listen(SeatSocketPath(state_.link.openedPath), &why)) {
        Log("no seats for other programs: " + why);
        seats_.reset();
    }
}

// What a program at a seat changed is told at once, naming the seat, as the service's own
// commands are: every view agrees without waiting for the next status round.
void ServiceHost::PublishSeatChange(const SeatChange& c) {
    if (stopRequested_) return;
    json fields = {{"action", RequestName(c.command)},
                   {"parameters", json::array({c.parameters[0], c.parameters[1], c.parameters[2], c.parameters[3]})},
                   {"seat", c.seat}};
    const ProjectorRecord* r = FindConnectedRecord(state_, c.address);
    if (!r) {
        ServiceEvent e;
        e.kind = "command";
        e.address = c.address;
        e.fields = fields;
        hub_.Publish(e);
        return;
    }
    Publish(live_.Changed(*r, "command", fields));
}

json ServiceHost::LineJson() const {
    json j = seats_ ? seats_->Json() : json{{"seats", json::array()}};
    j["line"] = lineName_;
    j["up"] = hub_.LineUp();
    j["searching"] = searching_.load();
    return j;
}

bool ServiceHost::ListenForRemoteSeats(const std::string& host, int port, const std::string& token,
                                       std::string* why) {
    if (!seats_) {
        *why = "this line has no seats";
        return false;
    }
    return seats_->ListenTcp(host, port, token, why);
}

SeatCounts ServiceHost::Seats() const { return seats_ ? seats_->Counts() : SeatCounts{}; }

bool ServiceHost::Start(std::string* why) { return Open(why) && Search(); }

bool ServiceHost::Search() {
    if (!opened_ || stopRequested_ || searchQueued_.exchange(true)) return false;
    searching_ = true;
    queue_.Post([this] { RunSearch(); });
    return true;
}

std::string ServiceHost::Unavailable() const {
    if (searching_) return kSearchingText;
    std::lock_guard<std::mutex> lock(lineMutex_);
    return lineLostText_;
}

void ServiceHost::RunSearch() {
    if (reader_) reader_->Pause(true);
    // Readings begun before the search say nothing about the table it builds.
    live_.Generations().BumpAll();
    hub_.Publish(SearchEvent(true, "searching for projectors"));
    const AddressProbe probe = ConfiguredSearchProbe(state_);
    const SearchVerdict verdict = RunSearchRule(
        state_,
        [&](int32_t address, ProjectorRecord* record) {
            const ProbeOutcome p = probe(address, record);
            if (p.answered) {
                std::optional<KeptIdentity> identity;
                std::optional<long> hours;
                KeptIdentity read;
                // The probe has read identity and id number: only what it does not ask is read.
                if (CompleteKeptIdentity(state_.link, *record, p.version, &read, &hours)) identity = read;
                hub_.Publish(live_.Found(record, identity, hours));
            }
            return p;
        },
        [this] { return stopRequested_.load(); });
    if (verdict == SearchVerdict::Skipped) Log("the search mode in options.cfg is \"Skip Search\": no search");
    if (verdict == SearchVerdict::Abandoned || stopRequested_) return;
    // A search the line cut short is made again once the line is back.
    searchAgain_ = verdict == SearchVerdict::LineLost;
    Publish(live_.SearchEnded(state_));
    live_.Generations().BumpAll();
    searching_ = false;
    searchQueued_ = false;
    hub_.Publish(SearchEvent(false, "the search has ended: " + std::to_string(state_.projectors.connectedCount) +
                                        " projector(s) connected"));
    if (LineLostShared(state_.link, false)) OnLineLost();
    UpdateRoster();
    if (reader_) {
        reader_->Pause(false);
    } else {
        StartReader();
    }
}

void ServiceHost::StartReader() {
    if (!state_.options.checkEnabled) {
        Log("no status reads: the background check is switched off in options.cfg");
        return;
    }
    StatusReader::Hooks hooks;
    hooks.deliver = [this](const LiveReading& r) {
        queue_.Post([this, r] { ApplyReading(r); });
    };
    hooks.lineLost = [this] { queue_.Post([this] { OnLineLost(); }); };
    hooks.roundDone = [this](uint64_t ms) { metrics_.SetCheckSeconds(static_cast<double>(ms) / 1000.0); };
    reader_ = std::make_unique<StatusReader>(state_.link, live_.Generations(), hooks);
    UpdateRoster();
    const uint32_t interval = options_.checkIntervalMs ? options_.checkIntervalMs
                                                       : CheckIntervalSeconds(state_.options.checkIntervalId) * 1000;
    reader_->Start(interval);
}

void ServiceHost::UpdateRoster() {
    if (!reader_) return;
    StatusReader::Roster roster;
    const ProjectorTable& t = state_.projectors;
    for (int i = 0; i < t.connectedCount; ++i) {
        const uint8_t a = t.records[static_cast<size_t>(i)].address;
        const KeptIdentity* id = live_.Identity(a);
        roster.connected.push_back({a, id && id->complete});
    }
    roster.lost = live_.LostAddresses();
    reader_->SetRoster(std::move(roster));
}

void ServiceHost::ApplyReading(const LiveReading& reading) {
    if (stopRequested_ || searching_) return;
    const std::vector<ServiceEvent> events = live_.Apply(state_, reading);
    Publish(events);
    if (!events.empty()) UpdateRoster();
}

void ServiceHost::OnLineLost() {
    if (!live_.LineUp()) return;
    const std::string text = LineLostText(state_.link);
    {
        std::lock_guard<std::mutex> lock(lineMutex_);
        lineLostText_ = text;
    }
    Publish(live_.LineChanged(false, text, state_));
    // Unattended: a lost line is reopened every few seconds, quietly, and the reads carry
    // on once it is back (as the command-line watch does).
    KeepReopening(queue_, kReopenTimer, state_.env, state_.link, kOwnerTool, true, [this] { LineBack(); });
}

void ServiceHost::LineBack() {
    {
        std::lock_guard<std::mutex> lock(lineMutex_);
        lineLostText_.clear();
    }
    Publish(live_.LineChanged(true, "the line " + LineName(state_.link) + " is back", state_));
    if (searchAgain_) {
        searchAgain_ = false;
        Search();
        return;
    }
    if (reader_) reader_->LineBack();
}

void ServiceHost::OwnerLoop() {
    // Named, so a look at the process (top -H, /proc) tells the threads apart.
    pthread_setname_np(pthread_self(), "ombrix-owner");
    // Asleep until there is something to do: Stop() wakes it.
    queue_.Serve([this] { return stopRequested_.load(); });
    // Whatever is still queued is refused, not run.
    runner_.Stop();
    queue_.KillTimer(kReopenTimer);
    queue_.RunUntil(state_.link.clock.TickMs(), nullptr);
}

void ServiceHost::Stop() {
    if (!opened_ || stopped_) return;
    stopped_ = true;
    stopRequested_ = true;
    // Seats first: a lease ends, and the line is the service's alone until it closes.
    if (seats_) seats_->Stop();
    runner_.Stop();
    // The reader's exchange in progress is called off; what it still delivers is not applied.
    state_.link.backgroundStop = true;
    state_.link.lock.Interrupt();
    queue_.Wake();
    if (owner_.joinable()) owner_.join();
    // The owner made the reader, if it did; it is gone now.
    if (reader_) reader_->Stop();
    reader_.reset();
    CloseConnection(state_.link, kOwnerTool);
    ShutdownProgram(state_);
    Log("stopped: line closed, files saved");
}

CommandRunner::Outcome ServiceHost::Run(const std::function<void(ProgramState&)>& work) {
    // A command holds the line for all its exchanges: the status reader neither slips in
    // between them nor touches the device while the command asks it whether the line is lost.
    return runner_.Run(
        [this, work] {
            Link& link = state_.link;
            link.lock.AcquireForeground();
            struct Release {
                Link& link;
                ~Release() { link.lock.ReleaseForeground(false); }
            } release{link};
            work(state_);
        },
        options_.lineWait);
}

json ServiceHost::Groups() const {
    std::set<int> connected;
    json all = json::array();
    for (const json& p : hub_.Projectors()) {
        if (p.value("lost", false)) continue;
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
    if (!live_.LineUp()) {
        ActionOutcome refused;
        refused.result = ActionResult::LineDown;
        refused.error = LineLostText(state.link);
        refused.body = {{"action", request.action}, {"ok", false}, {"error", LineLostText(state.link)}};
        return refused;
    }
    ActionOutcome o = members                           ? RunActionOnMembers(state, *members, request)
                      : single && targets.size() == 1 ? RunAction(state, targets[0], request)
                                                      : RunActionOnTargets(state, targets, request);
    // Any reading begun before now is older than what the command left.
    for (uint8_t a : targets) live_.Generations().Bump(a);
    if (LineLostShared(state.link, false)) {
        o.result = ActionResult::LineDown;
        o.error = LineLostText(state.link);
        o.body["ok"] = false;
        o.body["error"] = o.error;
        OnLineLost();
    }
    for (uint8_t a : targets) {
        const ProjectorRecord* r = FindConnectedRecord(state, a);
        if (!r) continue;
        json fields = {{"action", request.action}};
        if (single) {
            fields["ok"] = o.body.value("ok", false);
            if (o.body.contains("error")) fields["error"] = o.body["error"];
        }
        Publish(live_.Changed(*r, "command", fields));
        if (single) o.body["projector"] = live_.Json(*r);
    }
    // A projector the command woke may have to be identified.
    UpdateRoster();
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
    if (!live_.LineUp()) {
        *status = 503;
        return json{{"error", LineLostText(state.link)}};
    }
    ProjectorRecord* r = FindConnectedRecord(state, address);
    if (!r) {
        *status = 404;
        return json{{"error", "no connected projector at address " + std::to_string(address)}};
    }
    StatusFlags flags;
    uint32_t valid = 0;
    const int statusResult = ReadStatus(state.link, address, &flags, &valid);
    if (statusResult == kDone) CopyStatusFlags(flags, r);
    std::string serial, id, runtime;
    if (statusResult == kDone && !r->standby) {
        if (ReadSerialNumber(state.link, address, &serial) == kDone) live_.SetSerial(address, serial);
        if (ReadIdNumber(state.link, address, &id) == kDone) r->idNumber = IdNumberValue(id);
        if (ReadRuntime(state.link, address, &runtime) == kDone) {
            if (const auto hours = RuntimeHours(runtime)) live_.SetRuntime(address, *hours);
        }
    }
    live_.Generations().Bump(address);
    if (statusResult != kDone && LineLostShared(state.link, false)) {
        OnLineLost();
        *status = 503;
        return json{{"error", LineLostText(state.link)}};
    }
    Publish(live_.Changed(*r));
    json j = live_.Json(*r);
    j["fresh"] = statusResult == kDone;
    *status = 200;
    return j;
}

}  // namespace ombrix::server
