#pragma once
// One action on projectors as the service's commands take it, whichever way it came:
// an MQTT command, a schedule entry.
#include <string>

#include "service/Schedule.h"

namespace ombrix {

// The command of the HTTP API (power, pause, text, source, key) and its body as the HTTP
// API takes it ({"on": true}, {"slot": 42}, {"name": "Dome [42]"}, {"code": 27}).
struct ServiceAction {
    std::string command;
    std::string body;
    bool operator==(const ServiceAction&) const = default;
};

// {"power": false}, {"pause": true}, {"text": true}, {"source": {"slot": 42}},
// {"source": {"name": "Dome [42]"}}, {"source": 42}, {"key": 27}, {"key": {"code": 27}}.
// Anything else is refused with the reason.
bool ParseActionPayload(const std::string& payload, ServiceAction* out, std::string* error);
ServiceAction ScheduleServiceAction(const ScheduleAction& action);

}  // namespace ombrix
