#pragma once
// One JSON encoding of a projector's state for the command line's --json, the server's
// API and events, and MQTT. The first seven fields are those of the search's projector
// line ("ADDR LETTER TYPECODE MODEL VERSION IDNUMBER STATE"), with the same names and
// values as ombrix-cli --json gives them.
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Env.h"
#include "projector/Projector.h"

namespace ombrix {

// What a record does not hold but a fresh read adds.
struct ProjectorExtras {
    std::optional<long> runtimeHours;  // "runtime"
    std::string serial;                // "serial", when read
};

// address, letter, type, model, version, id, state ("Operating", "StandBy", "Pause",
// "?"), plus textOn (0/1), options (the installed options' status names) and groups.
nlohmann::json ProjectorStateJson(const Env& env, const ProjectorRecord& record,
                                  const std::vector<std::string>& groups = {},
                                  const ProjectorExtras* extras = nullptr);

// The state word a lost projector carries in a "lost" event.
constexpr const char* kLostStateText = "Lost";

// The running hours of ReadRuntime's text ("300h"); nullopt for anything else.
std::optional<long> RuntimeHours(const std::string& text);

}  // namespace ombrix
