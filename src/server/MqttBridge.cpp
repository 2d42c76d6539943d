#include "server/MqttBridge.h"

#include <mosquitto.h>

#include "service/MqttEvents.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace ombrix {
namespace {

std::once_flag libraryInit;

}  // namespace

MqttBridge::MqttBridge(MqttConfig config, CommandRunner runner, LogSink log)
    : config_(std::move(config)),
      runner_(std::move(runner)),
      log_(std::move(log)),
      publisher_(MqttTopics(config_.prefix, config_.site)) {}

MqttBridge::~MqttBridge() { Stop(); }

bool MqttBridge::Start(std::string* reason) {
    std::call_once(libraryInit, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(config_.clientId.c_str(), true, this);
    if (!mosq_) {
        if (reason) *reason = "cannot set up the MQTT client";
        return false;
    }
    auto fail = [&](const std::string& what, int rc) {
        if (reason) *reason = what + ": " + mosquitto_strerror(rc);
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        return false;
    };
    const MqttMessage will = publisher_.Will();
    int rc = mosquitto_will_set(mosq_, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(),
                                will.qos, will.retain);
    if (rc != MOSQ_ERR_SUCCESS) return fail("last will", rc);
    if (!config_.username.empty()) {
        rc = mosquitto_username_pw_set(mosq_, config_.username.c_str(),
                                       config_.password.empty() ? nullptr : config_.password.c_str());
        if (rc != MOSQ_ERR_SUCCESS) return fail("user name", rc);
    }
    if (!config_.caFile.empty()) {
        rc = mosquitto_tls_set(mosq_, config_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return fail("TLS with " + config_.caFile, rc);
    }
    mosquitto_reconnect_delay_set(mosq_, kMqttReconnectMinSec, kMqttReconnectMaxSec, true);
    mosquitto_connect_callback_set(mosq_, &MqttBridge::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &MqttBridge::OnDisconnect);
    mosquitto_message_callback_set(mosq_, &MqttBridge::OnMessage);

    worker_ = std::thread([this] { Worker(); });
    connector_ = std::thread([this] { Connector(); });
    refresher_ = std::thread([this] { Refresher(); });
    started_ = true;
    return true;
}

void MqttBridge::Connector() {
    unsigned delaySec = kMqttReconnectMinSec;
    bool logged = false;
    for (;;) {
        int rc = mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, config_.keepAliveSec);
        if (rc == MOSQ_ERR_SUCCESS) {
            std::lock_guard lock(queueMutex_);
            if (stopping_) return;
            rc = mosquitto_loop_start(mosq_);
            if (rc == MOSQ_ERR_SUCCESS) {
                loopStarted_ = true;
                return;
            }
        }
        if (!logged && log_) {
            log_("mqtt: " + config_.host + ":" + std::to_string(config_.port) + " not reached (" +
                 (rc == MOSQ_ERR_ERRNO ? std::string("connection failed") : std::string(mosquitto_strerror(rc))) +
                 "); retrying");
            logged = true;
        }
        std::unique_lock lock(queueMutex_);
        if (queueCv_.wait_for(lock, std::chrono::seconds(delaySec), [&] { return stopping_; })) return;
        delaySec = std::min(delaySec * 2, kMqttReconnectMaxSec);
    }
}

void MqttBridge::Stop() {
    if (!started_) return;
    started_ = false;
    {
        std::lock_guard lock(mutex_);
        if (connected_) Publish(publisher_.Offline());
    }
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueCv_.notify_all();
    if (connector_.joinable()) connector_.join();
    if (refresher_.joinable()) refresher_.join();
    mosquitto_disconnect(mosq_);
    if (loopStarted_) mosquitto_loop_stop(mosq_, false);
    connected_ = false;
    if (worker_.joinable()) worker_.join();
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

void MqttBridge::Publish(const MqttMessage& m, bool connecting) {
    if ((!connected_ && !connecting) || !mosq_) return;
    const int rc = mosquitto_publish(mosq_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()),
                                     m.payload.empty() ? nullptr : m.payload.data(), m.qos, m.retain);
    // A publish that fails here is lost with the connection; the next connection sends
    // the whole state again.
    (void)rc;
}

void MqttBridge::OnConnect(mosquitto*, void* self, int rc) {
    auto* b = static_cast<MqttBridge*>(self);
    if (rc != 0) {
        if (b->log_) b->log_(std::string("mqtt: the broker refused the connection: ") + mosquitto_connack_string(rc));
        return;
    }
    if (b->log_) b->log_("mqtt: connected to " + b->config_.host + ":" + std::to_string(b->config_.port));
    for (const auto& topic : b->publisher_.Topics().Subscriptions()) {
        mosquitto_subscribe(b->mosq_, nullptr, topic.c_str(), 1);
    }
    std::lock_guard lock(b->mutex_);
    // Connected() says so once the whole state is on its way.
    for (const auto& m : b->publisher_.OnConnect(b->lineUp_, b->states_)) b->Publish(m, true);
    for (const auto& [address, drifted] : b->drifted_) b->Publish(b->publisher_.Drift(address, drifted), true);
    b->connected_ = true;
    {
        std::lock_guard queueLock(b->queueMutex_);
        b->refreshDue_ = true;
    }
    b->queueCv_.notify_all();
    for (int address : b->forgottenOffline_) {
        if (b->states_.count(address)) continue;
        for (const auto& m : b->publisher_.Removals(address)) b->Publish(m);
    }
    b->forgottenOffline_.clear();
}

void MqttBridge::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* b = static_cast<MqttBridge*>(self);
    const bool was = b->connected_.exchange(false);
    if (was && rc != 0 && b->log_) {
        b->log_("mqtt: connection to " + b->config_.host + ":" + std::to_string(b->config_.port) +
                " lost; retrying");
    }
}

void MqttBridge::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* b = static_cast<MqttBridge*>(self);
    if (!message || !message->topic) return;
    // A retained command would run again at every reconnect.
    if (message->retain) {
        if (b->log_) b->log_(std::string("mqtt: retained command on ") + message->topic + " ignored");
        return;
    }
    const auto* bytes = static_cast<const char*>(message->payload);
    b->HandleMessage(message->topic,
                     bytes ? std::string(bytes, static_cast<size_t>(message->payloadlen)) : std::string());
}

void MqttBridge::HandleMessage(const std::string& topic, const std::string& payload) {
    const auto command = publisher_.Topics().ParseCommand(topic);
    if (!command) return;
    std::string error = command->error;
    ServiceAction action;
    if (error.empty() && payload.size() > kMaxMqttCommandSize) error = "payload too large";
    if (error.empty()) ParseActionPayload(payload, &action, &error);
    if (error.empty()) {
        std::lock_guard lock(queueMutex_);
        if (queue_.size() >= kMqttCommandQueueLimit) {
            error = "busy: too many commands waiting";
        } else {
            queue_.push_back({*command, action});
        }
    }
    if (!error.empty()) {
        if (log_) log_("mqtt: " + topic + ": " + error);
        std::lock_guard lock(mutex_);
        Publish(publisher_.CommandError(*command, error));
        return;
    }
    queueCv_.notify_all();
}

void MqttBridge::Worker() {
    for (;;) {
        Command c;
        {
            std::unique_lock lock(queueMutex_);
            queueCv_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            c = std::move(queue_.front());
            queue_.pop_front();
        }
        const std::string result = runner_ ? runner_(c.topic, c.action) : std::string("{\"ok\":false}");
        std::lock_guard lock(mutex_);
        Publish(publisher_.CommandResult(c.topic, result));
    }
}

void MqttBridge::Refresher() {
    for (;;) {
        {
            std::unique_lock lock(queueMutex_);
            queueCv_.wait(lock, [&] { return stopping_ || refreshDue_; });
            if (stopping_) return;
            if (queueCv_.wait_for(lock, std::chrono::milliseconds(kMqttRefreshAfterMs), [&] { return stopping_; })) {
                return;
            }
            refreshDue_ = false;
        }
        std::lock_guard lock(mutex_);
        Publish({publisher_.Topics().Availability(), kMqttOnline, true, 1});
        for (const auto& m : publisher_.LineChanged(lineUp_)) Publish(m);
        for (const auto& [address, state] : states_)
            for (const auto& m : publisher_.ProjectorChanged(address, state)) Publish(m);
    }
}

void MqttBridge::ProjectorChanged(int address, const std::string& stateJson) {
    std::lock_guard lock(mutex_);
    const auto it = states_.find(address);
    const std::string state = it == states_.end() ? stateJson : StateWithKeptDetails(it->second, stateJson);
    states_[address] = state;
    for (const auto& m : publisher_.ProjectorChanged(address, state)) Publish(m);
    // No snapshot has found a drift yet: the sensor says so rather than nothing.
    if (drifted_.emplace(address, false).second) Publish(publisher_.Drift(address, false));
}

void MqttBridge::ProjectorForgotten(int address) {
    std::lock_guard lock(mutex_);
    states_.erase(address);
    drifted_.erase(address);
    if (!connected_) forgottenOffline_.insert(address);
    for (const auto& m : publisher_.ProjectorForgotten(address)) Publish(m);
}

void MqttBridge::ProjectorLost(int address) {
    std::lock_guard lock(mutex_);
    const auto it = states_.find(address);
    const std::string state = LostStateJson(address, it == states_.end() ? std::string() : it->second);
    states_[address] = state;
    for (const auto& m : publisher_.ProjectorChanged(address, state)) Publish(m);
}

void MqttBridge::OnServiceEvent(const ServiceEvent& event) {
    const MqttRoute route = RouteForMqtt(event);
    switch (route.kind) {
        case MqttRoute::kState: ProjectorChanged(route.address, route.stateJson); break;
        case MqttRoute::kLost: ProjectorLost(route.address); break;
        case MqttRoute::kForget: ProjectorForgotten(route.address); break;
        case MqttRoute::kLine: LineChanged(route.lineUp); break;
        case MqttRoute::kDrift: {
            std::lock_guard lock(mutex_);
            drifted_[route.address] = route.drifted;
            Publish(publisher_.Drift(route.address, route.drifted));
            break;
        }
        case MqttRoute::kNone: break;
    }
    Event(EventJson(event).dump());
}

void MqttBridge::LineChanged(bool up) {
    std::lock_guard lock(mutex_);
    lineUp_ = up;
    for (const auto& m : publisher_.LineChanged(up)) Publish(m);
}

void MqttBridge::Event(const std::string& eventJson) {
    std::lock_guard lock(mutex_);
    Publish(publisher_.Event(eventJson));
}

}  // namespace ombrix
