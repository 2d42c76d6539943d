#pragma once
// The service on an MQTT broker: a thin adapter over libmosquitto. The broker's own
// thread keeps the connection (reconnecting with back-off while the broker is away);
// commands run on a worker of their own, so neither the line nor the HTTP side ever
// waits for the broker, and the broker's thread never waits for the line.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "service/EventHub.h"
#include "service/Mqtt.h"
#include "service/ServiceAction.h"

struct mosquitto;
struct mosquitto_message;

namespace ombrix {

// Commands waiting beyond this many are answered "busy" at once.
constexpr size_t kMqttCommandQueueLimit = 64;
constexpr unsigned kMqttReconnectMinSec = 1;
constexpr unsigned kMqttReconnectMaxSec = 30;
constexpr int kMqttRefreshAfterMs = 1000;

class MqttBridge {
public:
    // Runs one command; returns the result JSON published on .../result.
    using CommandRunner = std::function<std::string(const MqttCommandTopic&, const ServiceAction&)>;
    using LogSink = std::function<void(const std::string&)>;

    MqttBridge(MqttConfig config, CommandRunner runner, LogSink log);
    ~MqttBridge();
    MqttBridge(const MqttBridge&) = delete;
    MqttBridge& operator=(const MqttBridge&) = delete;

    // Starts the connection in the background; false only when the client cannot be set
    // up at all (a TLS file that cannot be used, no memory). A broker that is away is not
    // an error: the bridge keeps trying.
    bool Start(std::string* reason);
    // Publishes "offline", disconnects and joins the threads.
    void Stop();

    // From any thread; kept for the next connection when the broker is away.
    void ProjectorChanged(int address, const std::string& stateJson);
    void ProjectorForgotten(int address);
    // Its last state, marked lost; it stays announced.
    void ProjectorLost(int address);
    // Routes one event of the hub (RouteForMqtt) and passes it on to the event topic.
    void OnServiceEvent(const ServiceEvent& event);
    void LineChanged(bool up);
    void Event(const std::string& eventJson);

    bool Connected() const { return connected_.load(); }
    const MqttTopics& Topics() const { return publisher_.Topics(); }

private:
    struct Command {
        MqttCommandTopic topic;
        ServiceAction action;
    };
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    void HandleMessage(const std::string& topic, const std::string& payload);
    // mutex_ held; `connecting`: from the connection's own callback, before Connected().
    void Publish(const MqttMessage& m, bool connecting = false);
    void Worker();
    // Until the first connection attempt is under way; then the library's loop retries.
    void Connector();

    MqttConfig config_;
    CommandRunner runner_;
    LogSink log_;
    mosquitto* mosq_ = nullptr;
    bool started_ = false;
    std::atomic<bool> connected_{false};

    std::mutex mutex_;  // the publisher, the state cache, and publishing
    MqttPublisher publisher_;
    std::map<int, std::string> states_;
    std::map<int, bool> drifted_;  // the settings-drift sensors' states
    std::set<int> forgottenOffline_;  // their retained messages go at the next connection
    bool lineUp_ = false;

    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<Command> queue_;
    bool stopping_ = false;
    std::thread worker_;
    std::thread connector_;
    // The library resends messages left unacknowledged by a broken connection after the
    // fresh state of the new one; the state goes out once more a moment later, so an old
    // one never stays retained.
    void Refresher();
    std::thread refresher_;
    bool refreshDue_ = false;  // queueMutex_
    bool loopStarted_ = false;  // queueMutex_
};

}  // namespace ombrix
