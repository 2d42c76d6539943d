#pragma once
// ombrix-cli's groups: the grouping file of the working directory (groups, group-add,
// group-remove, group-delete) and --group NAME, which runs a projector command for each
// member of a group in turn.
#include <string>
#include <vector>

#include "Cli.h"

namespace ombrix::cli {

// -1 when args[0] is not a group command; else the exit status.
int RunGroupsFileCommand(const std::vector<std::string>& args, const CliPorts& ports, bool json);
// args with "--group NAME" somewhere among the options before the command: runs the
// command once per member. -1 when there is no --group.
int RunGroupFanOut(const std::vector<std::string>& args, const CliPorts& ports, bool json);
const char* GroupCommandsUsage();

}  // namespace ombrix::cli
