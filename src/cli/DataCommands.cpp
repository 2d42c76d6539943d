#include "DataCommands.h"

#include <ctime>
#include <memory>
#include <ostream>

#include "CliLine.h"
#include "StreamUi.h"
#include "blocks/ListToText.h"
#include "blocks/RamContainer.h"
#include "data/Description.h"
#include "data/DescriptionText.h"
#include "data/Formatting.h"
#include "data/SettingsFile.h"
#include "platform/Files.h"
#include "projector/Messages.h"
#include "projector/Projector.h"

namespace ombrix::cli {
namespace {

const char kUsage[] =
    "Data files (no line needed; boxes go to standard error):\n"
    "  dsc-to-text FILE.dsc [--output FILE.txt]\n"
    "                                      a description file in its readable form (JSON)\n"
    "  text-to-dsc FILE.txt OUT.dsc        the readable form back into a description file\n"
    "  set-list FILE.set [--output FILE.txt]\n"
    "                                      the RAM blocks of a settings file as a text table\n"
    "  params TYPE LETTER [--set FILE.set --row N] [--columns LIST] [--output FILE.txt]\n"
    "                                      the parameters of a projector type (TYPE -1:\n"
    "                                      default.dsc), from the description files of the\n"
    "                                      working directory, as a text table; with --set and\n"
    "                                      --row the values of RAM row N (0 = first title row);\n"
    "                                      LIST: step,da1,da2,kind,color,direction,direct,options\n"
    "  set-merge OUT.set IN.set [IN.set ...]\n"
    "                                      loads the first file, appends the others as the\n"
    "                                      Append command does, and saves OUT.set; nothing\n"
    "                                      is written when any container is left out\n";

const char* const kCommands[] = {"dsc-to-text", "text-to-dsc", "set-list", "params", "set-merge"};

struct Context {
    std::ostream& out;
    std::ostream& err;
    StreamUi ui;
    std::unique_ptr<Library> strings;
    Env env;

    explicit Context(const CliPorts& ports)
        : out(*ports.out),
          err(*ports.err),
          ui(*ports.out, *ports.err),
          strings(ports.libraries ? ports.libraries->Load("kelvaneproj", nullptr) : nullptr),
          env(CliEnv(ports, &ui, strings.get())) {}

    int Usage(const std::string& why) {
        err << "ombrix-cli: " << why << "\n" << "Try 'ombrix-cli --help'.\n";
        return kExitUsage;
    }
    int Failed(const std::string& why) {
        err << "ombrix-cli: " << why << "\n";
        return kExitFailed;
    }
};

bool ParseInt(const std::string& s, long lo, long hi, long* out) {
    if (s.empty() || s.size() > 11) return false;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    if (s[0] == '-') v = -v;
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Positional arguments and the named options that take a value.
struct Arguments {
    std::vector<std::string> positional;
    std::string output, set, row, columns;
    bool hasRow = false;
};

bool SplitArguments(Context& c, const std::vector<std::string>& args, bool allowParams, Arguments* a, int* status) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& s = args[i];
        std::string* target = nullptr;
        if (s == "--output") target = &a->output;
        else if (allowParams && s == "--set") target = &a->set;
        else if (allowParams && s == "--row") target = &a->row;
        else if (allowParams && s == "--columns") target = &a->columns;
        else if (s.size() > 2 && s.compare(0, 2, "--") == 0) {
            *status = c.Usage(args[0] + ": unknown option " + s);
            return false;
        }
        if (!target) {
            a->positional.push_back(s);
            continue;
        }
        if (++i >= args.size() || args[i].empty()) {
            *status = c.Usage(args[0] + ": " + s + " needs a value");
            return false;
        }
        *target = args[i];
        if (target == &a->row) a->hasRow = true;
    }
    return true;
}

// Standard output, or the file atomically.
int Emit(Context& c, const std::string& text, const std::string& output) {
    if (output.empty()) {
        c.out << text;
        c.out.flush();
        return kExitDone;
    }
    SysError error;
    if (!WriteFileAtomic(output, std::vector<uint8_t>(text.begin(), text.end()), &error)) {
        return c.Failed(output + ": " + error.text);
    }
    return kExitDone;
}

std::string ListingText(const ListModel& list, const std::string& listingType, const std::string& info) {
    const std::time_t now = std::time(nullptr);
    std::tm when{};
    localtime_r(&now, &when);
    return ListToText(list, kBlockListCellLimit, listingType, info, when);
}

// A listing goes through ConvertListToText when it has a file, so its failures are the
// program's boxes.
int EmitListing(Context& c, const ListModel& list, const std::string& listingType, const std::string& info,
                const std::string& output) {
    if (output.empty()) return Emit(c, ListingText(list, listingType, info), output);
    return ConvertListToText(c.env, list, kBlockListCellLimit, listingType, info, output) ? kExitDone : kExitFailed;
}

int DscToText(Context& c, const Arguments& a) {
    if (a.positional.size() != 1) return c.Usage("dsc-to-text takes FILE.dsc [--output FILE.txt]");
    const std::string& path = a.positional[0];
    std::vector<uint8_t> bytes;
    SysError error;
    if (!ReadWholeFile(path, &bytes, &error)) return c.Failed(path + ": " + error.text);
    std::string text, why;
    if (!DescriptionBytesToText(bytes, &text, &why)) return c.Failed(path + ": not a description file: " + why);
    return Emit(c, text, a.output);
}

int TextToDsc(Context& c, const Arguments& a) {
    if (a.positional.size() != 2 || !a.output.empty()) return c.Usage("text-to-dsc takes FILE.txt OUT.dsc");
    const std::string& path = a.positional[0];
    std::vector<uint8_t> text;
    SysError error;
    if (!ReadWholeFile(path, &text, &error)) return c.Failed(path + ": " + error.text);
    std::vector<uint8_t> bytes;
    std::string why;
    if (!DescriptionTextToBytes(std::string(text.begin(), text.end()), &bytes, &why)) {
        return c.Failed(path + ": " + why);
    }
    if (!WriteFileAtomic(a.positional[1], bytes, &error)) return c.Failed(a.positional[1] + ": " + error.text);
    return kExitDone;
}

int SetList(Context& c, const Arguments& a) {
    if (a.positional.size() != 1) return c.Usage("set-list takes FILE.set [--output FILE.txt]");
    const std::string& path = a.positional[0];
    auto tables = std::make_unique<BlockTables>();
    ClearRamContainer(*tables);
    const SettingsCommandResult loaded = LoadSettingsCommand(c.env, *tables, path);
    if (!loaded.fileRead) return kExitFailed;
    const int status = EmitListing(c, RamListModel(c.env, *tables), "Listing RAM blocks", BaseName(path), a.output);
    // An empty listing of a file that gave nothing is no success (warning 19 said so).
    return loaded.ramHasRows ? status : kExitFailed;
}

bool ParseColumns(const std::string& list, ParameterColumnSwitches* s, std::string* bad) {
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (name == "step") s->step = true;
        else if (name == "da1") s->da1 = true;
        else if (name == "da2") s->da2 = true;
        else if (name == "kind") s->kind = true;
        else if (name == "color") s->color = true;
        else if (name == "direction") s->direction = true;
        else if (name == "direct") s->direct = true;
        else if (name == "options") s->options = true;
        else {
            *bad = name;
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

int Params(Context& c, const Arguments& a) {
    if (a.positional.size() != 2) return c.Usage("params takes TYPE LETTER [--set FILE.set --row N]");
    long type = 0, row = -1;
    if (!ParseInt(a.positional[0], -1, 255, &type)) return c.Usage("params: TYPE must be -1 to 255");
    if (a.positional[1].size() != 1) return c.Usage("params: LETTER must be one character");
    if (a.set.empty() != !a.hasRow) return c.Usage("params: --set and --row go together");
    if (a.hasRow && !ParseInt(a.row, 0, kRamRowCapacity - 1, &row)) return c.Usage("params: --row must be 0-299");
    ParameterColumnSwitches switches;
    std::string bad;
    if (!a.columns.empty() && !ParseColumns(a.columns, &switches, &bad)) {
        return c.Usage("params: unknown column \"" + bad + "\"");
    }

    auto tables = std::make_unique<BlockTables>();
    ClearRamContainer(*tables);
    const RAMBlock* ramRow = nullptr;
    std::string info;
    if (!a.set.empty()) {
        if (!LoadSettingsCommand(c.env, *tables, a.set).fileRead) return kExitFailed;
        if (row >= tables->ramRowCount) {
            return c.Usage("params: " + a.set + " has rows 0-" + std::to_string(tables->ramRowCount - 1));
        }
        ramRow = &tables->ramBlocks[static_cast<size_t>(row)];
        if (ramRow->containerTitle) {
            ShowWarning(c.env, 34);
            return kExitFailed;
        }
        info = BaseName(a.set);
    } else {
        info = ModelText(c.env, static_cast<int>(type), a.positional[1][0]);
    }
    ParameterListing listing;
    const bool listed =
        FillParameterList(c.env, ".", static_cast<int>(type), a.positional[1][0], ramRow, switches, &listing);
    const int status = EmitListing(c, listing.list, "Listing contents of RAMBlock", info, a.output);
    return listed ? status : kExitFailed;
}

int SetMerge(Context& c, const Arguments& a) {
    if (a.positional.size() < 2 || !a.output.empty()) return c.Usage("set-merge takes OUT.set IN.set [IN.set ...]");
    auto tables = std::make_unique<BlockTables>();
    ClearRamContainer(*tables);
    bool whole = true;
    for (size_t i = 1; i < a.positional.size(); ++i) {
        const SettingsCommandResult r = i == 1 ? LoadSettingsCommand(c.env, *tables, a.positional[i])
                                               : AppendSettingsCommand(c.env, *tables, a.positional[i]);
        whole = whole && r.fileRead && r.containersLeftOut == 0;
    }
    // A merge that lost one of its inputs, or a container of one, is not written.
    if (!whole) return c.Failed(a.positional[0] + " was not written");
    return SaveSettingsFile(c.env, *tables, a.positional[0]) ? kExitDone : kExitFailed;
}

}  // namespace

const char* DataCommandsUsage() { return kUsage; }

bool IsDataCommand(const std::string& word) {
    for (const char* name : kCommands)
        if (word == name) return true;
    return false;
}

int RunDataCommand(const std::vector<std::string>& args, const CliPorts& ports) {
    if (args.empty() || !IsDataCommand(args[0])) return -1;

    Context c(ports);
    Arguments a;
    int status = kExitUsage;
    if (!SplitArguments(c, args, args[0] == "params", &a, &status)) return status;
    if (args[0] == "dsc-to-text") return DscToText(c, a);
    if (args[0] == "text-to-dsc") return TextToDsc(c, a);
    if (args[0] == "set-list") return SetList(c, a);
    if (args[0] == "params") return Params(c, a);
    return SetMerge(c, a);
}

}  // namespace ombrix::cli
