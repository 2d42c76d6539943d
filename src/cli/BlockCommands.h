#pragma once
// ombrix-cli's block commands: a projector's block list, and the backup, restore and
// verification of its blocks through settings files, so that settings that took hours
// to get right can be kept safe. Each identifies the projector first and takes its
// description from the working directory.
#include <string>
#include <vector>

#include "Cli.h"
#include "app/Program.h"

namespace ombrix::cli {

// -1 when args[0] is not a block command; else the exit status (0 done, 1 failed, 2 usage).
int RunBlockCommand(const std::vector<std::string>& args, const LineOptions& line, const CliPorts& ports);
// The tool's side of a program: its strings, description folders and start directory.
void PrepareCliState(ProgramState& state, const CliPorts& ports);
// The same, then comm.cfg and the line opened as the options say. False when the line is
// not open (said).
bool OpenCliSession(ProgramState& state, const CliPorts& ports, const LineOptions& line);
// Usage lines of the block commands, to follow the line commands' usage.
const char* BlockCommandsUsage();

}  // namespace ombrix::cli
