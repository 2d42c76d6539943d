#pragma once
// The Group management commands of the communication window on the program state: the
// rules of blocks/Groups.h with their message boxes, groups.json written after every
// change and read at start, and what the group dialogs list. The window only asks and
// shows; the tree is refilled (FillProjectorTree) after a change.
//
// Tree group indexes: 0 is the main group, i (1..) is user group i - 1; -1 is none.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "blocks/ProjectorTree.h"

namespace ombrix {

// The numbered box of a refused change, or a plain "Group management" box for one
// without a number.
void ReportGroupResult(const Env& env, const GroupResult& result);

// groups.json of the work folder at start. A damaged or foreign file: error 24 with the
// reason, no user groups, and the file is moved aside (groups.json.refused) before the
// first change is written, so it is never lost.
void LoadWorkGroups(ProgramState& state);
// After every change; error 25 with the reason when it cannot be written.
bool SaveWorkGroups(ProgramState& state);

// The user group of a tree group index, or -1 (main group, none).
int UserGroupOfTreeGroup(const ProgramState& state, int treeGroup);
std::string TreeGroupName(const ProgramState& state, int treeGroup);

// GROUPBOX "OK": the refusal text (empty name, taken name, ...) for the dialog to show
// while it stays open, or empty when the group was made and saved.
std::string NewGroup(ProgramState& state, const std::string& name);
// Rename group (in place): false and the box when refused (the label goes back).
bool RenameTreeGroup(ProgramState& state, int treeGroup, const std::string& name);
// Delete group: warning 28 without a group, warning 26 for the main group, then
// "Delete group NAME ?"; the projectors are not touched.
bool DeleteTreeGroup(ProgramState& state, int treeGroup);
// Adding projectors (the Add projector dialog, or projector nodes dropped on a group
// node): warning 31 without a group, error 34 on the main group, error 35 with none
// chosen, error 5 when one is a member already (nothing added then).
bool AddToTreeGroup(ProgramState& state, int treeGroup, const std::vector<uint8_t>& addresses);
// Delete key or the pop-up on a member node: warning 4 in the main group.
bool RemoveFromTreeGroup(ProgramState& state, int treeGroup, uint8_t address);

// Save grouping / Load grouping under a name the user picked. A damaged or foreign file
// is refused with error 24 and the reason, and nothing changes.
bool SaveGroupingAs(ProgramState& state, const std::string& path);
bool LoadGroupingFrom(ProgramState& state, const std::string& path);

// "Back up group to RAM container": every connected member in turn (standby skipped) is
// made current, its ordinary blocks in use read into the container of its type, as
// dragging them one by one would, under the progress box (Cancel stops before the next
// member). The projector that was current is made current again at the end. Per
// member: the blocks added and those that could not be read or found no room.
struct GroupBackupLine {
    uint8_t address = 0;
    int added = 0;
    int failed = 0;
    bool skipped = false;
    std::string why;  // why it was skipped: "not connected", "in standby", "no description"
};
std::vector<GroupBackupLine> BackupGroupToRam(ProgramState& state, ProjectorSession& session, BlockView& view,
                                              int treeGroup);
// "Projector [3] : 4 blocks added", "... : 3 blocks added, 1 not read", "... : skipped:
// in standby".
std::string GroupBackupText(const GroupBackupLine& line);

// "Copy to group": one block of the RAM container to every member of a user group, after
// one question. Each connected member in turn is made current and its blocks read; the
// trust rules of a block write hold for each: a member of another projector type, one
// that holds a block under the same header already (identical or not: nothing is
// overwritten) or has no free block is told and left alone; the written block is read
// back and compared. The projector that was current is made current again at the end.
// Empty when nothing was asked or the user said No.
std::vector<MemberOutcome> CopyRamBlockToGroup(ProgramState& state, ProjectorSession& session, BlockView& view,
                                               const std::string& group, int ramRow);

// ADDPROJECTORBOX: the connected projectors as (address, "Projector [N] : model").
std::vector<std::pair<uint8_t, std::string>> AddProjectorChoices(const ProgramState& state);
// The Projector Selection panel: Default, All connected projectors, then each group.
std::vector<ProjectorSelection> SelectionChoices(const ProgramState& state);
// "Projector Selection : " value of the information strip.
std::string SelectionStripText(const ProgramState& state);

}  // namespace ombrix
