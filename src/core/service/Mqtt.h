#pragma once
// The MQTT side of the service, without the broker library: the configuration (one
// reader), the topics, the retained state and discovery messages, and the commands that
// arrive. The adapter in server/ only moves these messages to and from the broker.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "service/ServiceAction.h"

namespace ombrix {

constexpr const char* kMqttConfigFileName = "mqtt.json";
constexpr int kMqttDefaultPort = 1883;
constexpr const char* kMqttDefaultPrefix = "ombrix";
constexpr const char* kDiscoveryPrefix = "homeassistant";
constexpr const char* kMqttOnline = "online";
constexpr const char* kMqttOffline = "offline";
// Larger payloads on .../set are answered with an error unread.
constexpr size_t kMaxMqttCommandSize = 64 * 1024;

struct MqttConfig {
    std::string host;
    int port = kMqttDefaultPort;
    std::string clientId;  // empty: "ombrix-" + site
    std::string username;
    std::string password;  // read from the password file, never kept in mqtt.json
    std::string caFile;    // set: the connection uses TLS
    std::string prefix = kMqttDefaultPrefix;
    std::string site;      // empty: the host name
    int keepAliveSec = 30;
};

// "HOST:PORT", "[v6]:PORT", or a bare host (the default port).
bool ParseMqttHostPort(const std::string& text, std::string* host, int* port, std::string* reason);
// mqtt.json: {"host", "port", "client_id", "username", "password_file", "ca_file", "prefix",
// "site", "keepalive"}; paths are relative to the work folder.
bool ParseMqttConfig(const std::string& text, const std::string& workFolder, MqttConfig* out, std::string* reason);
// Whether the bridge runs, and how: the option (may be empty) wins over the file's host
// and port; neither present → *enabled false. hostName fills an empty site.
bool LoadMqttConfig(const std::string& workFolder, const std::string& option, const std::string& hostName,
                    MqttConfig* out, bool* enabled, std::string* reason);
// A topic level made of what may stand in one: no '/', '+', '#', nor control characters.
std::string TopicLevel(const std::string& text);

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retain = false;
    int qos = 1;
    bool operator==(const MqttMessage&) const = default;
};

struct MqttCommandTopic {
    bool group = false;
    int address = 0;
    std::string groupName;
    std::string resultTopic;  // the topic with /result for /set
    std::string error;        // set: the topic names no valid projector or group
};

class MqttTopics {
public:
    MqttTopics(const std::string& prefix, const std::string& site);
    const std::string& Base() const { return base_; }
    std::string Availability() const { return base_ + "/status"; }
    std::string Line() const { return base_ + "/line"; }
    std::string Events() const { return base_ + "/event"; }
    std::string ProjectorState(int address) const;
    // "online" while the projector answers, "offline" once it is lost.
    std::string ProjectorAvailability(int address) const;
    std::string ProjectorSet(int address) const;
    std::string ProjectorResult(int address) const;
    // "ON" while the projector's latest snapshot found its settings changed, else "OFF".
    std::string ProjectorDrift(int address) const;
    std::string GroupSet(const std::string& group) const;
    std::string GroupResult(const std::string& group) const;
    std::vector<std::string> Subscriptions() const;
    // A .../set topic of ours (possibly with an error), or nothing.
    std::optional<MqttCommandTopic> ParseCommand(const std::string& topic) const;
    // homeassistant/<component>/<node>/<object>/config
    std::string DiscoveryTopic(const char* component, int address, const char* object) const;
    std::string NodeId(int address) const;

private:
    std::string base_;
    std::string node_;  // the site as discovery ids take it: [a-z0-9_]
};

// What the bridge publishes, decided from the service's events. Keeps which projectors
// have their discovery configs out, so a forgotten one gets them removed once.
class MqttPublisher {
public:
    explicit MqttPublisher(MqttTopics topics) : topics_(std::move(topics)) {}
    const MqttTopics& Topics() const { return topics_; }

    // Everything a fresh connection needs: online, the line, each projector's state and
    // discovery configs (retained messages may have been lost with a broker's restart).
    std::vector<MqttMessage> OnConnect(bool lineUp, const std::map<int, std::string>& states);
    // The last will: offline, retained.
    MqttMessage Will() const { return {topics_.Availability(), kMqttOffline, true, 1}; }
    // On a clean stop.
    MqttMessage Offline() const { return Will(); }
    std::vector<MqttMessage> LineChanged(bool up) const;
    // stateJson: the projector's fields as the API gives them; its availability with it.
    // The discovery configs follow when the projector is new or its model or serial
    // changed.
    std::vector<MqttMessage> ProjectorChanged(int address, const std::string& stateJson);
    // Empty retained configs and state: the projector is gone from the list. Nothing when
    // it was not announced.
    std::vector<MqttMessage> ProjectorForgotten(int address);
    // The same, whether announced or not (for a projector forgotten while the broker was away).
    std::vector<MqttMessage> Removals(int address) const;
    MqttMessage Event(const std::string& eventJson) const { return {topics_.Events(), eventJson, false, 1}; }
    // {"ok": false, "error": ...} on the command's result topic.
    MqttMessage CommandError(const MqttCommandTopic& command, const std::string& error) const;
    MqttMessage CommandResult(const MqttCommandTopic& command, const std::string& resultJson) const {
        return {command.resultTopic, resultJson, false, 1};
    }
    MqttMessage Drift(int address, bool drifted) const {
        return {topics_.ProjectorDrift(address), drifted ? "ON" : "OFF", true, 1};
    }

    // The discovery configs of one projector (power and pause switches, running-hours and
    // state sensors, the settings-drift binary sensor), for a projector state.
    std::vector<MqttMessage> DiscoveryConfigs(int address, const std::string& stateJson) const;

private:
    MqttTopics topics_;
    std::map<int, std::string> announced_;  // address → the device part last announced
};

}  // namespace ombrix
