#include "BlockCommands.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <ostream>

#include "StreamUi.h"
#include "app/Program.h"
#include "blocks/BlockList.h"
#include "blocks/BlockOperations.h"
#include "blocks/ListToText.h"
#include "blocks/RamContainer.h"
#include "data/Description.h"
#include "data/SettingsFile.h"
#include "discovery/Search.h"
#include "link/Frame.h"
#include "platform/Files.h"
#include "projector/Messages.h"

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

constexpr size_t Index(int i) { return static_cast<size_t>(i); }

struct Arguments {
    std::vector<std::string> positional;
    std::string output;
    bool append = false;
    bool force = false;
    bool yes = false;
};

// A program on one line for one projector: its record, its description and its lists.
struct Session {
    Session(const CliPorts& p, StreamUi& u) : ports(p), ui(u), state(*p.clock, u, *p.libraries, *p.devices) {}
    ~Session() {
        if (lineOpen) CloseConnection(state.link, kOwnerTool);
    }

    const CliPorts& ports;
    StreamUi& ui;
    ProgramState state;
    BlockView view;
    Description description;
    bool lineOpen = false;
};

int Usage(const CliPorts& ports, const std::string& why) { return UsageError(*ports.err, why); }

int Failed(const CliPorts& ports, const std::string& why) {
    *ports.err << "ombrix-cli: " << why << '\n';
    return kExitFailed;
}

std::string Hex(const uint8_t* bytes, size_t n) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02x" : "%02x", bytes[i]);
        s += buf;
    }
    return s;
}

// Identifies the projector as the search does, then reads its header table with its own
// description. A type without its description is not guessed at with the default one.
int Open(Session& s, const LineOptions& line, uint8_t address, bool needEveryBlock) {
    ProgramState& st = s.state;
    st.stringsLibrary = s.ports.libraries->Load("kelvaneproj", nullptr);
    st.env.strings = st.stringsLibrary.get();
    st.env.descriptionFolders = &s.ports.descriptionFolders;
    std::vector<char> cwd(kMaxStartDirectory + 1, '\0');
    if (::getcwd(cwd.data(), cwd.size())) st.startDirectory = cwd.data();
    LoadCommSettings(st);
    if (!OpenLine(st.env, st.link, line, *s.ports.err)) return kExitFailed;
    s.lineOpen = true;

    ProjectorRecord record;
    const ProbeOutcome probe = ProbeAddress(st.link, st.env, address, &record, &st.statusFlags, false);
    if (!probe.answered) return Failed(s.ports, WhyUnanswered(st.link, probe.result, address));
    st.projectors.records[0] = record;
    st.projectors.connectedCount = 1;
    st.projectors.currentProjectorIndex = 0;
    st.link.currentAddress = address;
    if (record.standby) {
        ShowWarning(st.env, 24);
        return kExitFailed;
    }
    if (record.projectorType < 0) {
        return Failed(s.ports, "the projector at address " + std::to_string(address) + " did not tell its type");
    }
    const std::string directory = st.startDirectory.empty() ? "." : st.startDirectory;
    if (!LoadDescription(st.env, directory, record.projectorType, record.alphaId, &s.description)) {
        ShowWarning(st.env, 16);
        return kExitFailed;
    }
    SetBlockGeometry(st.blocks.geometry, s.description, &st.projectors.records[0]);
    ClearRamContainer(st.blocks);
    BuildProjectorBlocks(st, s.view, s.description);
    const BlockGeometry& g = st.blocks.geometry;
    if (g.rowCount > 0 && st.blocks.projectorRowCount == 0) {
        return Failed(s.ports, "the header table of projector " + std::to_string(address) + " could not be read");
    }
    if (needEveryBlock && !GeometryAllowsTransfers(g)) {
        return Failed(s.ports, "not every block of projector " + std::to_string(address) + " can be listed");
    }
    return kExitDone;
}

// The file's containers of one type into the RAM container, nothing else of it.
bool LoadTypeFromFile(Session& s, const std::string& path, int projectorType) {
    SettingsFileContent file;
    std::string why;
    if (!ReadSettingsFile(path, &file, &why)) {
        ShowError(s.state.env, 26, why);
        return false;
    }
    SettingsFileContent ofType;
    size_t next = 0;
    for (const SettingsFileContainer& c : file.containers) {
        const auto n = static_cast<size_t>(c.rowCount);
        if (c.projectorType == projectorType) {
            ofType.containers.push_back(c);
            ofType.rows.insert(ofType.rows.end(), file.rows.begin() + static_cast<long>(next),
                               file.rows.begin() + static_cast<long>(next + n));
        }
        next += n;
    }
    if (ofType.rows.size() >= static_cast<size_t>(kRamRowCapacity)) {
        ShowWarning(s.state.env, 43);
        return false;
    }
    ClearRamContainer(s.state.blocks);
    MergeSettings(s.state.env, s.state.blocks, ofType, false);
    return true;
}

// The block's number inside its container, as the RAM list shows it, and its header.
std::string BlockName(Session& s, int row) {
    const BlockTables& t = s.state.blocks;
    const int k = ContainerOfRow(t, row);
    const int first = k < 0 ? 0 : t.ramContainers[Index(k)].firstRow;
    const RAMBlock& b = t.ramBlocks[Index(row)];
    uint8_t wire[4];
    WireHeader(b.header, s.state.blocks.geometry.headerVariant == 2, wire);
    return "block " + std::to_string(row - first) + " [" + Hex(wire, 4) + "]";
}

enum class Comparison { Identical, Different, Unreadable };

// Reads the projector's block under this header and compares its L bytes with body.
// A failed read leaves its result in *readResult.
Comparison CompareWithProjector(Session& s, const BlockHeader& header, const BlockBody& body,
                                std::vector<int>* places, int* readResult = nullptr) {
    ProgramState& st = s.state;
    const auto L = static_cast<size_t>(st.blocks.geometry.blockLength);
    uint8_t wire[4];
    WireHeader(header, st.blocks.geometry.headerVariant == 2, wire);
    BlockBody read{};
    const int r = ReadBlockData(st.link, st.link.currentAddress, read.data(), wire[0], wire[1], wire[2], wire[3], L);
    ReportCommError(st.env, st.link, r);
    if (readResult) *readResult = r;
    if (r != kDone) return Comparison::Unreadable;
    for (size_t i = 0; i < L; ++i) {
        if (read[i] != body[i]) places->push_back(static_cast<int>(i));
    }
    return places->empty() ? Comparison::Identical : Comparison::Different;
}

std::string PlacesText(const std::vector<int>& places) {
    std::string text;
    for (size_t i = 0; i < places.size(); ++i) text += (i ? ", " : "") + std::to_string(places[i]);
    return text;
}

// The row of the projector list that carries this header, -1 when none.
int ProjectorRowWithHeader(const BlockTables& t, const BlockHeader& h) {
    for (int i = 0; i < t.projectorRowCount; ++i) {
        if (SameHeaderFields(t.projectorBlocks[Index(i)].header, h)) return i;
    }
    return -1;
}

int Blocks(const Arguments& a, const LineOptions& line, const CliPorts& ports, uint8_t address) {
    StreamUi ui(*ports.out, *ports.err);
    auto s = std::make_unique<Session>(ports, ui);
    if (const int r = Open(*s, line, address, false); r != kExitDone) return r;
    const ListModel list = BlockListToText(s->state, s->view.projectorList, true);
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
    if (!EnsureRamContainer(st, &s->view, 0)) {
        ShowWarning(st.env, 6);
        return kExitFailed;
    }
    std::vector<int> rows;
    // Blocks of the later special kinds are handled as ordinary blocks, so they are kept too.
    for (int i = 0; i < t.projectorRowCount; ++i) {
        const ProjectorBlock& b = t.projectorBlocks[Index(i)];
        if (b.specialKind == 0 && !HeaderIsFree(b.header, b.longHeader != 0)) rows.push_back(i);
    }
    const AddToRamResult added = AddBlocksToRam(st, s->view, rows);
    // The lost line has been said; the count of a pass cut short would mislead.
    if (added.lineLost) return Failed(ports, path + " was not written");
    if (added.added != static_cast<int>(rows.size())) {
        return Failed(ports, std::to_string(rows.size() - static_cast<size_t>(added.added)) + " of " +
                                 std::to_string(rows.size()) + " blocks could not be read; " + path +
                                 " was not written");
    }
    if (!SaveSettingsFile(st.env, t, path)) return kExitFailed;
    *ports.out << "backup: " << added.added << " blocks of projector " << static_cast<int>(address) << " saved in "
               << path << '\n';
    ports.out->flush();
    return kExitDone;
}

// What a failed read of a block came to, in the words of the communication error.
std::string ReadFailure(int result) {
    const char* text = CommErrorText(result);
    return text ? std::string(text) : "result " + std::to_string(result);
}

// How to free the projector's block under this header with the line commands.
std::string FreeHint(const Session& s, uint8_t address, const BlockHeader& header) {
    uint8_t wire[4];
    WireHeader(header, s.state.blocks.geometry.headerVariant == 2, wire);
    char text[64];
    std::snprintf(text, sizeof text, "ombrix-cli free-block %d 0x%02x 0x%02x 0x%02x 0x%02x", address, wire[0], wire[1],
                  wire[2], wire[3]);
    return text;
}

int Restore(const Arguments& a, const LineOptions& line, const CliPorts& ports, uint8_t address) {
    const std::string& path = a.positional[0];
    StreamUi ui(*ports.out, *ports.err);
    ui.assumeYes = a.yes;
    ui.askTerminal = !a.yes && ports.stdinIsTerminal;
    auto s = std::make_unique<Session>(ports, ui);
    SettingsFileContent probe;
    std::string why;
    if (!ReadSettingsFile(path, &probe, &why)) return Failed(ports, path + " is not a settings file: " + why);
    if (const int r = Open(*s, line, address, true); r != kExitDone) return r;
    ProgramState& st = s->state;
    const BlockTables& t = st.blocks;
    if (!LoadTypeFromFile(*s, path, st.projectors.records[0].projectorType)) return kExitFailed;

    // Only the blocks whose header the projector does not hold take free blocks; one it
    // holds is either the file's block already or another that must be freed first.
    std::vector<int> rows;
    std::map<int, std::string> outcome;
    bool allRestored = true;
    for (int row = 0; row < t.ramRowCount; ++row) {
        const RAMBlock& b = t.ramBlocks[Index(row)];
        if (b.containerTitle) continue;
        if (b.specialKind != 0 || HeaderIsFree(b.header, b.longHeader != 0)) {
            *ports.out << BlockName(*s, row) << ": " << (b.specialKind ? "special" : "free")
                       << " block, not restored\n";
            allRestored = false;
            continue;
        }
        if (ProjectorRowWithHeader(t, b.header) < 0) {
            rows.push_back(row);
            continue;
        }
        std::vector<int> places;
        int result = kDone;
        switch (CompareWithProjector(*s, b.header, b.body, &places, &result)) {
            case Comparison::Identical: outcome[row] = "already in the projector"; break;
            case Comparison::Different:
                outcome[row] = "not restored: the projector holds another block with this header (different at "
                               "places " + PlacesText(places) + "); to replace it, free it first (" +
                               FreeHint(*s, address, b.header) + ") and restore again";
                break;
            case Comparison::Unreadable:
                if (LineLost(st.link)) return Failed(ports, "nothing was restored");
                outcome[row] = "not restored: the projector holds a block with this header, but reading it failed (" +
                               ReadFailure(result) + ")";
                break;
        }
    }
    if (rows.empty() && outcome.empty()) {
        return Failed(ports, path + " holds no block for type " + std::to_string(st.projectors.records[0].projectorType));
    }
    CopyToFreeResult copied;
    if (!rows.empty()) {
        copied = CopyRamRowsToFreeBlocks(st, s->view, rows);
        if (!copied.confirmed) return Failed(ports, "nothing was restored");
    }
    for (int row : copied.written) {
        std::vector<int> places;
        const RAMBlock& b = t.ramBlocks[Index(row)];
        int result = kDone;
        if (LineLost(st.link)) {
            outcome[row] = "written (acknowledged), not read back: the line was lost";
            continue;
        }
        switch (CompareWithProjector(*s, b.header, b.body, &places, &result)) {
            case Comparison::Identical: outcome[row] = "restored"; break;
            case Comparison::Different:
                outcome[row] = "written, but reads back different at places " + PlacesText(places);
                break;
            case Comparison::Unreadable:
                outcome[row] = "written, but the read-back failed (" + ReadFailure(result) + ")";
                break;
        }
    }
    // Rows the checks above let through are never duplicates; a failed write is said.
    for (int row : copied.duplicates) outcome[row] = "not restored: the projector holds a block with this header";
    for (int row : copied.failed) outcome[row] = "not written";
    for (const auto& [row, text] : outcome) {
        *ports.out << BlockName(*s, row) << ": " << text << '\n';
        allRestored = allRestored && (text == "restored" || text == "already in the projector");
    }
    ports.out->flush();
    if (!copied.written.empty() && !copied.failed.empty()) {
        // A restore cut short is not undone; the same restore skips what is in already.
        std::string written;
        for (int row : copied.written) written += (written.empty() ? "" : ", ") + BlockName(*s, row);
        *ports.err << "ombrix-cli: the restore stopped after writing " << copied.written.size() << " of "
                   << copied.written.size() + copied.failed.size() << " blocks (" << written
                   << "); running the same restore again writes the rest\n";
    }
    return allRestored ? kExitDone : kExitFailed;
}

int Verify(const Arguments& a, const LineOptions& line, const CliPorts& ports, uint8_t address) {
    const std::string& path = a.positional[0];
    StreamUi ui(*ports.out, *ports.err);
    auto s = std::make_unique<Session>(ports, ui);
    SettingsFileContent probe;
    std::string why;
    if (!ReadSettingsFile(path, &probe, &why)) return Failed(ports, path + " is not a settings file: " + why);
    if (const int r = Open(*s, line, address, true); r != kExitDone) return r;
    ProgramState& st = s->state;
    const BlockTables& t = st.blocks;
    if (!LoadTypeFromFile(*s, path, st.projectors.records[0].projectorType)) return kExitFailed;
    int compared = 0;
    bool allIdentical = true;
    for (int row = 0; row < t.ramRowCount; ++row) {
        const RAMBlock& b = t.ramBlocks[Index(row)];
        if (b.containerTitle) continue;
        ++compared;
        *ports.out << BlockName(*s, row) << ": ";
        if (ProjectorRowWithHeader(t, b.header) < 0) {
            *ports.out << "missing\n";
            allIdentical = false;
            continue;
        }
        std::vector<int> places;
        const Comparison c = CompareWithProjector(*s, b.header, b.body, &places);
        // Said once; the blocks after it cannot be read either.
        if (c == Comparison::Unreadable && LineLost(st.link)) {
            *ports.out << "could not be read\n";
            ports.out->flush();
            return kExitFailed;
        }
        switch (c) {
            case Comparison::Identical: *ports.out << "identical\n"; break;
            case Comparison::Different:
                *ports.out << "different at places " << PlacesText(places) << '\n';
                allIdentical = false;
                break;
            case Comparison::Unreadable:
                *ports.out << "could not be read\n";
                allIdentical = false;
                break;
        }
    }
    ports.out->flush();
    if (!compared) {
        return Failed(ports, path + " holds no block for type " + std::to_string(st.projectors.records[0].projectorType));
    }
    return allIdentical ? kExitDone : kExitFailed;
}

}  // namespace

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
