#pragma once
// Groups of projectors, the unit an operator works on when several projectors must look
// alike (a dome, a simulator, a video wall).
//
// There are two kinds of group:
// - the main group: every connected projector, in the order of the projector table. It
//   is never stored; it is what the projector table says at the moment.
// - user groups (`Grouping`): a name of at most 31 bytes and up to 255 member addresses
//   in the order the operator added them. A member that is switched off or not found
//   stays in its group: groups are what the operator built, not what answers tonight.
//
// Every shell changes groups only through the functions below, so the rules (no
// duplicate member, no duplicate name, the main group untouchable) hold for the window,
// ombrix-cli and ombrix-server alike. A rule broken changes nothing and comes back as a
// GroupResult naming the program's numbered message, with the reason in words.
//
// The grouping file (groups.json in the work folder, or any file the user names):
//   {"version": 1, "groups": [{"name": "Dome", "members": [3, 6]}]}
// One reader (LoadGroupsFile / ParseGroups) and one writer (SaveGroupsFile /
// EncodeGroups). Keys this version does not know, at the top and in each group, are kept
// and written back. A damaged or foreign file is refused as a whole, with the reason.
//
// The target list: every feature that acts on "the selected projectors" (direct access,
// force, sources, force block, the comparison, the handset, ombrix-cli --group,
// ombrix-server) takes BuildGroupTargetList's answer and loops over it in order.
#include <cstdint>
#include <string>
#include <vector>

#include "directaccess/DirectAccessState.h"
#include "platform/SystemError.h"
#include "projector/Projector.h"

namespace ombrix {

constexpr size_t kGroupNameMax = 31;     // bytes; the table's name field is 32 with its end
constexpr size_t kMaxGroupSize = 255;    // members of one group
constexpr size_t kMaxUserGroups = 255;
constexpr const char* kGroupsFileName = "groups.json";
constexpr int kGroupsFileVersion = 1;

struct UserGroup {
    std::string name;
    std::vector<uint8_t> members;  // addresses 1-255, no repeats, in the operator's order
    std::string extra;             // keys of the file this version does not know (JSON object text)
};

struct Grouping {
    std::vector<UserGroup> groups;
    std::string extra;  // unknown top-level keys (JSON object text)
};

// What a group change came to. ok: done. Otherwise nothing was changed; error / warning
// is the program's numbered message to show (0 when there is none, then text alone is
// the message) and text says what went wrong in words.
struct GroupResult {
    bool ok = true;
    int error = 0;
    int warning = 0;
    std::string text;

    static GroupResult Done() { return {}; }
    static GroupResult Error(int n, std::string why) { return {false, n, 0, std::move(why)}; }
    static GroupResult Warning(int n, std::string why) { return {false, 0, n, std::move(why)}; }
    static GroupResult Refused(std::string why) { return {false, 0, 0, std::move(why)}; }
};

// Index of the user group of that name (exact match), -1 when none.
int FindGroup(const Grouping& grouping, const std::string& name);
// Empty when the name is acceptable for a new or renamed group; else why not (empty,
// longer than 31 bytes, control characters, not UTF-8).
std::string CheckGroupName(const std::string& name);

// A new empty group at the end. Names are taken trimmed of surrounding blanks.
GroupResult AddGroup(Grouping& grouping, const std::string& name);
// An empty or taken name is refused; renaming to the same name is done (nothing changes).
GroupResult RenameGroup(Grouping& grouping, const std::string& oldName, const std::string& newName);
// The group goes; its projectors are not touched.
GroupResult DeleteGroup(Grouping& grouping, const std::string& name);
// All or nothing: none given → error 35; a projector already in the group → error 5;
// an address outside 1-255, or the group becoming larger than 255 → refused.
GroupResult AddMembers(Grouping& grouping, const std::string& name, const std::vector<uint8_t>& addresses);
// All or nothing: none given → error 35; an address not in the group → refused.
GroupResult RemoveMembers(Grouping& grouping, const std::string& name, const std::vector<uint8_t>& addresses);

// The main group's rules, for the shells that show it: it cannot be deleted (warning 26),
// no projector can be moved out of it (warning 4) and none added by hand (error 34).
GroupResult MainGroupDeleteRefused();
GroupResult MainGroupRemoveRefused();
GroupResult MainGroupAddRefused();

// The main group's members: the connected projectors in table order.
std::vector<uint8_t> MainGroupMembers(const ProjectorTable& table);

// ---- the grouping file ----

// Refuses (false, *reason set, *out untouched) anything that is not a grouping file of
// this version: not JSON, not an object, version missing or not 1, groups not an array,
// a group without a good name or members list, a repeated name, an address outside
// 1-255 or repeated within a group, too many groups or members, nesting deeper than 64.
bool ParseGroups(const uint8_t* data, size_t size, Grouping* out, std::string* reason);
std::vector<uint8_t> EncodeGroups(const Grouping& grouping);

struct GroupsLoad {
    bool ok = false;
    bool missing = false;  // there is no such file (not an error at start: no groups yet)
    std::string reason;    // why it was refused (with the file's name)
};
GroupsLoad LoadGroupsFile(const std::string& path, Grouping* out);
// Written atomically: a failed save leaves the previous file as it was.
bool SaveGroupsFile(const std::string& path, const Grouping& grouping, SysError* error);

// ---- the target list ----
// (ProjectorSelection and TargetEntry are part of the direct-access state.)

// "Default", "All connected projectors" or the group's name.
std::string SelectionText(const ProjectorSelection& selection);

// The projectors a command reaches, in order:
// - Default: the current projector (currentAddress) when it is connected;
// - AllConnected: every connected projector in table order;
// - Group: the connected members in member order (a member not connected is left out,
//   a group that does not exist gives an empty list).
// Entries in standby are in the list with their standby byte set: a force of the power
// must reach them to wake them, and the adjustments and the comparison skip them.
std::vector<TargetEntry> BuildGroupTargetList(const ProjectorTable& table, uint8_t currentAddress,
                                              const Grouping& grouping, const ProjectorSelection& selection);

// ---- what a command on a group came to ----

// "not connected", "standby", "no sound": the word an API result carries.
const char* SkipWord(MemberSkip why);
// "not connected", "in standby", "without sound": the word a sentence carries.
const char* SkipText(MemberSkip why);
// Every member the selection names, in order (Default: the current projector), marked
// skipped where a command cannot reach it: not connected; in standby, unless the command
// wakes a projector (power, the digits of a source).
std::vector<MemberOutcome> PlanGroupMembers(const ProjectorTable& table, uint8_t currentAddress,
                                            const Grouping& grouping, const ProjectorSelection& selection, bool wakes);
// "projector 12 skipped: in standby", "projector 4 failed: no answer", "projector 1 done".
std::string MemberOutcomeLine(const MemberOutcome& member);
// "3 of 3 done", "2 of 3 done; projector 12 skipped: in standby"; empty for no members.
std::string GroupOutcomeText(const std::vector<MemberOutcome>& members);
// True when every member did it.
bool AllMembersDone(const std::vector<MemberOutcome>& members);
// The outcome of that member, nullptr when it is none of them.
MemberOutcome* FindMember(std::vector<MemberOutcome>& members, uint8_t address);
// What a command's result (0-3) means for a member: done, or failed with the reason.
void NoteMemberResult(std::vector<MemberOutcome>& members, uint8_t address, int result);

}  // namespace ombrix
