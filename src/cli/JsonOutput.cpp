#include "JsonOutput.h"

#include <cctype>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <streambuf>

namespace ombrix::cli {
namespace {

using nlohmann::json;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

bool IsInteger(const std::string& s) {
    size_t i = s[0] == '-' ? 1 : 0;
    if (i >= s.size() || s.size() > 18) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return !(s.size() > 1 && s[0] == '0');
}

json Value(const std::string& text) {
    if (!text.empty() && IsInteger(text)) return std::stoll(text);
    return text;
}

// "name: value" with a name that is one word: what the commands print per answer field.
bool SplitField(const std::string& line, std::string* name, std::string* value) {
    const auto colon = line.find(": ");
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = line[i];
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
    }
    *name = line.substr(0, colon);
    *value = line.substr(colon + 2);
    return true;
}

// "Error  12: text" / "Warning  3: text" / "Confirmation: text": caption, then text.
bool SplitBox(const std::string& line, std::string* caption, std::string* text) {
    const auto colon = line.find(": ");
    if (colon == std::string::npos || colon == 0) return false;
    *caption = line.substr(0, colon);
    *text = line.substr(colon + 2);
    return true;
}

bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

}  // namespace

std::string CommandJson(const std::string& command, int exitCode, const std::string& out, const std::string& err) {
    json j = json::object();
    j["command"] = command;
    j["exit"] = exitCode;
    json fields = json::object();
    json lines = json::array();
    for (const std::string& line : Lines(out)) {
        std::string name, value;
        if (StartsWith(line, "result: ") && !j.contains("result")) {
            j["result"] = Value(line.substr(8));
        } else if (SplitField(line, &name, &value) && !fields.contains(name)) {
            fields[name] = Value(value);
        } else if (!line.empty()) {
            lines.push_back(line);
        }
    }
    json boxes = json::array();
    json errors = json::array();
    for (const std::string& line : Lines(err)) {
        std::string caption, text;
        if (StartsWith(line, "ombrix-cli: ")) {
            errors.push_back(line.substr(12));
        } else if (StartsWith(line, "Try 'ombrix-cli --help'") || line.empty()) {
            continue;
        } else if (SplitBox(line, &caption, &text)) {
            boxes.push_back({{"caption", caption}, {"text", text}});
        } else {
            errors.push_back(line);
        }
    }
    j["fields"] = fields;
    if (!lines.empty()) j["lines"] = lines;
    j["boxes"] = boxes;
    if (!errors.empty()) j["errors"] = errors;
    return j.dump();
}

}  // namespace ombrix::cli
