#include "service/ProjectorJson.h"

#include <cstdlib>

#include "discovery/ProjectorListRow.h"

namespace ombrix {

using nlohmann::json;

namespace {

// The list's texts as --json turns them into values: integers as numbers.
json Value(const std::string& text) {
    if (text.empty() || text.size() > 18) return text;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i >= text.size() || (text.size() - i > 1 && text[i] == '0')) return text;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return text;
    return std::stoll(text);
}

}  // namespace

json ProjectorStateJson(const Env& env, const ProjectorRecord& r, const std::vector<std::string>& groups,
                        const ProjectorExtras* extras) {
    const auto t = ProjectorListRow(env, r);
    json j{{"address", Value(t.address)}, {"letter", t.letter}, {"type", Value(t.typeCode)},
           {"model", t.model},            {"version", t.version}, {"id", Value(t.idNumber)},
           {"state", t.state}};
    j["textOn"] = r.textOn ? 1 : 0;
    const std::pair<const char*, uint8_t> options[] = {
        {"greenConvergence", r.greenConvergence}, {"pcMode", r.pcMode},
        {"soundAvailable", r.soundAvailable},     {"convergenceStripped", r.convergenceStripped},
        {"magneticFocus", r.magneticFocus},       {"orbit", r.orbit},
        {"softEdge", r.softEdge},                 {"contrastModulation", r.contrastModulation},
        {"nsOnConvergence", r.nsOnConvergence},   {"asic", r.asic},
        {"iris", r.iris},
    };
    json installed = json::array();
    for (const auto& [name, flag] : options)
        if (flag) installed.push_back(name);
    j["options"] = installed;
    j["groups"] = groups;
    if (extras) {
        if (extras->runtimeHours) j["runtime"] = *extras->runtimeHours;
        if (!extras->serial.empty()) j["serial"] = extras->serial;
    }
    return j;
}

std::optional<long> RuntimeHours(const std::string& text) {
    if (text.size() < 2 || text.back() != 'h' || text.size() > 12) return std::nullopt;
    long v = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

}  // namespace ombrix
