#include "service/Mqtt.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "data/JsonInput.h"
#include "platform/Files.h"

namespace ombrix {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// The field of a projector's state that holds its running hours.
constexpr const char* kRunningHoursField = "runtime";

bool Fail(std::string* reason, const std::string& text) {
    if (reason) *reason = text;
    return false;
}

bool ValidLevel(const std::string& s) { return !s.empty() && TopicLevel(s) == s; }

bool ValidPrefix(const std::string& s) {
    if (s.empty() || s.front() == '/' || s.back() == '/') return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = s.find('/', start);
        if (!ValidLevel(s.substr(start, slash == std::string::npos ? std::string::npos : slash - start))) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

// Discovery ids take letters, digits, '_' and '-' only.
std::string IdPart(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        out += std::isalnum(c) ? static_cast<char>(std::tolower(c)) : '_';
    }
    return out;
}

std::string ResolvePath(const std::string& folder, const std::string& path) {
    if (path.empty() || path.front() == '/' || folder.empty()) return path;
    return folder + "/" + path;
}

bool ReadPasswordFile(const std::string& path, std::string* password, std::string* reason) {
    std::vector<uint8_t> bytes;
    SysError error;
    if (!ReadWholeFile(path, &bytes, &error, 4096)) return Fail(reason, error.text);  // names the file
    std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    *password = text;
    return true;
}

std::string Field(const Json& state, const char* name) {
    if (!state.is_object() || !state.contains(name)) return "";
    const Json& v = state[name];
    if (v.is_string()) return v.get<std::string>();
    if (v.is_null()) return "";
    return v.dump();
}

// The name stays "Projector N" whatever is learnt of it, so the device is never renamed;
// a model not known yet ("?": found in standby, never seen awake) is left out.
OrderedJson Device(const MqttTopics& topics, int address, const Json& state) {
    std::string model = Field(state, "model");
    if (model == "?") model.clear();
    OrderedJson device{{"identifiers", OrderedJson::array({topics.NodeId(address)})},
                       {"name", "Projector " + std::to_string(address)}};
    if (!model.empty()) device["model"] = model;
    const std::string serial = Field(state, "serial");
    if (!serial.empty()) device["serial_number"] = serial;
    const std::string version = Field(state, "version");
    if (!version.empty()) device["sw_version"] = version;
    return device;
}

}  // namespace

std::string TopicLevel(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        out += (c == '/' || c == '+' || c == '#' || c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
    }
    return out;
}

bool ParseMqttHostPort(const std::string& text, std::string* host, int* port, std::string* reason) {
    std::string h = text;
    std::string p;
    if (!h.empty() && h.front() == '[') {
        const size_t close = h.find(']');
        if (close == std::string::npos) return Fail(reason, "\"" + text + "\": no ']' after the address");
        if (close + 1 < h.size()) {
            if (h[close + 1] != ':') return Fail(reason, "\"" + text + "\": expected HOST:PORT");
            p = h.substr(close + 2);
        }
        h = h.substr(1, close - 1);
    } else if (const size_t colon = h.rfind(':'); colon != std::string::npos) {
        if (h.find(':') != colon) return Fail(reason, "\"" + text + "\": an IPv6 address goes in brackets: [ADDR]:PORT");
        p = h.substr(colon + 1);
        h = h.substr(0, colon);
    }
    if (h.empty()) return Fail(reason, "\"" + text + "\": no host");
    int value = kMqttDefaultPort;
    if (!p.empty() || text.back() == ':') {
        if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos ||
            (value = std::stoi(p)) < 1 || value > 65535) {
            return Fail(reason, "\"" + text + "\": the port must be a number from 1 to 65535");
        }
    }
    *host = h;
    *port = value;
    return true;
}

bool ParseMqttConfig(const std::string& text, const std::string& workFolder, MqttConfig* out, std::string* reason) {
    Json doc;
    std::string unread;
    if (!ReadJsonText(text, &doc, &unread)) return Fail(reason, unread);
    if (!doc.is_object()) return Fail(reason, "expected a JSON object");
    MqttConfig c;
    std::string passwordFile;
    for (const auto& [key, v] : doc.items()) {
        if (key == "port" || key == "keepalive") {
            const int lo = key == "port" ? 1 : 5;
            const int hi = key == "port" ? 65535 : 3600;
            if (!v.is_number_integer() || v.get<int64_t>() < lo || v.get<int64_t>() > hi) {
                return Fail(reason, "\"" + key + "\" must be a number from " + std::to_string(lo) + " to " +
                                        std::to_string(hi));
            }
            (key == "port" ? c.port : c.keepAliveSec) = v.get<int>();
            continue;
        }
        std::string* target = key == "host"            ? &c.host
                              : key == "client_id"     ? &c.clientId
                              : key == "username"      ? &c.username
                              : key == "password_file" ? &passwordFile
                              : key == "ca_file"       ? &c.caFile
                              : key == "prefix"        ? &c.prefix
                              : key == "site"          ? &c.site
                                                       : nullptr;
        if (!target) return Fail(reason, "unknown field " + JsonExcerpt(Json(key)));
        if (!v.is_string()) return Fail(reason, "\"" + key + "\" must be a text");
        *target = v.get<std::string>();
    }
    if (!ValidPrefix(c.prefix)) return Fail(reason, "\"prefix\" must be topic levels without '+', '#' or empty levels");
    if (doc.contains("site") && !ValidLevel(c.site)) {
        return Fail(reason, "\"site\" must be one topic level: not empty, without '/', '+' or '#'");
    }
    if (!passwordFile.empty() && !ReadPasswordFile(ResolvePath(workFolder, passwordFile), &c.password, reason)) {
        return false;
    }
    c.caFile = ResolvePath(workFolder, c.caFile);
    *out = std::move(c);
    return true;
}

bool LoadMqttConfig(const std::string& workFolder, const std::string& option, const std::string& hostName,
                    MqttConfig* out, bool* enabled, std::string* reason) {
    *enabled = false;
    MqttConfig c;
    const std::string path = ResolvePath(workFolder, kMqttConfigFileName);
    const bool haveFile = FileExists(path);
    if (haveFile) {
        std::vector<uint8_t> bytes;
        SysError error;
        if (!ReadWholeFile(path, &bytes, &error, 64 * 1024)) return Fail(reason, error.text);  // names the file
        std::string why;
        if (!ParseMqttConfig(std::string(bytes.begin(), bytes.end()), workFolder, &c, &why)) {
            return Fail(reason, path + ": " + why);
        }
    }
    if (!option.empty()) {
        std::string why;
        if (!ParseMqttHostPort(option, &c.host, &c.port, &why)) return Fail(reason, "--mqtt " + why);
    } else if (!haveFile) {
        return true;
    } else if (c.host.empty()) {
        return Fail(reason, path + ": no \"host\"");
    }
    if (c.site.empty()) c.site = TopicLevel(hostName.empty() ? "ombrix" : hostName);
    if (c.clientId.empty()) c.clientId = "ombrix-" + c.site;
    *out = std::move(c);
    *enabled = true;
    return true;
}

MqttTopics::MqttTopics(const std::string& prefix, const std::string& site)
    : base_(prefix + "/" + site), node_(IdPart(prefix + "_" + site)) {}

std::string MqttTopics::ProjectorState(int address) const {
    return base_ + "/projector/" + std::to_string(address) + "/state";
}
std::string MqttTopics::ProjectorAvailability(int address) const {
    return base_ + "/projector/" + std::to_string(address) + "/availability";
}
std::string MqttTopics::ProjectorSet(int address) const {
    return base_ + "/projector/" + std::to_string(address) + "/set";
}
std::string MqttTopics::ProjectorResult(int address) const {
    return base_ + "/projector/" + std::to_string(address) + "/result";
}
std::string MqttTopics::ProjectorDrift(int address) const {
    return base_ + "/projector/" + std::to_string(address) + "/drift";
}
std::string MqttTopics::GroupSet(const std::string& group) const { return base_ + "/group/" + group + "/set"; }
std::string MqttTopics::GroupResult(const std::string& group) const { return base_ + "/group/" + group + "/result"; }

std::vector<std::string> MqttTopics::Subscriptions() const {
    return {base_ + "/projector/+/set", base_ + "/group/+/set"};
}

std::optional<MqttCommandTopic> MqttTopics::ParseCommand(const std::string& topic) const {
    const std::string head = base_ + "/";
    const std::string tail = "/set";
    if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0) {
        return std::nullopt;
    }
    const std::string middle = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    const size_t slash = middle.find('/');
    if (slash == std::string::npos) return std::nullopt;
    const std::string kind = middle.substr(0, slash);
    const std::string name = middle.substr(slash + 1);
    if ((kind != "projector" && kind != "group") || name.empty() || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    MqttCommandTopic c;
    c.resultTopic = topic.substr(0, topic.size() - tail.size()) + "/result";
    if (kind == "group") {
        c.group = true;
        c.groupName = name;
        return c;
    }
    if (name.size() > 3 || name.find_first_not_of("0123456789") != std::string::npos || name[0] == '0' ||
        std::stoi(name) > 255) {
        c.error = "the address must be a number from 1 to 255";
        return c;
    }
    c.address = std::stoi(name);
    return c;
}

std::string MqttTopics::NodeId(int address) const { return node_ + "_" + std::to_string(address); }

std::string MqttTopics::DiscoveryTopic(const char* component, int address, const char* object) const {
    return std::string(kDiscoveryPrefix) + "/" + component + "/" + NodeId(address) + "/" + object + "/config";
}

std::vector<MqttMessage> MqttPublisher::DiscoveryConfigs(int address, const std::string& stateJson) const {
    const Json state = Json::parse(stateJson, nullptr, false);
    const OrderedJson device = Device(topics_, address, state.is_discarded() ? Json::object() : state);
    auto common = [&](const char* object, const char* name) {
        // Available while the service runs and the projector answers.
        const OrderedJson availability = OrderedJson::array(
            {OrderedJson{{"topic", topics_.Availability()},
                         {"payload_available", kMqttOnline},
                         {"payload_not_available", kMqttOffline}},
             OrderedJson{{"topic", topics_.ProjectorAvailability(address)},
                         {"payload_available", kMqttOnline},
                         {"payload_not_available", kMqttOffline}}});
        return OrderedJson{{"name", name},
                           {"unique_id", topics_.NodeId(address) + "_" + object},
                           {"state_topic", topics_.ProjectorState(address)},
                           {"availability", availability},
                           {"availability_mode", "all"},
                           {"qos", 1},
                           {"device", device}};
    };
    auto switchConfig = [&](const char* object, const char* name, const char* onTemplate) {
        OrderedJson c = common(object, name);
        c["command_topic"] = topics_.ProjectorSet(address);
        c["payload_on"] = Json{{object, true}}.dump();
        c["payload_off"] = Json{{object, false}}.dump();
        c["state_on"] = "ON";
        c["state_off"] = "OFF";
        // Neither on nor off while the state is not known (the line is down).
        c["value_template"] = std::string("{{ None if value_json.state in ['unknown', 'Lost'] else ('ON' if ") +
                              onTemplate + " else 'OFF') }}";
        return MqttMessage{topics_.DiscoveryTopic("switch", address, object), c.dump(), true, 1};
    };
    OrderedJson hours = common("running_hours", "Running hours");
    // The service keeps the hours once read, through standby and loss; never read, they
    // are unknown (None), not a word where a number belongs.
    hours["value_template"] = std::string("{{ value_json.") + kRunningHoursField + " if value_json." +
                              kRunningHoursField + " is defined else None }}";
    hours["unit_of_measurement"] = "h";
    hours["device_class"] = "duration";
    hours["state_class"] = "total_increasing";
    OrderedJson stateSensor = common("state", "State");
    stateSensor["value_template"] = "{{ None if value_json.state == 'unknown' else value_json.state }}";
    stateSensor["device_class"] = "enum";
    stateSensor["options"] = {"Operating", "Pause", "StandBy", "Lost", "?"};
    OrderedJson drift = common("settings_drift", "Settings drift");
    drift["state_topic"] = topics_.ProjectorDrift(address);
    drift["payload_on"] = "ON";
    drift["payload_off"] = "OFF";
    drift["device_class"] = "problem";
    return {switchConfig("power", "Power", "value_json.state in ['Operating', 'Pause']"),
            switchConfig("pause", "Pause", "value_json.state == 'Pause'"),
            {topics_.DiscoveryTopic("sensor", address, "running_hours"), hours.dump(), true, 1},
            {topics_.DiscoveryTopic("sensor", address, "state"), stateSensor.dump(), true, 1},
            {topics_.DiscoveryTopic("binary_sensor", address, "settings_drift"), drift.dump(), true, 1}};
}

std::vector<MqttMessage> MqttPublisher::OnConnect(bool lineUp, const std::map<int, std::string>& states) {
    std::vector<MqttMessage> out{{topics_.Availability(), kMqttOnline, true, 1}};
    for (auto& m : LineChanged(lineUp)) out.push_back(std::move(m));
    announced_.clear();
    for (const auto& [address, state] : states) {
        for (auto& m : ProjectorChanged(address, state)) out.push_back(std::move(m));
    }
    return out;
}

std::vector<MqttMessage> MqttPublisher::LineChanged(bool up) const {
    return {{topics_.Line(), up ? "up" : "down", true, 1}};
}

std::vector<MqttMessage> MqttPublisher::ProjectorChanged(int address, const std::string& stateJson) {
    const Json state = Json::parse(stateJson, nullptr, false);
    // Lost, or nothing known while the line is down: not available either way.
    const std::string word = Field(state, "state");
    const bool away = state.is_object() && (state.value("lost", false) || word == "Lost" || word == "unknown");
    std::vector<MqttMessage> out{{topics_.ProjectorState(address), stateJson, true, 1},
                                 {topics_.ProjectorAvailability(address), away ? kMqttOffline : kMqttOnline, true, 1}};
    const std::string device =
        Device(topics_, address, state.is_discarded() ? Json::object() : state).dump();
    auto it = announced_.find(address);
    if (it == announced_.end() || it->second != device) {
        announced_[address] = device;
        for (auto& m : DiscoveryConfigs(address, stateJson)) out.push_back(std::move(m));
    }
    return out;
}

std::vector<MqttMessage> MqttPublisher::ProjectorForgotten(int address) {
    if (announced_.erase(address) == 0) return {};
    return Removals(address);
}

std::vector<MqttMessage> MqttPublisher::Removals(int address) const {
    std::vector<MqttMessage> out;
    for (auto& m : DiscoveryConfigs(address, "{}")) out.push_back({m.topic, "", true, 1});
    out.push_back({topics_.ProjectorState(address), "", true, 1});
    out.push_back({topics_.ProjectorDrift(address), "", true, 1});
    out.push_back({topics_.ProjectorAvailability(address), "", true, 1});
    return out;
}

MqttMessage MqttPublisher::CommandError(const MqttCommandTopic& command, const std::string& error) const {
    return {command.resultTopic, OrderedJson{{"ok", false}, {"error", error}}.dump(), false, 1};
}

}  // namespace ombrix
