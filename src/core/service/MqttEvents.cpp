#include "service/MqttEvents.h"

#include "service/ProjectorJson.h"

namespace ombrix {

using nlohmann::json;

MqttRoute RouteForMqtt(const ServiceEvent& e) {
    MqttRoute r;
    r.address = e.address;
    const bool withState = e.fields.is_object() && e.fields.contains("projector") && e.fields["projector"].is_object();
    if (e.kind == "line lost" || e.kind == "line back") {
        r.kind = MqttRoute::kLine;
        r.lineUp = e.kind == "line back";
    } else if (e.address <= 0) {
        r.kind = MqttRoute::kNone;
    } else if (e.kind == "lost" && !withState) {
        r.kind = MqttRoute::kLost;
    } else if (e.kind == "drift" || (e.kind == "snapshot taken" && e.fields.value("complete", false))) {
        r.kind = MqttRoute::kDrift;
        r.drifted = e.kind == "drift" || e.fields.value("drift", false);
    } else if (e.kind == "not found") {
        r.kind = MqttRoute::kForget;
    } else if (withState && (e.kind == "found" || e.kind == "connected" || e.kind == "state change" ||
                             e.kind == "details" || e.kind == "command" || e.kind == "lost")) {
        r.kind = MqttRoute::kState;
        r.stateJson = e.fields["projector"].dump();
    }
    return r;
}

std::string LostStateJson(int address, const std::string& lastStateJson) {
    json state = json::parse(lastStateJson, nullptr, false);
    if (!state.is_object()) state = json{{"address", address}};
    state["state"] = kLostStateText;
    return state.dump();
}

}  // namespace ombrix

namespace ombrix {

std::string StateWithKeptDetails(const std::string& previous, const std::string& current) {
    const json before = json::parse(previous, nullptr, false);
    json now = json::parse(current, nullptr, false);
    if (!before.is_object() || !now.is_object() || now.contains("serial") || !before.contains("serial")) return current;
    now["serial"] = before["serial"];
    return now.dump();
}

}  // namespace ombrix
