#pragma once
// The blocks of the current projector and the RAM container as the communication window
// lists them: reading a projector's header table, building the projector table from it,
// the RAM containers' title rows, and the two lists as core models (icon, six cells and
// selection per row) that a view shows as they are.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"
#include "blocks/BlockModel.h"
#include "blocks/ListToText.h"
#include "data/Description.h"
#include "data/Formatting.h"

namespace ombrix {

enum class BlockListKind { Projector = 2, Ram = 3 };

// The icons of the two lists.
enum BlockIcon : int {
    kIconBlock = 0,
    kIconActive,
    kIconFree,
    kIconSpecial,
    kIconAdjustment,
    kIconReference,
    kIconRamBlock,
    kIconRamFree,
    kIconRamSpecial,
    kIconContainer,
    kIconRamAdjustment,
    kIconRamReference,
};

struct BlockListRow {
    int icon = kIconBlock;
    BlockRowTexts cells;
    bool selected = false;
};

// Row i of a list is row i of its table. The view writes the user's selection into
// `selected` (and the drop target into dropRow); everything else is written here, and
// after any operation the view shows the model again as it is.
struct BlockListModel {
    BlockListKind kind = BlockListKind::Projector;
    std::vector<BlockListRow> rows;
    int dropRow = -1;
};

// What the block lists of one communication window keep besides the tables.
struct BlockView {
    BlockListModel projectorList{BlockListKind::Projector, {}, -1};
    BlockListModel ramList{BlockListKind::Ram, {}, -1};

    bool multiSelect = false;
    bool selectAllPending = false;
    bool settingsEnabled = false;  // the Settings command (40100) follows the adjustment selection

    // The drag in progress: the list it started in, the row under the mouse, and in
    // multi-select mode the collected rows.
    bool dragging = false;
    BlockListKind dragFrom = BlockListKind::Projector;
    int dragRow = -1;
    std::vector<int> dragRows;

    // The projector's current input header as ReadLocation last answered it.
    bool locationKnown = false;
    uint8_t location[4] = {0, 0, 0, 0};

    BlockListModel& List(BlockListKind k) { return k == BlockListKind::Projector ? projectorList : ramList; }
    const BlockListModel& List(BlockListKind k) const {
        return k == BlockListKind::Projector ? projectorList : ramList;
    }
};

BlockRowTexts BlockListHeadings(BlockListKind kind);

// The four header bytes a command carries: fh, source, config, fv in the short variant;
// fh, fv, source, config in the long one.
void WireHeader(const BlockHeader& header, bool longHeader, uint8_t out[4]);
// A special block's header from its kind's wire bytes; signal type and orientation zero.
BlockHeader HeaderFromWire(const uint8_t wire[4], bool longHeader);
bool HeaderIsFree(const BlockHeader& header, bool longHeader);
void SetHeaderFree(BlockHeader& header, bool longHeader, bool free);
bool SameHeaderFields(const BlockHeader& a, const BlockHeader& b);

// "None": type 255, every count -1.
void ResetBlockGeometry(BlockGeometry& g);
// From the description and the projector record (its blockTotal); without a record the
// default description is in force and no projector is open. Rows that do not fit the
// 40-row table, or whose header record lies beyond the header table's one block, are not
// listed and counted in cutRows; a block length outside 1-240 lists nothing.
void SetBlockGeometry(BlockGeometry& g, const Description& d, const ProjectorRecord* record);
// Block transfers are possible: a usable block length and every block listed.
bool GeometryAllowsTransfers(const BlockGeometry& g);

// Reads the projector's header table into the headers of the ordinary rows, its status,
// and the special-block entries of its record. The header table's command result.
int ReadBlockHeaders(ProgramState& s, int projectorIndex, const Description& d);

// The projector table of the current projector, listed: its location, header table,
// ordinary rows, then its special rows. Only for a connected projector not in standby.
// A header table that could not be read lists nothing, so no row ever carries another
// projector's header. False when nothing is listed.
bool BuildProjectorBlocks(ProgramState& s, BlockView& view, const Description& d);
// The projector list no longer describes the current projector.
void ClearProjectorBlocks(ProgramState& s, BlockView& view);

// Rows of the models: a new row at `row` (the rows below move down with their selection),
// a row's icon and cells again, the first count rows anew. FillBlockList shows "ListView
// in Window II not created!" / "... III ..." when a row cannot be made.
bool InsertBlockRow(ProgramState& s, BlockListModel& list, int row);
void RefreshBlockRow(ProgramState& s, BlockListModel& list, int row);
bool FillBlockList(ProgramState& s, BlockListModel& list, int count);
// Both lists to their tables' row counts, every icon and cell recomputed, selections kept.
void RefreshBlockLists(ProgramState& s, BlockView& view);

// One RAM container per distinct type of the connected projectors, each with its title
// row; false when no projector is connected. A RAM container that holds rows is kept.
bool BuildRamContainers(ProgramState& s, BlockView* view);
// A container for the projector's type; false when none could be made (300 rows used).
bool EnsureRamContainer(ProgramState& s, BlockView* view, int projectorIndex);
// The first row of the container whose run holds the row, 0 when none; with shrink the
// later containers start a row earlier.
int ContainerFirstRow(BlockTables& t, int row, bool shrink);
// Rows row+1 ... ramRowCount-1 move one up; the caller counts the row away.
void RemoveRamRow(BlockTables& t, int row);
// A RAM block row away with its list row, the container bounds and both selections
// following. False for a title row or a row that is not there.
bool DeleteRamRow(ProgramState& s, BlockView& view, int row);

int FindFirstSelected(const BlockListModel& list, int count);
// Selected rows in ascending order, at most 300: RAM title rows and rows past the tables'
// counts are not taken.
std::vector<int> CollectSelectedRows(const ProgramState& s, const BlockListModel& list);
// None of the first count projector rows (but `except`) has these four fields.
bool HeaderIsUnique(const BlockTables& t, uint8_t fh, uint8_t fv, uint8_t source, uint8_t config, int count,
                    int except = -1);

// A list as the text listing takes it; markActive ends the first cell of the active
// projector row with " *".
ListModel BlockListToText(const ProgramState& s, const BlockListModel& list, bool markActive);
// The caption of a list's pane: "Overview Blocks in Projector with address N" (empty while
// no projector is connected) or "Overview Blocks in RAM-container".
std::string BlockPaneCaption(const ProgramState& s, BlockListKind kind);
// "Convert to text" and the two listing commands: the list with its listing type and its
// pane caption (at most 50 characters) into the file the save dialog chose.
bool ConvertBlockList(ProgramState& s, const BlockView& view, BlockListKind kind, const std::string& path);

}  // namespace ombrix
