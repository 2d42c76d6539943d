#include "blocks/BlockOperations.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "blocks/RamContainer.h"
#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr size_t Index(int i) { return static_cast<size_t>(i); }
constexpr int kMaxDragRows = 100;

const char kCopyText[] =
    "1. Press \"Overwrite All\" to overwrite settings block + header     2. Press \"Overwrite Settings\" to "
    "overwrite only the settings       3. Press \"Cancel\" to abort the operation";
const char kDeleteText[] =
    "1. To delete the entire block from memory, press \"Delete\"\n2. To free the block, press \"Free\"\n3. To "
    "abort the operation, press \"Cancel\"";
const char kNotAllListed[] = "Blocks can't be written to this projector: not all of its blocks are listed";

ProjectorRecord* CurrentRecord(ProgramState& s) {
    ProjectorTable& t = s.projectors;
    if (t.connectedCount <= 0 || t.currentProjectorIndex < 0 || t.currentProjectorIndex >= t.connectedCount) {
        return nullptr;
    }
    return &t.records[Index(t.currentProjectorIndex)];
}

bool LongVariant(const ProgramState& s) { return s.blocks.geometry.headerVariant == 2; }

size_t BlockLength(const ProgramState& s) {
    const int L = s.blocks.geometry.blockLength;
    return L >= 1 && L <= kBlockBodySize ? static_cast<size_t>(L) : 0;
}

bool Ask(const ProgramState& s, const std::string& text) {
    return s.env.ui && s.env.ui->AskYesNo("Confirmation", text);
}

void Warn(const ProgramState& s, const std::string& text) {
    if (s.env.ui) s.env.ui->ShowBox("Warning", text, BoxIcon::Exclamation);
}

int ChooseCopy(const ProgramState& s) {
    if (!s.env.ui) return kButtonCancel;
    return s.env.ui->Choose("COPYBOX", "Confirmation", kCopyText,
                            {{kButtonOverwriteAll, "Overwrite &All"},
                             {kButtonOverwriteSettings, "Overwrite &Settings"},
                             {kButtonCancel, "&Cancel"}},
                            kButtonOverwriteAll, kButtonCancel);
}

int ChooseDelete(const ProgramState& s) {
    if (!s.env.ui) return kButtonCancel;
    return s.env.ui->Choose("DELETEBOX", "Delete block", kDeleteText,
                            {{kButtonDelete, "&Delete"}, {kButtonFree, "&Free"}, {kButtonCancel, "&Cancel"}},
                            kButtonDelete, kButtonCancel);
}

// The block under this header into body (zero past L); the result reported.
int ReadBlock(ProgramState& s, const ProjectorRecord& cur, const BlockHeader& h, BlockBody* body) {
    const size_t L = BlockLength(s);
    if (!L) return kNoAck;
    uint8_t wire[4];
    WireHeader(h, LongVariant(s), wire);
    BlockBody buffer{};
    const int r = ReadBlockData(s.link, cur.address, buffer.data(), wire[0], wire[1], wire[2], wire[3], L);
    ReportCommError(s.env, s.link, r);
    if (r == kDone) {
        body->fill(0);
        std::copy(buffer.begin(), buffer.begin() + static_cast<long>(L), body->begin());
    }
    return r;
}

int WriteBlock(ProgramState& s, const ProjectorRecord& cur, const BlockHeader& h, const BlockBody& body) {
    const size_t L = BlockLength(s);
    if (!L) return kNoAck;
    uint8_t wire[4];
    WireHeader(h, LongVariant(s), wire);
    const int r = WriteBlockData(s.link, cur.address, body.data(), wire[0], wire[1], wire[2], wire[3], L);
    ReportCommError(s.env, s.link, r);
    return r;
}

int Free(ProgramState& s, const ProjectorRecord& cur, const BlockHeader& h) {
    uint8_t wire[4];
    WireHeader(h, LongVariant(s), wire);
    const int r = FreeBlock(s.link, cur.address, wire[0], wire[1], wire[2], wire[3]);
    ReportCommError(s.env, s.link, r);
    return r;
}

void UpdateActive(const ProgramState& s, const BlockView& view, ProjectorBlock& b) {
    if (b.specialKind != 0) return;
    uint8_t wire[4];
    WireHeader(b.header, LongVariant(s), wire);
    b.active = view.locationKnown && std::memcmp(wire, view.location, 4) == 0 ? 1 : 0;
}

bool IsUniqueInProjector(const ProgramState& s, const BlockHeader& h, int except = -1) {
    return HeaderIsUnique(s.blocks, h.fh, h.fv, h.source, h.config, s.blocks.projectorRowCount, except);
}

// Only ordinary rows take copies: a special row may look free but is no free block.
int FirstFreeOrdinaryRow(const ProgramState& s) {
    const int n = std::min(s.blocks.geometry.blockCount, s.blocks.projectorRowCount);
    for (int i = 0; i < n; ++i) {
        const ProjectorBlock& b = s.blocks.projectorBlocks[Index(i)];
        if (b.specialKind == 0 && HeaderIsFree(b.header, b.longHeader != 0)) return i;
    }
    return -1;
}

int CountFreeOrdinaryRows(const ProgramState& s, int enough) {
    int free = 0;
    const int n = std::min(s.blocks.geometry.blockCount, s.blocks.projectorRowCount);
    for (int i = 0; i < n && free < enough; ++i) {
        const ProjectorBlock& b = s.blocks.projectorBlocks[Index(i)];
        if (b.specialKind == 0 && HeaderIsFree(b.header, b.longHeader != 0)) ++free;
    }
    return free;
}

// The rows an operation works on: the collected rows in multi-select mode, else the
// first selected one.
std::vector<int> OperationRows(const ProgramState& s, const BlockView& view, BlockListKind list) {
    const BlockListModel& l = view.List(list);
    if (view.multiSelect) return CollectSelectedRows(s, l);
    const int count = list == BlockListKind::Projector ? s.blocks.projectorRowCount : s.blocks.ramRowCount;
    const int first = FindFirstSelected(l, count);
    if (first < 0) return {};
    return {first};
}

void DropOnRam(ProgramState& s, BlockView& view, const std::vector<int>& rows, int source, int dropRow) {
    ProjectorRecord* cur = CurrentRecord(s);
    BlockTables& t = s.blocks;
    if (!cur) return;
    if (source < 0 || source >= t.projectorRowCount) {
        ShowError(s.env, 6);
        return;
    }
    if (dropRow < 0 || dropRow >= t.ramRowCount) {
        ShowError(s.env, 10);
        return;
    }
    ProjectorBlock& block = t.projectorBlocks[Index(source)];
    RAMBlock& target = t.ramBlocks[Index(dropRow)];
    if (target.containerTitle) {
        if (target.projectorType != block.projectorType) {
            ShowWarning(s.env, 7);
            return;
        }
        if (Ask(s, "Are you sure you want to add this item ?")) AddBlocksToRam(s, view, rows);
        return;
    }
    if (block.specialKind != 0) {
        ShowError(s.env, 9);
        return;
    }
    const int choice = ChooseCopy(s);
    if (choice != kButtonOverwriteAll && choice != kButtonOverwriteSettings) return;
    if (target.projectorType != block.projectorType) {
        ShowWarning(s.env, choice == kButtonOverwriteAll ? 8 : 9);
        return;
    }
    BlockBody body{};
    if (ReadBlock(s, *cur, block.header, &body) != kDone) return;
    if (choice == kButtonOverwriteAll) {
        target.header = block.header;
        target.specialKind = block.specialKind;
        target.serial = cur->idNumber;
        target.alphaId = cur->alphaId;
    }
    target.longHeader = block.longHeader;
    target.fhBase = block.fhBase;
    target.fvBase = block.fvBase;
    target.body = body;
}

void DropOnProjector(ProgramState& s, BlockView& view, int source, int dropRow) {
    ProjectorRecord* cur = CurrentRecord(s);
    BlockTables& t = s.blocks;
    if (!cur) return;
    if (source < 0 || source >= t.ramRowCount) {
        ShowError(s.env, 6);
        return;
    }
    if (dropRow < 0 || dropRow >= t.projectorRowCount) {
        ShowError(s.env, 10);
        return;
    }
    const RAMBlock& ram = t.ramBlocks[Index(source)];
    ProjectorBlock& drop = t.projectorBlocks[Index(dropRow)];
    if (ram.containerTitle) {
        ShowWarning(s.env, 12);
        return;
    }
    if (ram.projectorType != drop.projectorType) {
        ShowWarning(s.env, 13);
        return;
    }
    if (ram.specialKind != 0) {
        ShowWarning(s.env, 11);
        return;
    }
    if (!GeometryAllowsTransfers(t.geometry)) {
        Warn(s, kNotAllListed);
        return;
    }
    const int choice = ChooseCopy(s);
    if (choice != kButtonOverwriteAll && choice != kButtonOverwriteSettings) return;
    if (drop.specialKind != 0) return;
    if (choice == kButtonOverwriteSettings) {
        if (WriteBlock(s, *cur, drop.header, ram.body) != kDone) return;
        drop.longHeader = ram.longHeader;
        drop.body = ram.body;
        return;
    }
    if (!IsUniqueInProjector(s, ram.header)) {
        ShowWarning(s.env, 10);
        return;
    }
    // An in-use block is freed first, whatever its bytes look like: the free bit of its
    // own variant decides, not the value of the second wire byte.
    if (!HeaderIsFree(drop.header, drop.longHeader != 0)) {
        if (Free(s, *cur, drop.header) != kDone) return;
        // Freed on the projector: shown free even if the write that follows fails, so
        // the block can still be undeleted.
        SetHeaderFree(drop.header, drop.longHeader != 0, true);
        UpdateActive(s, view, drop);
    }
    if (WriteBlock(s, *cur, ram.header, ram.body) != kDone) return;
    drop.header = ram.header;
    drop.longHeader = ram.longHeader;
    drop.body = ram.body;
    UpdateActive(s, view, drop);
}

void SelectFor(ProgramState& s, BlockView& view, BlockListKind list, BlockSelection& sel, int warning) {
    BlockTables& t = s.blocks;
    const int count = list == BlockListKind::Projector ? t.projectorRowCount : t.ramRowCount;
    const int first = FindFirstSelected(view.List(list), count);
    if (first < 0 || (list == BlockListKind::Ram && t.ramBlocks[Index(first)].containerTitle)) {
        ShowWarning(s.env, warning);
        return;
    }
    const int previousIcon = view.List(list).rows[Index(first)].icon;
    if (list == BlockListKind::Projector) {
        const int index = s.projectors.currentProjectorIndex;
        const ProjectorRecord* cur = CurrentRecord(s);
        if (!cur) return;
        if (sel.projectorIndex >= 0 && sel.projectorIndex == index && sel.row == first) {
            sel = BlockSelection{};
        } else {
            ProjectorBlock& b = t.projectorBlocks[Index(first)];
            // The list never holds bodies; the selection takes what the projector stores
            // now. A block that cannot be read is not selected.
            BlockBody body{};
            if (ReadBlock(s, *cur, b.header, &body) != kDone) return;
            b.body = body;
            sel = BlockSelection{};
            sel.row = first;
            sel.projectorIndex = index;
            sel.previousImage = previousIcon;
            sel.address = cur->address;
            sel.projectorType = cur->projectorType;
            sel.alphaId = cur->alphaId;
            sel.body = b.body;
            sel.specialKind = b.specialKind;
            WireHeader(b.header, LongVariant(s), sel.wireHeader);
        }
    } else if (sel.NamesRamRow() && sel.row == first) {
        sel = BlockSelection{};
    } else {
        const RAMBlock& b = t.ramBlocks[Index(first)];
        sel = BlockSelection{};
        sel.row = first;
        sel.projectorIndex = -1;
        sel.previousImage = previousIcon;
        sel.address = 0;
        sel.projectorType = b.projectorType;
        sel.alphaId = b.alphaId;
        sel.body = b.body;
        sel.specialKind = b.specialKind;
        WireHeader(b.header, b.longHeader != 0, sel.wireHeader);
    }
}

}  // namespace

void SetMultiSelect(BlockView& view) { view.multiSelect = true; }

bool StartDrag(ProgramState& s, BlockView& view, BlockListKind list, int row) {
    view.dragging = false;
    view.dragRows.clear();
    BlockTables& t = s.blocks;
    const int count = list == BlockListKind::Projector ? t.projectorRowCount : t.ramRowCount;
    if (row < 0 || row >= count) {
        ShowError(s.env, 6);
        return false;
    }
    if (list == BlockListKind::Ram && t.ramBlocks[Index(row)].containerTitle) return false;
    std::vector<int> rows;
    if (view.multiSelect) {
        BlockListModel& l = view.List(list);
        if (list == BlockListKind::Projector && view.selectAllPending) {
            for (size_t i = 0; i < l.rows.size() && static_cast<int>(i) < count; ++i) l.rows[i].selected = true;
        }
        bool titleSelected = false;
        for (int i = 0; list == BlockListKind::Ram && i < count && i < static_cast<int>(l.rows.size()); ++i) {
            titleSelected = titleSelected || (l.rows[Index(i)].selected && t.ramBlocks[Index(i)].containerTitle);
        }
        rows = CollectSelectedRows(s, l);
        if (titleSelected || rows.size() < 2 || rows.size() > static_cast<size_t>(kMaxDragRows)) {
            view.multiSelect = false;
            view.selectAllPending = false;
            return false;
        }
    }
    view.dragging = true;
    view.dragFrom = list;
    view.dragRow = row;
    view.dragRows = std::move(rows);
    return true;
}

void CancelDrag(BlockView& view) {
    view.dragging = false;
    view.dragRows.clear();
    view.multiSelect = false;
    view.selectAllPending = false;
    view.projectorList.dropRow = -1;
    view.ramList.dropRow = -1;
}

void DropBlocks(ProgramState& s, BlockView& view, int dropRow) {
    if (!view.dragging) return;
    const bool multi = view.multiSelect;
    const BlockListKind from = view.dragFrom;
    const int source = view.dragRow;
    const std::vector<int> rows = multi ? view.dragRows : std::vector<int>{source};
    CancelDrag(view);
    if (from == BlockListKind::Projector) {
        DropOnRam(s, view, rows, source, dropRow);
    } else if (multi) {
        CopyRamRowsToFreeBlocks(s, view, rows);
    } else {
        DropOnProjector(s, view, source, dropRow);
    }
    RefreshBlockLists(s, view);
}

AddToRamResult AddBlocksToRam(ProgramState& s, BlockView& view, const std::vector<int>& projectorRows) {
    AddToRamResult result;
    ProjectorRecord* cur = CurrentRecord(s);
    BlockTables& t = s.blocks;
    if (!cur) return result;
    for (int row : projectorRows) {
        if (row < 0 || row >= t.projectorRowCount) {
            ShowError(s.env, 6);
            ++result.failed;
            continue;
        }
        if (t.ramRowCount >= kRamRowCapacity) {
            ShowWarning(s.env, 6);
            ++result.refused;
            continue;
        }
        ProjectorBlock& block = t.projectorBlocks[Index(row)];
        const int k = FindContainer(t, block.projectorType);
        if (k < 0) {
            ShowWarning(s.env, 7);
            ++result.failed;
            continue;
        }
        BlockBody body{};
        if (ReadBlock(s, *cur, block.header, &body) != kDone) {
            ++result.failed;
            // Said once; every later read would fail the same way.
            if (LineLost(s.link)) {
                result.lineLost = true;
                break;
            }
            continue;
        }
        RAMBlock fresh;
        fresh.header = block.header;
        fresh.specialKind = block.specialKind;
        fresh.longHeader = block.longHeader;
        fresh.fhBase = block.fhBase;
        fresh.fvBase = block.fvBase;
        fresh.containerTitle = 0;
        fresh.projectorType = block.projectorType;
        fresh.serial = cur->idNumber;
        fresh.alphaId = cur->alphaId;
        fresh.body = body;
        block.body = body;
        const int at = t.ramContainerCount > 1 ? ContainerEndRow(t, k) : t.ramRowCount;
        t.ramBlocks[Index(t.ramRowCount)] = fresh;
        if (t.ramContainerCount > 1) MoveRowIntoContainer(t, block.projectorType);
        ++t.ramRowCount;
        InsertBlockRow(s, view.ramList, at);
        ++result.added;
    }
    RefreshBlockLists(s, view);
    return result;
}

CopyToFreeResult CopyRamRowsToFreeBlocks(ProgramState& s, BlockView& view, const std::vector<int>& ramRows) {
    CopyToFreeResult result;
    ProjectorRecord* cur = CurrentRecord(s);
    BlockTables& t = s.blocks;
    if (!cur || ramRows.empty()) return result;
    for (int row : ramRows) {
        if (row < 0 || row >= t.ramRowCount) {
            ShowError(s.env, 6);
            return result;
        }
        if (t.ramBlocks[Index(row)].containerTitle) {
            ShowWarning(s.env, 12);
            return result;
        }
        if (t.ramBlocks[Index(row)].projectorType != cur->projectorType) {
            ShowWarning(s.env, 13);
            return result;
        }
    }
    // Written under its own header a special block would land on the projector's special
    // block, not in a free one.
    for (int row : ramRows) {
        if (t.ramBlocks[Index(row)].specialKind != 0) {
            ShowWarning(s.env, 11);
            return result;
        }
    }
    if (!GeometryAllowsTransfers(t.geometry)) {
        Warn(s, kNotAllListed);
        return result;
    }
    if (!Ask(s, "Are you sure you want to copy all of the selected blocks to the free blocks")) return result;
    const int wanted = static_cast<int>(ramRows.size());
    if (CountFreeOrdinaryRows(s, wanted) < wanted) {
        ShowWarning(s.env, 14);
        return result;
    }
    result.confirmed = true;
    std::vector<int> rows = ramRows;
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        const RAMBlock& ram = t.ramBlocks[Index(row)];
        if (!IsUniqueInProjector(s, ram.header)) {
            result.duplicates.push_back(row);
            continue;
        }
        if (result.lineLost) {
            result.failed.push_back(row);
            continue;
        }
        const int f = FirstFreeOrdinaryRow(s);
        if (f < 0 || WriteBlock(s, *cur, ram.header, ram.body) != kDone) {
            result.failed.push_back(row);
            result.lineLost = LineLost(s.link) != 0;
            continue;
        }
        ProjectorBlock& block = t.projectorBlocks[Index(f)];
        block.header = ram.header;
        block.longHeader = ram.longHeader;
        block.body = ram.body;
        UpdateActive(s, view, block);
        result.written.push_back(row);
    }
    if (!result.duplicates.empty()) {
        Warn(s, "Unable to copy all blocks, found " + std::to_string(result.duplicates.size()) +
                    " blocks, matching headers of projectorblocks");
    }
    RefreshBlockLists(s, view);
    return result;
}

bool CopyRamRowToFreeBlock(ProgramState& s, BlockView& view, int ramRow, std::string* detail) {
    ProjectorRecord* cur = CurrentRecord(s);
    BlockTables& t = s.blocks;
    auto no = [&](const char* why) {
        *detail = why;
        return false;
    };
    if (!cur) return no("not connected");
    if (ramRow < 0 || ramRow >= t.ramRowCount || t.ramBlocks[Index(ramRow)].containerTitle ||
        t.ramBlocks[Index(ramRow)].specialKind != 0) {
        return no("no ordinary block chosen");
    }
    const RAMBlock ram = t.ramBlocks[Index(ramRow)];
    if (ram.projectorType != cur->projectorType) return no("another projector type");
    if (!GeometryAllowsTransfers(t.geometry)) return no("not all of its blocks are listed");
    const size_t L = BlockLength(s);
    for (int i = 0; i < t.projectorRowCount; ++i) {
        const ProjectorBlock& b = t.projectorBlocks[Index(i)];
        if (b.specialKind != 0 || !(b.header == ram.header)) continue;
        // The list holds headers only: the bytes are asked of the projector.
        BlockBody held{};
        if (ReadBlock(s, *cur, b.header, &held) != kDone) return no("holds a block under this header that could not be read");
        if (std::equal(held.begin(), held.begin() + static_cast<long>(L), ram.body.begin())) {
            *detail = "holds this block already";
            return true;
        }
        return no("holds another block under this header; not overwritten");
    }
    const int f = FirstFreeOrdinaryRow(s);
    if (f < 0) return no("no free block");
    const int w = WriteBlock(s, *cur, ram.header, ram.body);
    if (w != kDone) return no(LineLost(s.link) ? "the line was lost" : w == kNacked ? "refused the block (NACK)" : "no answer");
    ProjectorBlock& block = t.projectorBlocks[Index(f)];
    block.header = ram.header;
    block.longHeader = ram.longHeader;
    block.body = ram.body;
    UpdateActive(s, view, block);
    // An acknowledgement says the bytes arrived, not that they were kept.
    BlockBody back{};
    if (ReadBlock(s, *cur, ram.header, &back) != kDone) return no("written, but it could not be read back");
    if (!std::equal(back.begin(), back.begin() + static_cast<long>(L), ram.body.begin()))
        return no("written, but what it reads back differs");
    *detail = "written and read back the same";
    return true;
}

void DeleteBlocks(ProgramState& s, BlockView& view, BlockListKind list) {
    BlockTables& t = s.blocks;
    const std::vector<int> rows = OperationRows(s, view, list);
    if (list == BlockListKind::Projector) {
        ProjectorRecord* cur = CurrentRecord(s);
        if (cur && !rows.empty() && Ask(s, "Are you sure you want to delete the selected block ??")) {
            for (int row : rows) {
                ProjectorBlock& b = t.projectorBlocks[Index(row)];
                if (b.specialKind != 0 || HeaderIsFree(b.header, b.longHeader != 0)) continue;
                if (Free(s, *cur, b.header) != kDone) continue;
                SetHeaderFree(b.header, b.longHeader != 0, true);
                UpdateActive(s, view, b);
            }
        }
    } else {
        const int first = FindFirstSelected(view.ramList, t.ramRowCount);
        if (first > 0 && !t.ramBlocks[Index(first)].containerTitle) {
            const int choice = ChooseDelete(s);
            if (choice == kButtonDelete) {
                for (auto it = rows.rbegin(); it != rows.rend(); ++it) DeleteRamRow(s, view, *it);
            } else if (choice == kButtonFree) {
                if (t.ramBlocks[Index(first)].specialKind != 0) {
                    ShowWarning(s.env, 20);
                } else {
                    for (int row : rows) {
                        RAMBlock& b = t.ramBlocks[Index(row)];
                        if (b.containerTitle || b.specialKind != 0) continue;
                        SetHeaderFree(b.header, b.longHeader != 0, true);
                    }
                }
            }
        }
    }
    view.multiSelect = false;
    view.selectAllPending = false;
    RefreshBlockLists(s, view);
}

void UndeleteBlocks(ProgramState& s, BlockView& view, BlockListKind list) {
    BlockTables& t = s.blocks;
    const std::vector<int> rows = OperationRows(s, view, list);
    if (list == BlockListKind::Projector) {
        ProjectorRecord* cur = CurrentRecord(s);
        if (!cur || rows.empty()) return;
        if (!GeometryAllowsTransfers(t.geometry)) {
            Warn(s, kNotAllListed);
            return;
        }
        if (!Ask(s, "Are you sure you want to undelete the specific block ?")) return;
        int failures = 0;
        for (int row : rows) {
            ProjectorBlock& b = t.projectorBlocks[Index(row)];
            const bool longHeader = b.longHeader != 0;
            if (b.specialKind != 0 || !HeaderIsFree(b.header, longHeader)) continue;
            // Without its bytes the block would be written back with whatever the buffer held.
            BlockBody body{};
            if (ReadBlock(s, *cur, b.header, &body) != kDone) continue;
            b.body = body;
            BlockHeader undeleted = b.header;
            SetHeaderFree(undeleted, longHeader, false);
            if (!IsUniqueInProjector(s, undeleted, row)) {
                ++failures;
                continue;
            }
            if (WriteBlock(s, *cur, undeleted, body) != kDone) continue;
            b.header = undeleted;
            UpdateActive(s, view, b);
        }
        if (failures) {
            Warn(s, "Unable to undelete all blocks, found " + std::to_string(failures) +
                        " blocks, matching headers of projectorblocks");
        }
    } else {
        const int first = FindFirstSelected(view.ramList, t.ramRowCount);
        if (first <= 0) return;
        if (t.ramBlocks[Index(first)].specialKind != 0) {
            ShowWarning(s.env, 21);
            return;
        }
        if (!Ask(s, "Sure you want to undelete the block ?")) return;
        for (int row : rows) {
            RAMBlock& b = t.ramBlocks[Index(row)];
            if (b.containerTitle || b.specialKind != 0) continue;
            if (HeaderIsFree(b.header, b.longHeader != 0)) SetHeaderFree(b.header, b.longHeader != 0, false);
        }
    }
    RefreshBlockLists(s, view);
}

void SelectForAdjustment(ProgramState& s, BlockView& view, BlockListKind list) {
    SelectFor(s, view, list, s.blocks.adjustment, 22);
    view.settingsEnabled = s.blocks.adjustment.row >= 0;
    RefreshBlockLists(s, view);
}

void SelectForReference(ProgramState& s, BlockView& view, BlockListKind list) {
    SelectFor(s, view, list, s.blocks.reference, 23);
    RefreshBlockLists(s, view);
}

void SelectAll(ProgramState& s, BlockView& view, BlockListKind list) {
    view.multiSelect = true;
    view.selectAllPending = true;
    BlockListModel& l = view.List(list);
    const int count = list == BlockListKind::Projector ? s.blocks.projectorRowCount : s.blocks.ramRowCount;
    const int from = list == BlockListKind::Ram ? 1 : 0;
    for (int row = 0; row < static_cast<int>(l.rows.size()); ++row) {
        l.rows[Index(row)].selected = row >= from && row < count;
    }
}

}  // namespace ombrix
