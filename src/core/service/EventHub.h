#pragma once
// One event model for every live feed: the command-line watch's --json lines, the
// server's event stream and the MQTT bridge all consume the same events, so they never
// disagree. The hub also keeps the latest state of each projector and of the line, so a
// client that connects late starts from the present.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ombrix {

// Kinds: "found", "not found", "connected", "lost", "state change", "details" (identity
// or running hours changed, the state did not), "line lost", "line back", "command",
// "search", "schedule", "snapshot taken", "drift", "box", "message", "error". A consumer
// ignores kinds it does not know.
struct ServiceEvent {
    std::string kind;
    std::chrono::system_clock::time_point time = std::chrono::system_clock::now();
    // The projector the event is about; 0 for the line or the program.
    int address = 0;
    // Everything else: "projector" (ProjectorStateJson), "text", "result", ...
    nlohmann::json fields = nlohmann::json::object();
};

// "2026-12-08T14:30:05.123Z".
std::string IsoUtcTime(std::chrono::system_clock::time_point when);

// {"event": kind, "time": ISO UTC, "address": N (when not 0), ...fields}: the shape of a
// watch --json line, of an SSE data line and of an MQTT event payload.
nlohmann::json EventJson(const ServiceEvent& event);

class EventHub {
public:
    using Callback = std::function<void(const ServiceEvent&)>;

    // Callbacks run on the publisher's thread, one event at a time, in publishing order.
    // They must return quickly (queue and go) and must not call back into the hub.
    int Subscribe(Callback callback);
    // Once it returns, the callback is not running and will not run again.
    void Unsubscribe(int id);
    // Delivers the snapshot (as from Snapshot()) to `first`, then subscribes, with no event
    // slipping in between: what a late client needs.
    int SubscribeWithSnapshot(const std::function<void(const nlohmann::json&)>& first, Callback callback);

    // Updates the kept state from the event, then delivers it:
    //   "connected", "found", "state change", "details", "command" or "lost" with
    //   fields["projector"] -> that projector's state (a lost one stays, marked so);
    //   "lost" without it -> the projector is dropped; "line lost" / "line back" -> the
    //   line's state.
    void Publish(ServiceEvent event);

    // Replaces one projector's kept state without an event (a fresh read of its details).
    void SetProjector(int address, const nlohmann::json& state);
    // {"line": "up"|"lost", "projectors": [state, ...] by address}.
    nlohmann::json Snapshot() const;
    std::vector<nlohmann::json> Projectors() const;
    // Known and not lost: a projector commands can reach.
    bool ProjectorKnown(int address) const;
    nlohmann::json Projector(int address) const;  // null when unknown
    bool LineUp() const;

private:
    void Apply(const ServiceEvent& event);

    mutable std::mutex stateMutex_;
    std::map<int, nlohmann::json> projectors_;
    bool lineUp_ = true;

    // Held while delivering, so Unsubscribe can wait out a running callback.
    std::mutex deliverMutex_;
    std::map<int, Callback> subscribers_;
    int nextId_ = 1;
};

}  // namespace ombrix
