#pragma once
// The search for connected projectors: its modes, the address list it builds from the
// options and address sets, and the probe of one address.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Program.h"

namespace ombrix {

// Search-mode commands of the Options menu.
constexpr int kCmdCheckTo16 = 40031;
constexpr int kCmdCheckTo128 = 40032;
constexpr int kCmdCheckTo256 = 40088;
constexpr int kCmdCheckRange = 40089;
constexpr int kCmdUserDefinedSet = 40036;
constexpr int kCmdGeneratedSet = 40037;
constexpr int kCmdSkipSearch = 40087;
constexpr int kSearchModeCommands[] = {kCmdCheckTo16, kCmdCheckTo128, kCmdCheckTo256, kCmdCheckRange,
                                       kCmdUserDefinedSet, kCmdGeneratedSet, kCmdSkipSearch};

void SetSearchMode(ProgramOptions& options, int commandId);
// The one command that carries the check mark for these options.
int CheckedSearchCommand(const ProgramOptions& options);
// The status-bar text of the mode ("Check to address 16", "Skip Search", ...).
std::string SearchModeText(const ProgramOptions& options);
bool SearchSkipped(const ProgramOptions& options);

struct ProbeOutcome {
    bool answered = false;
    int result = 0;      // of the last status question: why it was not answered
    std::string suffix;  // " found ..." or " not found ..."
    // The identity's version as the projector gave it (the record keeps only its number);
    // empty when the identity was not read.
    std::string version;
    // The program is ending: the search stops here and keeps nothing of its own (search
    // mode, addr.cfg); what it found so far stays in the table.
    bool abandon = false;
};

// Status (retried once after 2000 ms from the background), then identity and id number
// unless in standby, into the record. Error 49 for an unknown type letter.
ProbeOutcome ProbeAddress(Link& link, const Env& env, int address, ProjectorRecord* record, StatusFlags* flags,
                          bool fromBackground);
// The rest of ProbeAddress for an address whose status was read (into flags) another way.
ProbeOutcome ProbeAnswered(Link& link, const Env& env, int address, ProjectorRecord* record, const StatusFlags& flags,
                           bool fromBackground);

// Where a search takes its addresses from, after the fallbacks; decided before probing.
struct SearchPlan {
    std::vector<int32_t> addresses;
    bool writeGenerated = false;  // found addresses become the new addr.cfg
    bool failed = false;          // not even the default path could be set up
    bool setUnreadable = false;   // the set's file is there but cannot be read: skip this search
};

class AtomicFileWriter;
// Builds the address list with every fallback; opens addr.cfg for writing when the
// found addresses are to replace it.
SearchPlan PlanSearch(ProgramState& state, AtomicFileWriter* generated);

// The whole search with its progress box; true when a projector was found. When the
// line goes it stops there, says so once, and changes neither the options nor addr.cfg
// (state.lastSearch tells the caller why nothing was found).
bool SearchConnectedProjectors(ProgramState& state);
// The same search with another way of asking one address (the quick search): the plan,
// the progress lines, the table and the generated set are the ordinary search's.
using AddressProbe = std::function<ProbeOutcome(int32_t address, ProjectorRecord* record)>;
bool SearchConnectedProjectors(ProgramState& state, const AddressProbe& probe);

// After a search that found nobody, the same in every program: only a search that asked
// its addresses concludes that nobody is there (warning 18; the search is then switched
// off, "Skip Search"). A lost or unquiet line or an unreadable set has been said already
// and changes nothing, so the next start searches again.
void ConcludeSearchFoundNobody(ProgramState& state);

// "Projector with address N" + suffix: the progress box's second line.
std::string ProbeLine(int address, const std::string& suffix);

}  // namespace ombrix
