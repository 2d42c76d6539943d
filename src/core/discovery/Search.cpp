#include "discovery/Search.h"

#include <algorithm>

#include "discovery/AddressSets.h"
#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

// A range search never needs more than every address once (256 wraps to 0).
constexpr int32_t kMaxRangeAddresses = 256;
constexpr int32_t kFallbackRangeSize = 15;

// A set's addresses for the search: every address its file holds, each once; what is
// not probed is said. False when the file cannot be read.
bool ReadSearchSet(const Env& env, const char* path, std::vector<int32_t>* addresses, SysError* error) {
    AddressFile file;
    if (!ReadAddressFile(path, &file, error)) return false;
    AddressList list = UsableAddresses(file.entries);
    ReportSkippedAddresses(env, path, file, list);
    *addresses = std::move(list.addresses);
    return true;
}

}  // namespace

void SetSearchMode(ProgramOptions& o, int commandId) {
    switch (commandId) {
        case kCmdCheckTo16:
        case kCmdCheckTo128:
        case kCmdCheckTo256: {
            const int32_t limit = commandId == kCmdCheckTo16 ? 16 : commandId == kCmdCheckTo128 ? 128 : 256;
            o.searchLimit = limit;
            o.useAddressSet = 0;
            o.userDefinedSet = 0;
            o.rangeStart = 1;
            o.rangeEnd = static_cast<uint8_t>(std::min(limit, 255));
            break;
        }
        case kCmdCheckRange:
            // An end below the start gives an empty range, which the search replaces
            // with the default addresses.
            o.searchLimit = std::max(0, static_cast<int32_t>(o.rangeEnd) - static_cast<int32_t>(o.rangeStart) + 1);
            o.useAddressSet = 0;
            o.userDefinedSet = 0;
            break;
        case kCmdUserDefinedSet:
            o.useAddressSet = 1;
            o.userDefinedSet = 1;
            break;
        case kCmdGeneratedSet:
            o.useAddressSet = 1;
            o.userDefinedSet = 0;
            break;
        case kCmdSkipSearch:
            o.searchLimit = 0;
            o.useAddressSet = 0;
            o.userDefinedSet = 0;
            break;
        default:
            break;
    }
}

int CheckedSearchCommand(const ProgramOptions& o) {
    if (o.useAddressSet) return o.userDefinedSet ? kCmdUserDefinedSet : kCmdGeneratedSet;
    switch (o.searchLimit) {
        case 0: return kCmdSkipSearch;
        case 16: return kCmdCheckTo16;
        case 128: return kCmdCheckTo128;
        case 256: return kCmdCheckTo256;
        default: return kCmdCheckRange;
    }
}

std::string SearchModeText(const ProgramOptions& o) {
    switch (CheckedSearchCommand(o)) {
        case kCmdSkipSearch: return "Skip Search";
        case kCmdCheckTo16: return "Check to address 16";
        case kCmdCheckTo128: return "Check to address 128";
        case kCmdCheckTo256: return "Check to address 256";
        case kCmdUserDefinedSet: return "Use userdefined addressset";
        case kCmdGeneratedSet: return "Use generated addressset";
        default: return "Check within range";
    }
}

bool SearchSkipped(const ProgramOptions& o) { return !o.useAddressSet && !o.userDefinedSet && o.searchLimit == 0; }

void ConcludeSearchFoundNobody(ProgramState& s) {
    if (s.lastSearch != SearchEnd::Completed) return;
    ShowWarning(s.env, 18);
    s.options.searchLimit = 0;
}

std::string ProbeLine(int address, const std::string& suffix) {
    return "Projector with address " + std::to_string(address) + suffix;
}

ProbeOutcome ProbeAddress(Link& link, const Env& env, int address, ProjectorRecord* record, StatusFlags* flags,
                          bool fromBackground) {
    const auto a = static_cast<uint8_t>(address);
    uint32_t optionsValid = 0;
    int r = ReadStatus(link, a, flags, &optionsValid, fromBackground);
    if (r != kDone && fromBackground) {
        link.clock.WaitMs(2000);
        r = ReadStatus(link, a, flags, &optionsValid, fromBackground);
    }
    if (r != kDone) {
        ProbeOutcome out;
        out.result = r;
        out.suffix = " not found ...";
        return out;
    }
    return ProbeAnswered(link, env, address, record, *flags, fromBackground);
}

ProbeOutcome ProbeAnswered(Link& link, const Env& env, int address, ProjectorRecord* record, const StatusFlags& flags,
                           bool fromBackground) {
    const auto a = static_cast<uint8_t>(address);
    ProbeOutcome out;
    out.result = kDone;
    out.answered = true;
    out.suffix = " found ...";
    record->address = a;
    CopyStatusFlags(flags, record);
    if (flags.standby) {
        record->alphaId = 0;
        record->softwareVersion = 0xFF;
        record->idNumber = -1;
        record->projectorType = -1;
        return out;
    }
    std::string letter, version, idText;
    uint32_t typeCode = 0;
    if (ReadIdentity(link, a, &letter, &version, &typeCode, fromBackground) == kDone) {
        record->alphaId = letter.empty() ? 0 : letter[0];
        record->softwareVersion = VersionNumber(version);
        record->projectorType = static_cast<int32_t>(typeCode);
        out.version = version;
        if (!IsKnownAlphaId(record->alphaId)) ShowError(env, 49);
    }
    if (ReadIdNumber(link, a, &idText, fromBackground) == kDone) record->idNumber = IdNumberValue(idText);
    return out;
}

SearchPlan PlanSearch(ProgramState& s, AtomicFileWriter* generated) {
    ProgramOptions& o = s.options;
    SearchPlan plan;
    bool useDefaults = false;
    bool range = !o.useAddressSet;
    SysError error;
    if (o.useAddressSet && o.userDefinedSet) {
        if (!ReadSearchSet(s.env, kUserAddressFile, &plan.addresses, &error)) {
            ShowError(s.env, 0, error.text);
            o.useAddressSet = 0;
            o.searchLimit = kFallbackRangeSize;
            range = true;
        } else if (plan.addresses.empty()) {
            useDefaults = true;
        } else if (generated->Open(kGeneratedAddressFile, nullptr)) {
            plan.writeGenerated = true;
        } else {
            useDefaults = true;
        }
    } else if (o.useAddressSet) {
        // Every address of the set, not only searchLimit of them: a projector missed
        // once (or dropped by the check) lowers the count, and the ones after it in the
        // file would never be asked again.
        if (!ReadSearchSet(s.env, kGeneratedAddressFile, &plan.addresses, &error)) {
            ShowError(s.env, 2, error.text);
            // A set that is there but unreadable (a folder, a FIFO, no permission) is the
            // user's to mend; replacing it with a range search would also rewrite it.
            if (error.code != SysErrorCode::NotFound) {
                plan.setUnreadable = true;
                plan.failed = true;
                return plan;
            }
            o.useAddressSet = 0;
            o.searchLimit = kFallbackRangeSize;
            range = true;
        } else if (plan.addresses.empty()) {
            useDefaults = true;
        }
    }
    if (range) {
        plan.addresses.clear();
        // A negative or absurd limit from a damaged options file builds no huge list.
        const int32_t n = std::min(o.searchLimit, kMaxRangeAddresses);
        for (int32_t i = 0; i < n; ++i) plan.addresses.push_back(o.rangeStart + i);
        if (plan.addresses.empty() || !generated->Open(kGeneratedAddressFile, nullptr)) {
            useDefaults = true;
        } else {
            plan.writeGenerated = true;
        }
    }
    if (useDefaults) {
        // userAddressCount stays: it counts the user's file, which is still there.
        o.searchLimit = 16;
        o.useAddressSet = 0;
        o.userDefinedSet = 0;
        plan.addresses.clear();
        for (int32_t a = 0; a < 16; ++a) plan.addresses.push_back(a);
        if (!generated->IsOpen() && !generated->Open(kGeneratedAddressFile, &error)) {
            ShowError(s.env, 2, error.text);
            plan.failed = true;
            return plan;
        }
        plan.writeGenerated = true;
        ShowError(s.env, 45);
    }
    return plan;
}

bool SearchConnectedProjectors(ProgramState& s) {
    return SearchConnectedProjectors(s, [&s](int32_t address, ProjectorRecord* record) {
        return ProbeAddress(s.link, s.env, address, record, &s.statusFlags, false);
    });
}

bool SearchConnectedProjectors(ProgramState& s, const AddressProbe& probe) {
    ProgramOptions& o = s.options;
    ProjectorTable& table = s.projectors;
    AtomicFileWriter generated;
    s.lastSearch = SearchEnd::Completed;
    const SearchPlan plan = PlanSearch(s, &generated);
    if (plan.setUnreadable) s.lastSearch = SearchEnd::SetUnreadable;
    if (plan.failed) return false;

    Ui& ui = *s.env.ui;
    ui.ProgressOpen("Initializing connected projectors", "Cancel or Ctrl+Break",
                    static_cast<int>(static_cast<uint16_t>(plan.addresses.size())));
    ui.ProgressLine(1, "Initializing ...");
    int found = 0;
    std::vector<int32_t> foundAddresses;
    for (const int32_t address : plan.addresses) {
        if (ui.ProgressCancelled()) break;
        // A record left from an earlier search must not lend its identity to this one.
        ProjectorRecord record;
        const ProbeOutcome p = probe(address, &record);
        if (p.abandon) {
            ui.ProgressClose();
            table.connectedCount = found;
            table.currentProjectorIndex = 0;
            return found > 0;
        }
        // Every address after this one would fail as well, and would read as empty.
        if (!p.answered && LineLost(s.link)) {
            s.lastSearch = SearchEnd::LineLost;
            break;
        }
        if (!p.answered && s.link.unquiet.load()) {
            s.lastSearch = SearchEnd::LineUnquiet;
            break;
        }
        if (p.answered && found < kProjectorTableSize) {
            table.records[static_cast<size_t>(found++)] = record;
            foundAddresses.push_back(address);
        }
        ui.ProgressLine(1, "Searching ...");
        ui.ProgressLine(2, ProbeLine(address, p.suffix));
        ui.ProgressStep();
    }
    s.link.clock.WaitMs(500);
    ui.ProgressClose();
    if (s.lastSearch != SearchEnd::Completed) {
        if (s.lastSearch == SearchEnd::LineLost) s.link.lossTold = true;
        ui.ShowBox("Projector RS232",
                   s.lastSearch == SearchEnd::LineLost ? LineLostText(s.link) : LineUnquietText(s.link),
                   BoxIcon::Exclamation);
        // What was found before the line went is kept for this window; the search mode
        // and the generated set stay as they were.
        table.connectedCount = found;
        table.currentProjectorIndex = 0;
        return found > 0;
    }

    if (!o.useAddressSet) o.useAddressSet = 1;
    if (plan.writeGenerated) {
        generated.Append(AddressFileBytes(foundAddresses));
        SysError error;
        if (!generated.Commit(&error)) ShowError(s.env, 2, error.text);
    }
    o.searchLimit = found;
    table.connectedCount = found;
    table.currentProjectorIndex = 0;
    return found > 0;
}

}  // namespace ombrix
