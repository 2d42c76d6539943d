#include "GroupCommands.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "Cli.h"
#include "CliLine.h"
#include "JsonOutput.h"
#include "blocks/Groups.h"
#include "directaccess/DirectAccessState.h"
#include "discovery/GroupPlan.h"

namespace ombrix::cli {
namespace {

using nlohmann::json;

const char kUsage[] =
    "Groups (groups.json of the working directory; the window reads the same file):\n"
    "  groups                              each group: \"NAME: ADDR ADDR ...\"\n"
    "  group-add NAME [ADDR...]            adds the projectors to the group, making the\n"
    "                                      group if there is none of that name; a projector\n"
    "                                      already in it changes nothing\n"
    "  group-remove NAME ADDR...           takes the projectors out of the group\n"
    "  group-delete NAME                   deletes the group (the projectors stay as they are)\n"
    "  --group NAME COMMAND [ARGS]         runs COMMAND (status, identity, serial, id,\n"
    "                                      runtime, location, key, force, read-param,\n"
    "                                      write-param, backup, verify) for each member in\n"
    "                                      order, in place of ADDR; each result block is\n"
    "                                      headed \"projector: N\". backup FILE and verify\n"
    "                                      FILE take the member's address for %a in the name\n"
    "                                      (backup needs it: one file per member). A\n"
    "                                      member in standby gets only power and source\n"
    "                                      digits (key 14, key 16-25); silent or in standby,\n"
    "                                      it is named as skipped. Exit\n"
    "                                      status 0 only when every member succeeded.\n";

constexpr long kPowerKeyCode = 0x0E;
constexpr long kDigitKeyFirst = 0x10;
constexpr long kDigitKeyLast = 0x19;

const char* const kFanOutCommands[] = {"status",   "identity", "serial",     "id",          "runtime", "location",
                                       "key",      "force",    "read-param", "write-param", "backup",  "verify"};

int Failed(const CliPorts& ports, const std::string& why) {
    *ports.err << "ombrix-cli: " << why << '\n';
    return kExitFailed;
}

// A refused change as the tool reports it: the reason, and the program's message number.
int Refused(const CliPorts& ports, const GroupResult& r) {
    std::string number;
    if (r.error) number = " (error " + std::to_string(r.error) + ")";
    if (r.warning) number = " (warning " + std::to_string(r.warning) + ")";
    return Failed(ports, r.text + number);
}

bool LoadWorkGroups(const CliPorts& ports, Grouping* g) {
    const GroupsLoad load = LoadGroupsFile(kGroupsFileName, g);
    if (load.ok || load.missing) return true;
    Failed(ports, "refused " + load.reason + "; nothing changed");
    return false;
}

bool ParseAddresses(const std::vector<std::string>& args, size_t from, std::vector<uint8_t>* out, std::string* bad) {
    for (size_t i = from; i < args.size(); ++i) {
        long v;
        if (!ParseNumber(args[i], 1, 255, &v)) {
            *bad = args[i];
            return false;
        }
        out->push_back(static_cast<uint8_t>(v));
    }
    return true;
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

// Power and the digits of a source reach a member in standby too: they wake it.
bool WakesKey(const std::string& code) {
    long v = -1;
    return ParseNumber(code, 0, 255, &v) && (v == kPowerKeyCode || (v >= kDigitKeyFirst && v <= kDigitKeyLast));
}

// The members a command reaches, planned on one opening of the line before the command
// goes to anyone (a command that needs nobody at work opens nothing). False when the line
// could not be opened (said on err).
bool PlanOnLine(const LineOptions& line, const std::vector<uint8_t>& members, bool needsOperating,
                const CliPorts& ports, std::vector<MemberOutcome>* plan) {
    std::ostringstream quietOut;
    CliLine opened(ports, quietOut, *ports.err);
    if (needsOperating && !opened.Open(line)) return false;
    *plan = PlanGroupMembers(opened.link, members, needsOperating,
                             [&] { return ports.interrupted && ports.interrupted->load(); });
    return true;
}

// A member left out, as the tool says it: a member that did not answer its status is
// "no answer" here, where no search table says who is connected.
std::string SkippedText(MemberSkip why) { return why == MemberSkip::NotConnected ? "no answer" : SkipText(why); }

// Options before the command that take a value.
bool TakesValue(const std::string& option) {
    return option == "--device" || option == "--server" || option == "--port" || option == "--baud";
}

}  // namespace

const char* GroupCommandsUsage() { return kUsage; }

int RunGroupsFileCommand(const std::vector<std::string>& args, const CliPorts& ports, bool asJson) {
    if (args.empty()) return -1;
    const std::string& command = args[0];
    if (command != "groups" && command != "group-add" && command != "group-remove" && command != "group-delete") {
        return -1;
    }
    Grouping g;
    if (command == "groups") {
        if (args.size() != 1) return UsageError(*ports.err, "groups takes no arguments");
        if (!LoadWorkGroups(ports, &g)) return kExitFailed;
        if (asJson) {
            // The file's own form: names with blanks or colons stay whole.
            const std::vector<uint8_t> bytes = EncodeGroups(g);
            json j = json::parse(bytes.begin(), bytes.end());
            *ports.out << json{{"command", "groups"}, {"exit", 0}, {"groups", j["groups"]}}.dump() << '\n';
            return kExitDone;
        }
        for (const UserGroup& u : g.groups) {
            *ports.out << u.name << ":";
            for (uint8_t a : u.members) *ports.out << ' ' << static_cast<int>(a);
            *ports.out << '\n';
        }
        return kExitDone;
    }
    if (args.size() < 2) return UsageError(*ports.err, command + " needs a group NAME");
    const std::string& name = args[1];
    std::vector<uint8_t> addresses;
    std::string bad;
    if (command == "group-delete" && args.size() != 2) return UsageError(*ports.err, "group-delete takes NAME only");
    if (!ParseAddresses(args, 2, &addresses, &bad)) return UsageError(*ports.err, "ADDR " + bad + " must be 1-255");
    if (command == "group-remove" && addresses.empty()) return UsageError(*ports.err, "group-remove needs ADDR...");

    auto change = [&](Grouping& g) {
        GroupResult r;
        if (command == "group-add") {
            std::string target = name;
            const bool made = FindGroup(g, name) < 0;
            if (made) {
                r = AddGroup(g, name);
                if (r.ok) target = g.groups.back().name;
            }
            // "group-add NAME" alone makes an empty group; on a group there is, it adds nothing.
            if (r.ok && !(made && addresses.empty())) r = AddMembers(g, target, addresses);
        } else if (command == "group-remove") {
            r = RemoveMembers(g, name, addresses);
        } else {
            r = DeleteGroup(g, name);
        }
        return r;
    };
    // Another program may change the file meanwhile: read, change and write under its lock.
    const GroupsUpdate u = UpdateGroupsFile(kGroupsFileName, *ports.clock, false, nullptr, change, nullptr);
    switch (u.end) {
        case GroupsUpdateEnd::Done: return kExitDone;
        case GroupsUpdateEnd::Refused: return Refused(ports, u.result);
        case GroupsUpdateEnd::NotWritten: return Failed(ports, "cannot write " + u.reason);
        case GroupsUpdateEnd::FileRefused:
        case GroupsUpdateEnd::Busy: break;
    }
    return Failed(ports, u.reason);
}

int RunGroupFanOut(const std::vector<std::string>& args, const CliPorts& ports, bool asJson) {
    // Split off "--group NAME"; find the command after the line options.
    std::vector<std::string> base;
    std::string group;
    bool hasGroup = false;
    size_t commandAt = std::string::npos;
    for (size_t i = 0; i < args.size(); ++i) {
        if (commandAt == std::string::npos && args[i] == "--group") {
            if (i + 1 >= args.size()) return UsageError(*ports.err, "--group needs a NAME");
            hasGroup = true;
            group = args[++i];
            continue;
        }
        if (commandAt == std::string::npos && !(args[i].size() > 1 && args[i][0] == '-')) commandAt = base.size();
        base.push_back(args[i]);
        if (commandAt == std::string::npos && TakesValue(args[i]) && i + 1 < args.size()) base.push_back(args[++i]);
    }
    if (!hasGroup) return -1;
    if (commandAt == std::string::npos) return UsageError(*ports.err, "--group needs a command");
    const std::string command = base[commandAt];
    if (std::none_of(std::begin(kFanOutCommands), std::end(kFanOutCommands),
                     [&](const char* c) { return command == c; })) {
        return UsageError(*ports.err, command + " cannot run for a group");
    }
    const std::vector<std::string> before(base.begin(), base.begin() + static_cast<long>(commandAt));
    const std::vector<std::string> after(base.begin() + static_cast<long>(commandAt) + 1, base.end());
    if ((command == "backup" || command == "verify") && after.empty()) {
        return UsageError(*ports.err, command + " needs a FILE.set for a group");
    }
    if (command == "backup" && after[0].find("%a") == std::string::npos) {
        return UsageError(*ports.err, "backup for a group needs %a in FILE (one file per member)");
    }

    Grouping g;
    if (!LoadWorkGroups(ports, &g)) return kExitFailed;
    const int gi = FindGroup(g, group);
    if (gi < 0) return Failed(ports, "there is no group named \"" + group + "\" in groups.json");
    const std::vector<uint8_t>& members = g.groups[static_cast<size_t>(gi)].members;
    if (members.empty()) return Failed(ports, "group \"" + group + "\" has no members");

    // A command that needs the projector at work goes only to members that answer and
    // are out of standby; status and identity questions, power and the digits go to all.
    const bool needsOperating = command != "status" && command != "identity" && command != "serial" &&
                                command != "id" && command != "runtime" && command != "location" &&
                                !(command == "key" && !after.empty() && WakesKey(after[0]));
    LineOptions line;
    if (needsOperating) {
        std::vector<std::string> statusArgs = before;
        statusArgs.insert(statusArgs.end(), {"status", "1"});
        const CommandLine parsed = ParseCommandLine(statusArgs);
        if (!parsed.error.empty()) return UsageError(*ports.err, parsed.error);
        line = parsed.line;
    }
    std::vector<MemberOutcome> plan;
    if (!PlanOnLine(line, members, needsOperating, ports, &plan)) return kExitFailed;
    bool allDone = true;
    std::vector<std::string> summary;
    json projectors = json::array();
    for (const MemberOutcome& m : plan) {
        const uint8_t a = m.address;
        const std::string address = std::to_string(a);
        if (m.skipped != MemberSkip::None) {
            const std::string skipped = SkippedText(m.skipped);
            allDone = false;
            summary.push_back("projector " + address + " skipped: " + skipped);
            if (asJson) {
                projectors.push_back(json{{"address", a}, {"command", command}, {"exit", kExitFailed},
                                          {"skipped", skipped}});
            } else {
                *ports.out << "projector: " << address << "\nskipped: " << skipped << '\n';
                ports.out->flush();
            }
            if (ports.interrupted && *ports.interrupted) break;
            continue;
        }
        std::vector<std::string> memberArgs = before;
        memberArgs.push_back(command);
        if (command == "backup") {
            memberArgs.push_back(address);
            memberArgs.push_back(Replace(after[0], "%a", address));
            memberArgs.insert(memberArgs.end(), after.begin() + 1, after.end());
        } else if (command == "verify") {
            memberArgs.push_back(Replace(after[0], "%a", address));
            memberArgs.push_back(address);
            memberArgs.insert(memberArgs.end(), after.begin() + 1, after.end());
        } else {
            memberArgs.push_back(address);
            memberArgs.insert(memberArgs.end(), after.begin(), after.end());
        }
        std::ostringstream out, err;
        CliPorts inner = ports;
        inner.out = &out;
        inner.err = &err;
        const int code = RunCli(memberArgs, inner);
        allDone = allDone && code == kExitDone;
        if (code != kExitDone && code != kExitUsage) summary.push_back("projector " + address + " failed");
        if (asJson) {
            json one = json::parse(CommandJson(CommandName(memberArgs), code, out.str(), err.str()));
            json entry = json{{"address", a}};
            for (auto it = one.begin(); it != one.end(); ++it) entry[it.key()] = it.value();
            projectors.push_back(entry);
        } else {
            *ports.out << "projector: " << address << '\n' << out.str();
            *ports.err << err.str();
            ports.out->flush();
        }
        // A usage error is the same for every member: say it once.
        if (code == kExitUsage) return kExitUsage;
        if (ports.interrupted && *ports.interrupted) break;
    }
    const int exit = allDone ? kExitDone : kExitFailed;
    if (asJson) {
        *ports.out << json{{"command", command}, {"group", group}, {"exit", exit}, {"projectors", projectors}}.dump()
                   << '\n';
    }
    // Every member that was left out or failed, once more at the end where a script's
    // reader looks.
    for (const std::string& line : summary) *ports.err << "ombrix-cli: " << line << '\n';
    return exit;
}

}  // namespace ombrix::cli
