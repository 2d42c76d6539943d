#pragma once
// ombrix-cli's commands on data files, which need no line: description files to text
// and back, settings-file listings and merges, parameter listings.
#include <string>
#include <vector>

#include "Cli.h"

namespace ombrix::cli {

// -1 when args[0] is not a data command; else the exit status (0 done, 1 failed, 2 usage).
int RunDataCommand(const std::vector<std::string>& args, const CliPorts& ports);
bool IsDataCommand(const std::string& word);
// Usage lines of the data commands, to follow the line commands' usage.
const char* DataCommandsUsage();

}  // namespace ombrix::cli
