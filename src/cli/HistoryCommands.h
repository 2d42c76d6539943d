#pragma once
// ombrix-cli's block history: snapshots of projectors' blocks kept in history.sqlite of
// the working directory, their list, comparisons by parameter name, drift and the return
// of a snapshot's blocks.
#include <string>
#include <vector>

#include "Cli.h"

namespace ombrix::cli {

// -1 when the command line's command is not a history command; else the exit status
// (0 done, 1 failed, 2 usage, 3 drift or differences found).
int RunHistoryCommand(const std::vector<std::string>& args, const CliPorts& ports, bool json);
const char* HistoryCommandsUsage();

constexpr int kExitDifferent = 3;

}  // namespace ombrix::cli
