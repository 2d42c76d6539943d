#pragma once
// --json: the same commands, their text output turned into JSON for control rooms that
// feed monitoring. Done on the finished text so every command gets it the same way and
// the text output stays the one reference.
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "service/EventHub.h"

namespace ombrix::cli {

// One object for a one-shot command: "command", "exit", "result" (when the command
// printed one), "fields" (its "name: value" lines, integers as numbers), "lines" (any
// other output), "boxes" (the message boxes raised, caption and text) and "errors" (the
// tool's own complaints, such as a usage error).
std::string CommandJson(const std::string& command, int exitCode, const std::string& out, const std::string& err);

// The event of one line the watch printed: found, not found, connected, lost, state
// change, line lost, box, message, error.
ServiceEvent WatchEvent(const std::string& line, bool fromStderr, std::chrono::system_clock::time_point when);
// One JSON line per event of `watch` (EventJson of WatchEvent); each with an ISO 8601
// UTC "time".
std::string WatchEventJson(const std::string& line, bool fromStderr,
                           std::chrono::system_clock::time_point when);

// An output stream that hands every finished line to a function (for the watch, whose
// lines come while it runs, from more than one thread under the tool's own lock).
class LineStream : public std::ostream {
public:
    explicit LineStream(std::function<void(const std::string&)> onLine);
    ~LineStream() override;

private:
    class Buffer;
    Buffer* buffer_;
};

}  // namespace ombrix::cli
