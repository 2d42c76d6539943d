#include "Cli.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "link/Commands.h"
#include "link/Frame.h"
#include "link/Link.h"
#include "link/SeatLine.h"
#include "platform/Env.h"
#include "service/EventHub.h"
#include "BlockCommands.h"
#include "CliLine.h"
#include "DataCommands.h"
#include "GroupCommands.h"
#include "HistoryCommands.h"
#include "JsonOutput.h"
#include "StreamUi.h"

namespace ombrix::cli {
namespace {

const char kUsageText[] =
    "usage: ombrix-cli [--device PATH | --device tcp://HOST:PORT | --device rfc2217://HOST:PORT | --port N\n"
    "                   | --server ombrix://HOST:PORT]\n"
    "                  [--baud RATE] [--verbose] [--json] [--workdir DIR] COMMAND ADDR [ARGS]\n"
    "       ombrix-cli [line options] search [--quick [--margin MS]]\n"
    "       ombrix-cli [line options] watch [--interval SECONDS] [--once]\n"
    "       ombrix-cli [--json] [--workdir DIR] FILE-COMMAND ARGS   (see \"Data files\" below)\n"
    "       ombrix-cli --version\n"
    "\n"
    "Sends one command to the projector at bus address ADDR and prints its answer;\n"
    "or searches the line for projectors, or watches them.\n"
    "\n"
    "Line:\n"
    "  --device PATH    a serial device or pseudo-terminal, or tcp://HOST:PORT for a\n"
    "                   serial device server, or rfc2217://HOST:PORT for one that\n"
    "                   takes its line settings (speed, format, flow) from us\n"
    "  --port N         COM port N, through the COM mapping of comports.cfg\n"
    "                   (\"COMn = DEVICE\" lines; unmapped: /dev/ttyS{n-1})\n"
    "  --baud RATE      line speed; otherwise the one in comm.cfg (default 9600)\n"
    "  Without --device or --port the port of comm.cfg in the working directory is used.\n"
    "  A line that ombrix-server holds is used through the server, as if it were free.\n"
    "  --server ombrix://HOST:PORT  the line of a server elsewhere (its --seat-listen;\n"
    "                   the token, where it needs one, in OMBRIX_TOKEN)\n"
    "  --verbose        explain why a line could not be opened; count the bytes\n"
    "                   thrown away unread before requests\n"
    "  --workdir DIR    work as if started in DIR (where comm.cfg and the rest are)\n"
    "  --json           print one JSON object (command, exit, result, fields, boxes);\n"
    "                   with watch, one JSON line per event (found, lost, state change,\n"
    "                   line lost) with its time, each projector as the server's API\n"
    "                   gives it\n"
    "\n"
    "Commands (numbers are decimal or 0x-hex):\n"
    "  status                              status flags and installed options\n"
    "  identity                            type letter, software version, type code\n"
    "  serial                              serial number\n"
    "  id                                  identification number\n"
    "  runtime                             running hours\n"
    "  location                            wire header of the current block\n"
    "  read-block B1 B2 B3 B4 LEN          the block with this wire header, LEN bytes long\n"
    "                                      (its whole length, for its checksum to hold;\n"
    "                                      255 255 255 255: the header table)\n"
    "  write-block B1 B2 B3 B4 HEXDATA     store HEXDATA under this wire header\n"
    "  free-block B1 B2 B3 B4              mark the block free\n"
    "  read-param P1 P2                    a parameter's value\n"
    "  write-param P1 P2 P3                change a parameter (P3: signed step, -128 to 127;\n"
    "                                      a byte 128-255 is the same step, 255 = -1)\n"
    "  key CODE                            a remote-control key code\n"
    "  force A B                           force source A with signal type byte B\n"
    "  iris C                              IRIS command byte C\n"
    "  iris-state                          the IRIS state byte\n"
    "  iris-function A B                   IRIS function A with B\n"
    "\n"
    "Searching (options.cfg, user_addr.cfg and addr.cfg of the working directory, read\n"
    "and written as the program does):\n"
    "  search         probes the addresses of the search mode; prints per address\n"
    "                 \"Projector with address N found ...\" (or \"not found ...\"), then per\n"
    "                 projector \"ADDR LETTER TYPECODE MODEL VERSION IDNUMBER STATE\"\n"
    "                 (unknown values as -1 or ?). Ctrl+C stops the search and keeps what\n"
    "                 was found. Exit status 0 when a projector was found.\n"
    "                 --quick first asks each address with a short time-out (the wire\n"
    "                 time of a request and its ACK plus MS, default 50, at least 50 ms\n"
    "                 in all) and probes only those that answer; quicksearch.cfg with\n"
    "                 \"quick-search = on\" makes every search quick.\n"
    "  watch          searches, then checks the projectors at the check interval of\n"
    "                 options.cfg (or --interval SECONDS): prints each pass's\n"
    "                 \"Projector with address N found\" / \"not found\" lines and\n"
    "                 \"removed: ...\" or \"changed: ...\" with the projector's line. A\n"
    "                 projector that does not answer a probe and its retry 2000 ms later\n"
    "                 is removed. Runs until Ctrl+C; --once stops after the first pass.\n"
    "                 A lost line is reported once and reopened every 3 s until it is back.\n"
    "\n"
    "Output: the line \"result: N\" (3 done, 2 refused with NACK, 1 acknowledged but not\n"
    "answered, 0 not acknowledged), then on success one \"name: value\" line per answer\n"
    "field. Message boxes go to standard error as \"CAPTION: TEXT\".\n"
    "Only 0x06 acknowledges; any other byte in its place fails the command (result 0,\n"
    "the byte named). A change that was not acknowledged in time may still have been\n"
    "applied (a slow converter): read the value before retrying.\n"
    "Exit status: 0 for result 3, 1 for any other result, 2 for a usage error.\n";

}  // namespace

bool ParseNumber(const std::string& s, long lo, long hi, long* out) {
    if (s.empty()) return false;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string digits = hex ? s.substr(2) : s;
    if (digits.empty() || digits.size() > 10) return false;
    long v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * (hex ? 16 : 10) + d;
    }
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

namespace {

bool ParseHexData(const std::string& s, std::vector<uint8_t>* out) {
    if (s.empty() || s.size() % 2) return false;
    out->clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        long v;
        if (!ParseNumber("0x" + s.substr(i, 2), 0, 255, &v)) return false;
        out->push_back(static_cast<uint8_t>(v));
    }
    return true;
}

std::string HexText(const uint8_t* data, size_t n) {
    std::string s;
    char buf[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        s += buf;
    }
    return s;
}

// write-param's step is a signed byte: -1 goes on the wire as 255.
bool ParseStep(const std::string& s, long* out) {
    long v = 0;
    if (!s.empty() && s[0] == '-') {
        if (!ParseNumber(s.substr(1), 1, 128, &v)) return false;
        *out = 256 - v;
        return true;
    }
    return ParseNumber(s, 0, 255, out);
}

bool ChangesProjector(const std::string& command) {
    for (const char* c : {"write-block", "free-block", "write-param", "key", "force", "iris", "iris-function"}) {
        if (command == c) return true;
    }
    return false;
}

struct CommandSpec {
    const char* name;
    int argCount;  // after ADDR; -1 for the block write's four bytes and data
};

constexpr CommandSpec kCommands[] = {
    {"status", 0},       {"identity", 0},      {"serial", 0},      {"id", 0},
    {"runtime", 0},      {"location", 0},      {"read-block", 5},  {"write-block", 5},
    {"free-block", 4},   {"read-param", 2},    {"write-param", 3}, {"key", 1},
    {"force", 2},        {"iris", 1},          {"iris-state", 0},  {"iris-function", 2},
};


void PrintStatus(std::ostream& out, const StatusFlags& f, uint32_t optionsValid) {
    const std::pair<const char*, uint8_t> fields[] = {
        {"greenConvergence", f.greenConvergence},
        {"standby", f.standby},
        {"pause", f.pause},
        {"operating", f.operating},
        {"textOn", f.textOn},
        {"pcMode", f.pcMode},
        {"soundAvailable", f.soundAvailable},
        {"convergenceStripped", f.convergenceStripped},
        {"magneticFocus", f.magneticFocus},
        {"orbit", f.orbit},
        {"softEdge", f.softEdge},
        {"contrastModulation", f.contrastModulation},
        {"nsOnConvergence", f.nsOnConvergence},
        {"asic", f.asic},
        {"iris", f.iris},
        {"extraBlock1", f.extraBlock1},
        {"extraBlock2", f.extraBlock2},
    };
    for (const auto& [name, value] : fields) out << name << ": " << static_cast<int>(value) << '\n';
    out << "optionsValid: " << optionsValid << '\n';
}

}  // namespace

const char* CliUsage() { return kUsageText; }

int UsageError(std::ostream& err, const std::string& why) {
    err << "ombrix-cli: " << why << "\n" << "Try 'ombrix-cli --help'.\n";
    return kExitUsage;
}

bool OpenLine(const Env& env, Link& link, const LineOptions& line, std::ostream& err) {
    if (line.device.empty() && !line.port) {
        CommSettings settings;
        uint8_t address = 0;
        std::string problem;
        LoadCommSettings(kCommFileName, &settings, &address, &problem);
        if (!problem.empty()) {
            err << "ombrix-cli: " << CommFileRefusalText(problem) << ", or give --device or --port\n";
            return false;
        }
    }
    if (line.port) link.settings.port = static_cast<uint8_t>(*line.port);
    if (line.baud) link.settings.baudRate = static_cast<uint32_t>(*line.baud);
    link.deviceOverride = line.device;
    if (SetupConnection(env, link, kOwnerTool)) return true;
    if (line.verbose && link.lastError) err << "ombrix-cli: " << link.lastError.text << '\n';
    return false;
}


namespace {

int RunProjectorCommand(const std::string& command, const std::vector<std::string>& args, size_t i,
                        const LineOptions& line, const CliPorts& ports);

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine c;
    // Commands on files and ports come first and take their own options.
    if (!args.empty() && (IsDataCommand(args[0]) || args[0] == "ports")) {
        c.command = 0;
        return c;
    }
    size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& a = args[i];
        long v;
        if (a == "--help" || a == "-h") {
            c.help = true;
            return c;
        } else if (a == "--verbose") {
            c.line.verbose = true;
        } else if (a == "--device") {
            if (++i >= args.size() || args[i].empty()) return c.Fail("--device needs a path");
            c.line.device = args[i];
        } else if (a == "--server") {
            if (++i >= args.size() || !IsServerUrl(args[i])) return c.Fail("--server needs ombrix://HOST:PORT");
            c.line.device = args[i];
        } else if (a == "--port") {
            if (++i >= args.size() || !ParseNumber(args[i], 1, 255, &v)) return c.Fail("--port needs 1-255");
            c.line.port = v;
        } else if (a == "--baud") {
            if (++i >= args.size() || !ParseNumber(args[i], 50, 4000000, &v)) return c.Fail("--baud needs a rate");
            c.line.baud = v;
        } else {
            return c.Fail("unknown option " + a);
        }
    }
    if (!c.line.device.empty() && c.line.port) return c.Fail("--device and --port exclude each other");
    if (i >= args.size()) return c.Fail("no command");
    c.command = i;
    return c;
}

std::string CommandName(const std::vector<std::string>& args) {
    const CommandLine c = ParseCommandLine(args);
    if (c.help) return "help";
    return c.command < args.size() ? args[c.command] : std::string();
}

namespace {

int RunCliText(const std::vector<std::string>& args, const CliPorts& ports);

// --json: the command runs as always, into buffers; what it printed becomes JSON. The
// watch publishes its events as it goes, one JSON line each, with the projectors as the
// server's API gives them.
int RunCliJson(const std::vector<std::string>& args, const CliPorts& ports) {
    CliPorts inner = ports;
    const std::string command = CommandName(args);
    if (command == "watch") {
        const CommandLine parsed = ParseCommandLine(args);
        EventHub hub;
        std::mutex mutex;
        const int printer = hub.Subscribe([&](const ServiceEvent& e) {
            std::lock_guard<std::mutex> lock(mutex);
            *ports.out << EventJson(e).dump() << std::endl;
        });
        const std::vector<std::string> rest(args.begin() + static_cast<long>(parsed.command) + 1, args.end());
        const int code = RunWatchCommand(rest, parsed.line, ports, &hub);
        hub.Unsubscribe(printer);
        return code;
    }
    std::ostringstream out, err;
    inner.out = &out;
    inner.err = &err;
    const int code = RunCliText(args, inner);
    *ports.out << CommandJson(command, code, out.str(), err.str()) << '\n';
    return code;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliPorts& ports) {
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        if (a != "--json") rest.push_back(a);
    }
    const bool json = rest.size() != args.size();
    if (const int r = RunHistoryCommand(rest, ports, json); r >= 0) return r;
    if (const int r = RunGroupFanOut(rest, ports, json); r >= 0) return r;
    if (json && !rest.empty() && rest[0] == "groups") return RunGroupsFileCommand(rest, ports, true);
    if (json) return RunCliJson(rest, ports);
    return RunCliText(args, ports);
}

namespace {

int RunCliText(const std::vector<std::string>& args, const CliPorts& ports) {
    std::ostream& out = *ports.out;
    std::ostream& err = *ports.err;
    // Commands on files need no line and take their own options.
    if (const int r = RunDataCommand(args, ports); r >= 0) return r;
    if (const int r = RunGroupsFileCommand(args, ports, false); r >= 0) return r;
    if (!args.empty() && args[0] == "ports") return RunPortsCommand(args, ports);
    const CommandLine parsed = ParseCommandLine(args);
    if (parsed.help) {
        out << kUsageText << '\n' << BlockCommandsUsage() << '\n' << DataCommandsUsage() << '\n' << GroupCommandsUsage() << '\n'
            << HistoryCommandsUsage() << '\n' << PortCommandsUsage();
        return kExitDone;
    }
    if (!parsed.error.empty()) return UsageError(err, parsed.error);
    const LineOptions& line = parsed.line;
    size_t i = parsed.command;
    const std::string command = args[i++];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());
    if (command == "search") return RunSearchCommand(rest, line, ports);
    if (command == "watch") return RunWatchCommand(rest, line, ports);
    std::vector<std::string> withCommand = rest;
    withCommand.insert(withCommand.begin(), command);
    if (const int r = RunBlockCommand(withCommand, line, ports); r >= 0) return r;
    return RunProjectorCommand(command, args, i, line, ports);
}

int RunProjectorCommand(const std::string& command, const std::vector<std::string>& args, size_t i,
                        const LineOptions& line, const CliPorts& ports) {
    std::ostream& out = *ports.out;
    std::ostream& err = *ports.err;

    const CommandSpec* spec = nullptr;
    for (const auto& c : kCommands) {
        if (command == c.name) spec = &c;
    }
    if (!spec) return UsageError(err, "unknown command " + command);
    long address;
    if (i >= args.size() || !ParseNumber(args[i], 0, 255, &address)) return UsageError(err, command + " needs ADDR 0-255");
    ++i;
    if (args.size() - i != static_cast<size_t>(spec->argCount)) {
        return UsageError(err, command + " takes " + std::to_string(spec->argCount) + " arguments after ADDR");
    }
    std::vector<long> n;
    std::vector<uint8_t> hexData;
    for (size_t k = i; k < args.size(); ++k) {
        long v;
        const bool lengthArg = command == "read-block" && k == args.size() - 1;
        const bool dataArg = command == "write-block" && k == args.size() - 1;
        if (dataArg) {
            if (!ParseHexData(args[k], &hexData) || hexData.size() > 4096) {
                return UsageError(err, "HEXDATA must be pairs of hex digits");
            }
            continue;
        }
        const bool stepArg = command == "write-param" && k == args.size() - 1;
        if (lengthArg) {
            if (!ParseNumber(args[k], 0, 4096, &v)) return UsageError(err, "LEN must be 0-4096");
        } else if (stepArg) {
            if (!ParseStep(args[k], &v)) return UsageError(err, "P3 must be a step -128 to 127 (or its byte 0-255)");
        } else if (!ParseNumber(args[k], 0, 255, &v)) {
            return UsageError(err, "argument " + args[k] + " must be a byte 0-255");
        }
        n.push_back(v);
    }

    CliLine opened(ports, out, err);
    if (!opened.Open(line)) return kExitFailed;
    Env& env = opened.env;
    Link& link = opened.link;

    const auto a = static_cast<uint8_t>(address);
    auto b = [&](size_t k) { return static_cast<uint8_t>(n[k]); };
    int r = kNoAck;
    std::vector<std::string> lines;
    if (command == "status") {
        StatusFlags flags;
        uint32_t optionsValid = 0;
        r = ReadStatus(link, a, &flags, &optionsValid);
        if (r == kDone) {
            std::ostringstream o;
            PrintStatus(o, flags, optionsValid);
            lines.push_back(o.str());
        }
    } else if (command == "identity") {
        std::string letter, version;
        uint32_t type = 0;
        r = ReadIdentity(link, a, &letter, &version, &type);
        if (r == kDone) lines.push_back("letter: " + letter + "\nversion: " + version + "\ntype: " + std::to_string(type) + "\n");
    } else if (command == "serial") {
        std::string text;
        r = ReadSerialNumber(link, a, &text);
        if (r == kDone) lines.push_back("serial: " + text + "\n");
    } else if (command == "id") {
        std::string text;
        r = ReadIdNumber(link, a, &text);
        if (r == kDone) lines.push_back("id: " + text + "\n");
    } else if (command == "runtime") {
        std::string text;
        r = ReadRuntime(link, a, &text);
        if (r == kDone) lines.push_back("runtime: " + text + "\n");
    } else if (command == "location") {
        uint8_t h[4] = {0, 0, 0, 0};
        r = ReadLocation(link, a, h);
        if (r == kDone) {
            lines.push_back("location: " + std::to_string(h[0]) + " " + std::to_string(h[1]) + " " +
                            std::to_string(h[2]) + " " + std::to_string(h[3]) + "\n");
        }
    } else if (command == "read-block") {
        std::vector<uint8_t> data(static_cast<size_t>(n[4]));
        r = ReadBlockData(link, a, data.data(), b(0), b(1), b(2), b(3), data.size());
        if (r == kDone) lines.push_back("data: " + HexText(data.data(), data.size()) + "\n");
    } else if (command == "write-block") {
        r = WriteBlockData(link, a, hexData.data(), b(0), b(1), b(2), b(3), hexData.size());
    } else if (command == "free-block") {
        r = FreeBlock(link, a, b(0), b(1), b(2), b(3));
    } else if (command == "read-param") {
        uint32_t value = 0;
        r = ReadParameter(link, a, b(0), b(1), &value);
        if (r == kDone) lines.push_back("value: " + std::to_string(value) + "\n");
    } else if (command == "write-param") {
        r = WriteParameter(link, a, b(0), b(1), b(2));
    } else if (command == "key") {
        r = KeyCommand(link, a, b(0));
    } else if (command == "force") {
        r = ForceBlock(link, a, b(0), b(1));
    } else if (command == "iris") {
        r = IrisCommand(link, a, b(0));
    } else if (command == "iris-state") {
        uint8_t value = 0;
        r = ReadIrisState(link, a, &value);
        if (r == kDone) lines.push_back("value: " + std::to_string(value) + "\n");
    } else if (command == "iris-function") {
        r = IrisFunction(link, a, b(0), b(1));
    }
    out << "result: " << r << '\n';
    for (const auto& l : lines) out << l;
    out.flush();
    if (r != kDone && LineLost(link)) {
        err << "ombrix-cli: " << LineLostText(link) << '\n';
    } else {
        ReportCommError(env, link, r);
    }
    // A slow converter can deliver the acknowledgement after we stopped waiting: a retry
    // would then apply the change twice.
    if (r == kNoAck && ChangesProjector(command)) err << "ombrix-cli: " << kMayHaveAppliedText << '\n';
    // A late reply to a question that went unanswered would reach whichever program takes
    // the line next, and a bare acknowledgement could pass for its own: that program is
    // told how long to wait, or, where the line cannot tell it, we keep the line until
    // none can come.
    if (!HandOverLateReplies(link)) AwaitLateReplies(link);
    if (line.verbose && link.discardedBytes.load() > 0) {
        err << "ombrix-cli: " << link.discardedBytes.load()
            << " byte(s) on the line were thrown away unread (late or doubled replies, noise)\n";
    }
    opened.Close();
    return r == kDone ? kExitDone : kExitFailed;
}

}  // namespace

}  // namespace ombrix::cli
