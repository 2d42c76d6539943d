#include "Automation.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "service/HistoryService.h"

namespace ombrix::server {

using nlohmann::json;

namespace {

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

std::string Failure(const std::string& why) { return json{{"ok", false}, {"error", why}}.dump(); }

}  // namespace

Automation::Automation(ServiceHost& host, Clock& clock, std::ostream* log)
    : host_(host),
      log_(log),
      scheduler_(
          clock, [this](const ScheduleEntry& e) { return RunEntry(e); },
          [this](const ScheduleRunReport& r) { host_.Hub().Publish(ScheduleRunEvent(r)); },
          [this](const std::string& line) { Log(line); }) {}

Automation::~Automation() { Stop(); }

void Automation::Log(const std::string& line) {
    if (!log_) return;
    std::lock_guard lock(logMutex_);
    *log_ << line << '\n';
    log_->flush();
}

bool Automation::Start(const std::string& mqttOption, std::string* why) {
    MqttConfig config;
    bool mqttOn = false;
    if (!LoadMqttConfig(".", mqttOption, HostName(), &config, &mqttOn, why)) return false;

    std::vector<ScheduleEntry> entries;
    std::string reason;
    std::string kept;
    if (!ReadSchedulesFile(schedulesPath_, &entries, &reason, &kept)) {
        Log("schedules: " + reason + "; no schedule runs until a good list is put");
        entries.clear();
    }
    scheduler_.SetEntries(std::move(entries));
    scheduler_.LogStart();
    schedulerThread_ = std::thread([this] { scheduler_.Run(stop_); });

    if (mqttOn) {
        mqtt_ = std::make_unique<MqttBridge>(
            config, [this](const MqttCommandTopic& t, const ServiceAction& a) { return RunMqttCommand(t, a); },
            [this](const std::string& line) { Log(line); });
        MqttBridge* bridge = mqtt_.get();
        subscription_ = host_.Hub().SubscribeWithSnapshot(
            [bridge](const json& snapshot) {
                bridge->LineChanged(snapshot.value("line", "up") == "up");
                for (const json& p : snapshot["projectors"]) bridge->ProjectorChanged(p.value("address", 0), p.dump());
            },
            [bridge](const ServiceEvent& e) { bridge->OnServiceEvent(e); });
        if (!mqtt_->Start(why)) {
            host_.Hub().Unsubscribe(subscription_);
            subscription_ = 0;
            mqtt_.reset();
            return false;
        }
        Log("mqtt: topics under " + mqtt_->Topics().Base() + "/, broker " + config.host + ":" +
            std::to_string(config.port));
    }
    return true;
}

void Automation::Stop() {
    stop_ = true;
    if (schedulerThread_.joinable()) schedulerThread_.join();
    if (subscription_) host_.Hub().Unsubscribe(subscription_);
    subscription_ = 0;
    if (mqtt_) mqtt_->Stop();
}

ScheduleOutcome Automation::RunEntry(const ScheduleEntry& entry) {
    ServiceHost* host = &host_;
    ScheduleHooks hooks;
    hooks.run = [host](const std::function<void(ProgramState&)>& work) { return host->Run(work); };
    hooks.execute = [host](ProgramState& state, const std::vector<uint8_t>& targets, const ActionRequest& request) {
        return host->Execute(state, targets, request, false);
    };
    hooks.groups = [host](ProgramState& state, const std::string& group, std::vector<uint8_t>* targets,
                          std::string* error) {
        if (!host->GroupKnown(group)) {
            *error = "no group \"" + group + "\"";
            return false;
        }
        *targets = host->GroupTargets(state, group);
        if (targets->empty()) *error = "no member of group \"" + group + "\" is connected";
        return !targets->empty();
    };
    // The entry's name is the snapshots' note: a nightly run of an unchanged site counts on
    // the snapshots it took before.
    hooks.snapshot = [host, note = entry.name](ProgramState& state, const std::vector<uint8_t>& targets) {
        ActionOutcome o;
        HistoryStore* store = ServiceHistoryStore(&o.error);
        if (!store) {
            o.result = ActionResult::Failed;
            return o;
        }
        for (const SnapshotOutcome& s :
             TakeSnapshots(state, *store, &host->Hub(), targets, SnapshotReason::Schedule, note)) {
            MemberOutcome m{s.address, MemberSkip::None, false, ""};
            if (!s.opened) {
                if (s.notOpened.standby) m.skipped = MemberSkip::Standby;
                m.detail = NotOpenedText(s.notOpened);
            } else {
                m.done = s.taken.stored && s.taken.complete;
                m.detail = !s.taken.stored ? s.taken.failure : s.taken.complete ? "" : s.taken.detail;
            }
            if (!m.done) o.result = ActionResult::Failed;
            o.targets.push_back(m);
        }
        return o;
    };
    return RunScheduleEntry(entry, hooks);
}

std::string Automation::RunMqttCommand(const MqttCommandTopic& topic, const ServiceAction& action) {
    ActionRequest request;
    std::string why;
    if (!ParseAction(action.command, json::parse(action.body, nullptr, false), &request, &why)) return Failure(why);
    if (topic.group && !host_.GroupKnown(topic.groupName)) return Failure("no group \"" + topic.groupName + "\"");
    if (const std::string why = host_.Unavailable(); !why.empty()) return Failure(why);
    if (!topic.group && !host_.Hub().ProjectorKnown(topic.address)) {
        return Failure("no connected projector at address " + std::to_string(topic.address));
    }
    // Owned by the job: one that overruns its limit carries on after Run has returned.
    auto result = std::make_shared<ActionOutcome>();
    ServiceHost* host = &host_;
    const auto outcome = host_.Run([host, result, topic, request](ProgramState& state) {
        *result = topic.group ? host->ExecuteGroup(state, topic.groupName, request)
                              : host->Execute(state, {static_cast<uint8_t>(topic.address)}, request, true);
    });
    if (outcome != CommandRunner::Outcome::kDone) return Failure(CommandRunnerOutcomeText(outcome));
    json body = result->body;
    if (!body.contains("ok")) body["ok"] = result->result == ActionResult::Done;
    if (topic.group) body["group"] = topic.groupName;
    return body.dump();
}

}  // namespace ombrix::server
