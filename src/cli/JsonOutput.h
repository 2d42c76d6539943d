#pragma once
// --json: the same commands, their text output turned into JSON for control rooms that
// feed monitoring. Done on the finished text so every command gets it the same way and
// the text output stays the one reference.
#include <string>

namespace ombrix::cli {

// One object for a one-shot command: "command", "exit", "result" (when the command
// printed one), "fields" (its "name: value" lines, integers as numbers), "lines" (any
// other output), "boxes" (the message boxes raised, caption and text) and "errors" (the
// tool's own complaints, such as a usage error).
std::string CommandJson(const std::string& command, int exitCode, const std::string& out, const std::string& err);

}  // namespace ombrix::cli
