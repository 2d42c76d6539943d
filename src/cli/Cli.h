#pragma once
// ombrix-cli: the projector commands from the shell, for installers' scripts. The
// runner takes its ports from the caller so tests can drive it against the in-process
// simulator on a virtual clock.
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "platform/Env.h"
#include "projector/Projector.h"

#include "platform/Clock.h"
#include "platform/Library.h"
#include "platform/SerialDevice.h"

namespace ombrix {
class EventHub;
}

namespace ombrix::cli {

struct CliPorts {
    Clock* clock = nullptr;
    DeviceOpener* devices = nullptr;
    LibraryLoader* libraries = nullptr;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    bool stdinIsTerminal = false;
    // Set by Ctrl+C: aborts a search as Ctrl+Break does, ends a watch.
    const std::atomic<bool>* interrupted = nullptr;
    // Where descriptions are looked for after the working directory.
    std::vector<std::string> descriptionFolders;
};

// How the line is chosen: --device, --port, --baud, or comm.cfg and the COM mapping.
struct LineOptions {
    std::string device;
    std::optional<long> port;
    std::optional<long> baud;
    bool verbose = false;
};

// The command line as the runner reads it: the line options, then the command word
// (args[command]) and its arguments. error: a usage error, said in words.
struct CommandLine {
    LineOptions line;
    size_t command = SIZE_MAX;
    bool help = false;
    std::string error;
    CommandLine& Fail(std::string why) {
        error = std::move(why);
        return *this;
    }
};
CommandLine ParseCommandLine(const std::vector<std::string>& args);
// The command word of a command line ("help" for --help; empty when there is none), as
// --json reports it: never an option's value.
std::string CommandName(const std::vector<std::string>& args);

// Applies the options to the link (after comm.cfg and comports.cfg were read) and opens it.
bool OpenLine(const Env& env, Link& link, const LineOptions& line, std::ostream& err);
bool ParseNumber(const std::string& s, long lo, long hi, long* out);
int UsageError(std::ostream& err, const std::string& why);

int RunSearchCommand(const std::vector<std::string>& args, const LineOptions& line, const CliPorts& ports);
// events: the watch publishes there what happens (--json), with each projector as the
// server's API gives it, instead of printing lines.
int RunWatchCommand(const std::vector<std::string>& args, const LineOptions& line, const CliPorts& ports,
                    EventHub* events = nullptr);
// "ADDR LETTER TYPECODE MODEL VERSION IDNUMBER STATE", unknown values as -1 or ?.
std::string ProjectorLine(const Env& env, const ProjectorRecord& record);

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int RunCli(const std::vector<std::string>& args, const CliPorts& ports);
int RunPortsCommand(const std::vector<std::string>& args, const CliPorts& ports);
const char* PortCommandsUsage();
// "ombrix-cli: warning: ..." for a comports.cfg that could not be read as a whole.
void WarnPortMap(const ComPortMap& map, std::ostream& err);
const char* CliUsage();

}  // namespace ombrix::cli
