#pragma once
// What each event of the hub means for the MQTT bridge.
#include <string>

#include "service/EventHub.h"

namespace ombrix {

struct MqttRoute {
    enum Kind { kNone, kState, kLost, kForget, kLine, kDrift } kind = kNone;
    int address = 0;
    std::string stateJson;  // kState
    bool lineUp = false;    // kLine
    bool drifted = false;   // kDrift
};

// "found", "connected", "state change", "details", "command" or "lost" with a projector →
// its state (a lost one stays listed, as lost); "lost" without one → its last state with
// the lost word; "not found" → forgotten; "line lost" / "line back" → the line; "drift" →
// drifted; a complete "snapshot taken" → its drift flag.
MqttRoute RouteForMqtt(const ServiceEvent& event);
// current, with the serial number of previous when current has none: only a fresh read
// carries it, and the discovery device should not lose it at every change of state.
std::string StateWithKeptDetails(const std::string& previous, const std::string& current);
// A kept state with the lost word in place of its state.
std::string LostStateJson(int address, const std::string& lastStateJson);

}  // namespace ombrix
