#include "service/ServiceAction.h"

#include <nlohmann/json.hpp>

#include "data/JsonInput.h"

namespace ombrix {
namespace {

using Json = nlohmann::json;

constexpr size_t kMaxActionPayload = 64 * 1024;
constexpr const char* kForms =
    "expected one of {\"power\": true|false}, {\"pause\": true|false}, {\"text\": true|false}, "
    "{\"source\": {\"slot\": N}}, {\"source\": {\"name\": TEXT}}, {\"key\": N}";

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool IntegerIn(const Json& v, int lo, int hi) {
    if (!v.is_number_integer()) return false;
    const auto n = v.get<int64_t>();
    return n >= lo && n <= hi;
}

}  // namespace

bool ParseActionPayload(const std::string& payload, ServiceAction* out, std::string* error) {
    if (payload.size() > kMaxActionPayload) return Fail(error, "payload too large");
    Json doc;
    std::string unread;
    if (!ReadJsonText(payload, &doc, &unread)) return Fail(error, "the payload is " + unread);
    if (!doc.is_object() || doc.size() != 1) return Fail(error, kForms);
    const std::string command = doc.begin().key();
    const Json& value = doc.begin().value();
    ServiceAction action{command, ""};
    if (command == "power" || command == "pause" || command == "text") {
        const Json* on = &value;
        if (value.is_object() && value.size() == 1 && value.contains("on")) on = &value["on"];
        if (!on->is_boolean()) return Fail(error, "\"" + command + "\" must be true or false");
        action.body = Json{{"on", on->get<bool>()}}.dump();
    } else if (command == "source") {
        if (IntegerIn(value, 1, 99)) {
            action.body = Json{{"slot", value}}.dump();
        } else if (value.is_object() && value.size() == 1 && value.contains("slot") && IntegerIn(value["slot"], 1, 99)) {
            action.body = value.dump();
        } else if (value.is_object() && value.size() == 1 && value.contains("name") && value["name"].is_string() &&
                   !value["name"].get<std::string>().empty()) {
            action.body = value.dump();
        } else {
            return Fail(error, "\"source\" must be {\"slot\": N} with N from 1 to 99, or {\"name\": TEXT}");
        }
    } else if (command == "key") {
        const Json* code = &value;
        if (value.is_object() && value.size() == 1 && value.contains("code")) code = &value["code"];
        if (!IntegerIn(*code, 0, 255)) return Fail(error, "\"key\" must be a key code from 0 to 255");
        action.body = Json{{"code", *code}}.dump();
    } else {
        return Fail(error, "unknown command " + JsonExcerpt(Json(command)) + ": " + kForms);
    }
    *out = std::move(action);
    return true;
}

ServiceAction ScheduleServiceAction(const ScheduleAction& action) {
    switch (action.kind) {
        case ScheduleActionKind::Power: return {"power", Json{{"on", action.on}}.dump()};
        case ScheduleActionKind::Pause: return {"pause", Json{{"on", action.on}}.dump()};
        case ScheduleActionKind::Text: return {"text", Json{{"on", action.on}}.dump()};
        case ScheduleActionKind::Source: return {"source", Json{{"slot", action.value}}.dump()};
        case ScheduleActionKind::Key: return {"key", Json{{"code", action.value}}.dump()};
        case ScheduleActionKind::Snapshot: return {"snapshot", "{}"};
    }
    return {};
}

}  // namespace ombrix
