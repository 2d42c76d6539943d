#include "BlockCommands.h"

#include <unistd.h>

#include <ctime>
#include <memory>
#include <ostream>

#include "CliLine.h"
#include "StreamUi.h"
#include "app/Program.h"
#include "blocks/BlockList.h"
#include "blocks/BlockWork.h"
#include "blocks/ListToText.h"
#include "data/SettingsFile.h"
#include "platform/Files.h"

namespace ombrix::cli {
namespace {

const char kUsage[] =
    "Blocks (the projector is identified first; its description file is taken from the\n"
    "working directory; confirmations: --yes, or asked on a terminal, else No):\n"
    "  blocks ADDR [--output FILE.txt]     the projector's block list as a text table; the\n"
    "                                      active block's number ends in \" *\"\n"
    "  backup ADDR FILE.set [--append] [--force]\n"
    "                                      reads every ordinary block in use into a settings\n"
    "                                      file; --append keeps what the file holds; an\n"
    "                                      existing file is replaced only with --force; nothing\n"
    "                                      is written unless every block was read\n"
    "  restore FILE.set ADDR [--yes]       copies the file's blocks of the projector's type\n"
    "                                      into its free blocks (all or none), then reads each\n"
    "                                      written block back; exit status 0 when every block\n"
    "                                      of that type is in the projector as the file has it\n"
    "  verify FILE.set ADDR                per block of the file: identical, different (with\n"
    "                                      the differing places) or missing; exit status 0\n"
    "                                      only when all are identical\n";

const char* const kCommands[] = {"blocks", "backup", "restore", "verify"};

struct Arguments {
    std::vector<std::string> positional;
    std::string output;
    bool append = false;
    bool force = false;
    bool yes = false;
};

// The line and the state of a program for one projector's block work.
struct Session {
    Session(const CliPorts& p, StreamUi& u)
        : ports(p), ui(u), state(*p.clock, u, *p.libraries, *p.devices), work(state) {}
    ~Session() {
        if (lineOpen) CloseConnection(state.link, kOwnerTool);
    }

    const CliPorts& ports;
    StreamUi& ui;
    ProgramState state;
    BlockWork work;
    bool lineOpen = false;
};

int Usage(const CliPorts& ports, const std::string& why) { return UsageError(*ports.err, why); }

int Failed(const CliPorts& ports, const std::string& why) {
    *ports.err << "ombrix-cli: " << why << '\n';
    return kExitFailed;
}

int Open(Session& s, const LineOptions& line, uint8_t address, bool needEveryBlock) {
    if (!OpenCliSession(s.state, s.ports, line)) return kExitFailed;
    s.lineOpen = true;
    std::string why;
    if (s.work.Open(address, needEveryBlock, &why)) return kExitDone;
    return why.empty() ? kExitFailed : Failed(s.ports, why);
}

// Lines as "block N [..]: text", the failure and the note on standard error.
int Report(const CliPorts& ports, const BlockReport& r) {
    for (const BlockLine& l : r.lines) *ports.out << l.block << ": " << l.text << '\n';
    ports.out->flush();
    if (!r.failure.empty()) Failed(ports, r.failure);
    if (!r.note.empty()) *ports.err << "ombrix-cli: " << r.note << '\n';
    return r.ok ? kExitDone : kExitFailed;
}

int Blocks(const Arguments& a, const LineOptions& line, const CliPorts& ports, uint8_t address) {
    StreamUi ui(*ports.out, *ports.err);
    auto s = std::make_unique<Session>(ports, ui);
    if (const int r = Open(*s, line, address, false); r != kExitDone) return r;
    const ListModel list = BlockListToText(s->state, s->work.View().projectorList, true);
    const std::string type = "Listing projector blocks";
    const std::string info = "Overview Blocks in Projector with address " + std::to_string(address);
    if (!a.output.empty()) {
        return ConvertListToText(s->state.env, list, kBlockListCellLimit, type, info, a.output) ? kExitDone
                                                                                                : kExitFailed;
    }
    const std::time_t now = std::time(nullptr);
    std::tm when{};
    localtime_r(&now, &when);
    *ports.out << ListToText(list, kBlockListCellLimit, type, info, when);
    ports.out->flush();
    return kExitDone;
}

int Backup(const Arguments& a, const LineOptions& line, const CliPorts& ports, uint8_t address) {
    const std::string& path = a.positional[1];
    const bool exists = FileExists(path);
    if (exists && !a.append && !a.force) {
        return Failed(ports, path + " exists; --force replaces it, --append adds to it");
    }
    StreamUi ui(*ports.out, *ports.err);
    auto s = std::make_unique<Session>(ports, ui);
    // An unreadable file is never replaced by an append.
    SettingsFileContent kept;
    if (a.append && exists && !ReadSettingsFile(path, &kept, nullptr)) {
        return Failed(ports, path + " is not a settings file; nothing was changed");
    }
    if (const int r = Open(*s, line, address, true); r != kExitDone) return r;
    ProgramState& st = s->state;
    BlockTables& t = st.blocks;
    if (a.append && exists) {
        MergeSettings(st.env, t, kept, false);
        if (static_cast<size_t>(t.ramRowCount) != kept.rows.size()) {
            return Failed(ports, path + " holds more rows than the RAM container; nothing was changed");
        }
    }
    const BlockReadOutcome read = BackupBlocks(s->work, OrdinaryRowsInUse(t));
    if (read.noContainer) return kExitFailed;
    // The lost line has been said; the count of a pass cut short would mislead.
    if (read.lineLost) return Failed(ports, path + " was not written");
    if (read.read != read.wanted) {
        return Failed(ports, std::to_string(read.wanted - read.read) + " of " + std::to_string(read.wanted) +
                                 " blocks could not be read; " + path + " was not written");
    }
    if (!SaveSettingsFile(st.env, t, path)) return kExitFailed;
    *ports.out << "backup: " << read.read << " blocks of projector " << static_cast<int>(address) << " saved in "
               << path << '\n';
    ports.out->flush();
    return kExitDone;
}

int Restore(const Arguments& a, const LineOptions& line, const CliPorts& ports, uint8_t address) {
    const std::string& path = a.positional[0];
    StreamUi ui(*ports.out, *ports.err);
    ui.assumeYes = a.yes;
    ui.askTerminal = !a.yes && ports.stdinIsTerminal;
    auto s = std::make_unique<Session>(ports, ui);
    SettingsFileContent file;
    std::string why;
    if (!ReadSettingsFile(path, &file, &why)) return Failed(ports, path + " is not a settings file: " + why);
    if (const int r = Open(*s, line, address, true); r != kExitDone) return r;
    return Report(ports, RestoreBlocks(s->work, file, path));
}

int Verify(const Arguments& a, const LineOptions& line, const CliPorts& ports, uint8_t address) {
    const std::string& path = a.positional[0];
    StreamUi ui(*ports.out, *ports.err);
    auto s = std::make_unique<Session>(ports, ui);
    SettingsFileContent file;
    std::string why;
    if (!ReadSettingsFile(path, &file, &why)) return Failed(ports, path + " is not a settings file: " + why);
    if (const int r = Open(*s, line, address, true); r != kExitDone) return r;
    return Report(ports, VerifyBlocks(s->work, file, path));
}

}  // namespace

void PrepareCliState(ProgramState& st, const CliPorts& ports) {
    st.stringsLibrary = ports.libraries->Load("kelvaneproj", nullptr);
    st.env.strings = st.stringsLibrary.get();
    st.env.descriptionFolders = &ports.descriptionFolders;
    std::vector<char> cwd(kMaxStartDirectory + 1, '\0');
    if (::getcwd(cwd.data(), cwd.size())) st.startDirectory = cwd.data();
}

bool OpenCliSession(ProgramState& st, const CliPorts& ports, const LineOptions& line) {
    PrepareCliState(st, ports);
    return OpenCliLine(st.env, st.link, line, *ports.err);
}

const char* BlockCommandsUsage() { return kUsage; }

int RunBlockCommand(const std::vector<std::string>& args, const LineOptions& line, const CliPorts& ports) {
    if (args.empty()) return -1;
    bool known = false;
    for (const char* name : kCommands) known = known || args[0] == name;
    if (!known) return -1;
    const std::string& command = args[0];

    Arguments a;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (command == "blocks" && arg == "--output") {
            if (++i >= args.size() || args[i].empty()) return Usage(ports, "blocks: --output needs a file");
            a.output = args[i];
        } else if (command == "backup" && arg == "--append") {
            a.append = true;
        } else if (command == "backup" && arg == "--force") {
            a.force = true;
        } else if (command == "restore" && arg == "--yes") {
            a.yes = true;
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            return Usage(ports, command + ": unknown option " + arg);
        } else {
            a.positional.push_back(arg);
        }
    }
    const size_t wanted = command == "blocks" ? 1 : 2;
    if (a.positional.size() != wanted) {
        if (command == "blocks") return Usage(ports, "blocks takes ADDR [--output FILE.txt]");
        if (command == "backup") return Usage(ports, "backup takes ADDR FILE.set [--append] [--force]");
        if (command == "restore") return Usage(ports, "restore takes FILE.set ADDR [--yes]");
        return Usage(ports, "verify takes FILE.set ADDR");
    }
    const std::string& addressText = command == "blocks" || command == "backup" ? a.positional[0] : a.positional[1];
    long address = 0;
    if (!ParseNumber(addressText, 0, 255, &address)) return Usage(ports, command + " needs ADDR 0-255");
    const auto addr = static_cast<uint8_t>(address);
    if (command == "blocks") return Blocks(a, line, ports, addr);
    if (command == "backup") return Backup(a, line, ports, addr);
    if (command == "restore") return Restore(a, line, ports, addr);
    return Verify(a, line, ports, addr);
}

}  // namespace ombrix::cli
