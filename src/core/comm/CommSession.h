#pragma once
// The opening of the communication window after its search: which projector becomes
// current with which description, the RAM containers, and the enabled states of the
// window's commands.
#include "app/Program.h"
#include "blocks/BlockList.h"
#include "blocks/ProjectorTree.h"

namespace ombrix {

// Before the window searches: nobody is connected yet and the blocks of the projector of
// an earlier window are no longer listed.
void BeginOpening(ProgramState& state, BlockView& view);

// No projector open: the default description (warning 17 and no block layout when it is
// missing), noProjector set.
void UseDefaultDescription(ProgramState& state, ProjectorSession& session);

// After a search that found projectors: they are tried in order until one's description
// loads (warning 16 for each that does not); that one becomes current with its address.
// Its blocks are listed by BuildProjectorBlocks unless it is in standby. None loads:
// projector 0 is current, with the default description. The index of the current one.
int ChooseCurrentProjector(ProgramState& state, ProjectorSession& session);

// Containers for the connected projectors' types: built anew when the RAM container is
// empty, and added for every type that has none when it already holds rows (a file
// loaded in an earlier session). Warning 19 when there is none to list.
bool PrepareRamContainers(ProgramState& state, BlockView& view);

// The commands the window opens with: the listings and Save RAM only when projectors
// are connected after a search; Load and Append always.
ViewCommands OpeningCommands(const ProgramState& state, bool searchSkipped);

// The window's command ids.
constexpr int kCmdSaveRam = 40083;
constexpr int kCmdLoadRam = 40084;
constexpr int kCmdNoEffect = 40085;
constexpr int kCmdAppendRam = 40086;
constexpr int kCmdSettings = 40100;
constexpr int kCmdListProjectorBlocks = 40121;
constexpr int kCmdListRamBlocks = 40122;
constexpr int kCmdCheckConnection = 40047;
constexpr int kCmdNewGroup = 40082;
constexpr int kCmdDeleteGroup = 40090;
constexpr int kCmdRenameGroup = 40091;
constexpr int kCmdSaveGrouping = 40098;
constexpr int kCmdLoadGrouping = 40099;
// The first and last commands of the settings view.
constexpr int kCmdSettingsViewFirst = 40052;
constexpr int kCmdSettingsViewLast = 40081;
// The block pop-up menu.
constexpr int kCmdPopupDelete = 40093;
constexpr int kCmdPopupUndelete = 40094;
constexpr int kCmdPopupSelectAll = 40096;
constexpr int kCmdPopupAdjustment = 40097;
constexpr int kCmdPopupReference = 40101;
constexpr int kCmdPopupConvert = 40123;
// A RAM block to every member of a group (the RAM list's pop-up only).
constexpr int kCmdPopupCopyToGroup = 40125;

}  // namespace ombrix
