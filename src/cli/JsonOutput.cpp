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

// "ADDR LETTER TYPECODE MODEL VERSION IDNUMBER STATE" as the search and watch print it.
json ProjectorObject(const std::string& line) {
    std::istringstream in(line);
    std::string address, letter, type, model, version, id;
    in >> address >> letter >> type >> model >> version >> id;
    std::string state;
    std::getline(in, state);
    while (!state.empty() && state.front() == ' ') state.erase(state.begin());
    if (state.empty()) return json{{"text", line}};
    return json{{"address", Value(address)}, {"letter", letter}, {"type", Value(type)}, {"model", model},
                {"version", version},        {"id", Value(id)},   {"state", state}};
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

ServiceEvent WatchEvent(const std::string& line, bool fromStderr, std::chrono::system_clock::time_point when) {
    ServiceEvent e;
    e.time = when;
    json& j = e.fields;
    std::string caption, text;
    if (fromStderr) {
        if (StartsWith(line, "ombrix-cli: ")) {
            const std::string what = line.substr(12);
            e.kind = what.find("lost") != std::string::npos ? "line lost" : "error";
            j["text"] = what;
        } else if (SplitBox(line, &caption, &text)) {
            e.kind = "box";
            j["caption"] = caption;
            j["text"] = text;
        } else {
            e.kind = "error";
            j["text"] = line;
        }
    } else if (StartsWith(line, "removed: ")) {
        e.kind = "lost";
        j["projector"] = ProjectorObject(line.substr(9));
    } else if (StartsWith(line, "changed: ")) {
        e.kind = "state change";
        j["projector"] = ProjectorObject(line.substr(9));
    } else if (StartsWith(line, "Projector with address ")) {
        std::istringstream in(line.substr(23));
        int address = -1;
        in >> address;
        e.kind = line.find(" not found") != std::string::npos ? "not found" : "found";
        // Kept as a field: an address the line did not give stays -1, as it always printed.
        j["address"] = address;
    } else if (line.find("lost") != std::string::npos && line.find("line") != std::string::npos) {
        e.kind = "line lost";
        j["text"] = line;
    } else {
        const json p = ProjectorObject(line);
        if (p.contains("address") && p["address"].is_number()) {
            e.kind = "connected";
            j["projector"] = p;
        } else {
            e.kind = "message";
            j["text"] = line;
        }
    }
    return e;
}

std::string WatchEventJson(const std::string& line, bool fromStderr, std::chrono::system_clock::time_point when) {
    return EventJson(WatchEvent(line, fromStderr, when)).dump();
}

class LineStream::Buffer : public std::streambuf {
public:
    explicit Buffer(std::function<void(const std::string&)> f) : onLine_(std::move(f)) {}
    ~Buffer() override {
        if (!line_.empty()) onLine_(line_);
    }

protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        std::lock_guard<std::mutex> lock(mutex_);
        if (c == '\n') {
            onLine_(line_);
            line_.clear();
        } else {
            line_.push_back(static_cast<char>(c));
        }
        return c;
    }

private:
    std::function<void(const std::string&)> onLine_;
    std::string line_;
    std::mutex mutex_;
};

LineStream::LineStream(std::function<void(const std::string&)> onLine)
    : std::ostream(nullptr), buffer_(new Buffer(std::move(onLine))) {
    rdbuf(buffer_);
}

LineStream::~LineStream() {
    rdbuf(nullptr);
    delete buffer_;
}

}  // namespace ombrix::cli
