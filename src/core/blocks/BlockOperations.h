#pragma once
// What the user does with blocks in the communication window: dragging rows between the
// projector list and the RAM list, deleting, freeing and undeleting, and marking a block
// for adjustment or reference. Every command goes to the current projector; a command
// that fails leaves the tables as they were.
#include <vector>

#include "app/Program.h"
#include "blocks/BlockList.h"

namespace ombrix {

// COPYBOX and DELETEBOX button ids.
constexpr int kButtonOverwriteAll = 1043;
constexpr int kButtonOverwriteSettings = 1009;
constexpr int kButtonCancel = 1088;
constexpr int kButtonDelete = 1100;
constexpr int kButtonFree = 1043;

// Ctrl or Shift in a block list.
void SetMultiSelect(BlockView& view);

// A drag from a row of either list. False when none starts: a RAM title row; in
// multi-select mode fewer than 2 or more than 100 rows, or a RAM title row among them (a
// refused multi-row drag ends multi-select mode, so a single row can be dragged again).
bool StartDrag(ProgramState& s, BlockView& view, BlockListKind list, int row);
// Released anywhere but over the other list.
void CancelDrag(BlockView& view);
// Released over row dropRow of the other list.
void DropBlocks(ProgramState& s, BlockView& view, int dropRow);

void DeleteBlocks(ProgramState& s, BlockView& view, BlockListKind list);
void UndeleteBlocks(ProgramState& s, BlockView& view, BlockListKind list);
// Marking a block for adjustment or reference: a projector block is read from the
// projector first and is marked only when the read succeeds.
void SelectForAdjustment(ProgramState& s, BlockView& view, BlockListKind list);
void SelectForReference(ProgramState& s, BlockView& view, BlockListKind list);
void SelectAll(ProgramState& s, BlockView& view, BlockListKind list);

// The work of a drop on a container's title row, after its question: each projector row
// read into a new RAM row of the container of its type.
struct AddToRamResult {
    int added = 0;
    int refused = 0;  // the RAM container was full (warning 6)
    int failed = 0;   // the read failed
    bool lineLost = false;  // the line went: the rows after it were not tried
};
AddToRamResult AddBlocksToRam(ProgramState& s, BlockView& view, const std::vector<int>& projectorRows);

// The several-rows drop onto the projector list, question included: the RAM rows go into
// the projector's free blocks, or nothing is written when they are too few.
struct CopyToFreeResult {
    bool confirmed = false;  // asked and answered Yes, and enough free blocks
    std::vector<int> written;     // RAM rows written and acknowledged
    std::vector<int> duplicates;  // RAM rows whose header the projector already holds
    std::vector<int> failed;      // RAM rows whose write failed, or not tried once the line went
    bool lineLost = false;
};
CopyToFreeResult CopyRamRowsToFreeBlocks(ProgramState& s, BlockView& view, const std::vector<int>& ramRows);

// One RAM row (an ordinary block of the current projector's type) into a free block of
// the current projector, without a question, then read back and compared. Nothing is
// overwritten: a block under the same header is left as it is. True when the projector
// holds the block afterwards (written and read back the same, or there already);
// *detail says what came of it in words.
bool CopyRamRowToFreeBlock(ProgramState& s, BlockView& view, int ramRow, std::string* detail);

}  // namespace ombrix
