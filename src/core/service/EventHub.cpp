#include "service/EventHub.h"

#include <cstdio>
#include <ctime>

namespace ombrix {

using nlohmann::json;

std::string IsoUtcTime(std::chrono::system_clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000));
    return buf;
}

json EventJson(const ServiceEvent& event) {
    json j = event.fields.is_object() ? event.fields : json::object();
    j["event"] = event.kind;
    j["time"] = IsoUtcTime(event.time);
    if (event.address != 0) j["address"] = event.address;
    return j;
}

int EventHub::Subscribe(Callback callback) {
    std::lock_guard<std::mutex> lock(deliverMutex_);
    const int id = nextId_++;
    subscribers_[id] = std::move(callback);
    return id;
}

void EventHub::Unsubscribe(int id) {
    std::lock_guard<std::mutex> lock(deliverMutex_);
    subscribers_.erase(id);
}

int EventHub::SubscribeWithSnapshot(const std::function<void(const json&)>& first, Callback callback) {
    std::lock_guard<std::mutex> lock(deliverMutex_);
    first(Snapshot());
    const int id = nextId_++;
    subscribers_[id] = std::move(callback);
    return id;
}

void EventHub::Apply(const ServiceEvent& e) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (e.kind == "line lost") {
        lineUp_ = false;
    } else if (e.kind == "line back") {
        lineUp_ = true;
    } else if (e.address <= 0) {
        return;
    } else if (e.fields.is_object() && e.fields.contains("projector") && e.fields["projector"].is_object() &&
               (e.kind == "connected" || e.kind == "found" || e.kind == "state change" || e.kind == "details" ||
                e.kind == "command" || e.kind == "lost")) {
        projectors_[e.address] = e.fields["projector"];
    } else if (e.kind == "lost") {
        projectors_.erase(e.address);
    }
}

void EventHub::Publish(ServiceEvent event) {
    // State first, under the delivery lock, so a snapshot never runs ahead of or behind
    // the events a subscriber receives after it.
    std::lock_guard<std::mutex> lock(deliverMutex_);
    Apply(event);
    for (auto& [id, callback] : subscribers_) callback(event);
}

void EventHub::SetProjector(int address, const json& state) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    projectors_[address] = state;
}

json EventHub::Snapshot() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    json list = json::array();
    for (const auto& [address, state] : projectors_) list.push_back(state);
    return json{{"line", lineUp_ ? "up" : "lost"}, {"projectors", list}};
}

std::vector<json> EventHub::Projectors() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::vector<json> out;
    for (const auto& [address, state] : projectors_) out.push_back(state);
    return out;
}

bool EventHub::ProjectorKnown(int address) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    const auto it = projectors_.find(address);
    return it != projectors_.end() && !it->second.value("lost", false);
}

json EventHub::Projector(int address) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    const auto it = projectors_.find(address);
    return it == projectors_.end() ? json() : it->second;
}

bool EventHub::LineUp() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return lineUp_;
}

}  // namespace ombrix
