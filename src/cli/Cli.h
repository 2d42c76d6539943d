#pragma once
// ombrix-cli: the projector commands from the shell, for installers' scripts. The
// runner takes its ports from the caller so tests can drive it against the in-process
// simulator on a virtual clock.
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Library.h"
#include "platform/SerialDevice.h"

namespace ombrix::cli {

struct CliPorts {
    Clock* clock = nullptr;
    DeviceOpener* devices = nullptr;
    LibraryLoader* libraries = nullptr;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    bool stdinIsTerminal = false;
};

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int RunCli(const std::vector<std::string>& args, const CliPorts& ports);
const char* CliUsage();

}  // namespace ombrix::cli
