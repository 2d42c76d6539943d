#include "blocks/BlockList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "blocks/RamContainer.h"
#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr size_t Index(int i) { return static_cast<size_t>(i); }

int HeaderRecordSize(int variant) { return variant == 2 || variant == 3 ? 5 : 4; }

bool UsableBlockLength(int length) { return length >= 1 && length <= kBlockBodySize; }

const ProjectorRecord* CurrentRecord(const ProgramState& s) {
    const ProjectorTable& t = s.projectors;
    if (t.connectedCount <= 0 || t.currentProjectorIndex < 0 || t.currentProjectorIndex >= t.connectedCount) {
        return nullptr;
    }
    return &t.records[Index(t.currentProjectorIndex)];
}

bool SelectionMarksProjectorRow(const ProgramState& s, const BlockSelection& sel, int row) {
    return sel.row == row && sel.projectorIndex >= 0 && sel.projectorIndex == s.projectors.currentProjectorIndex;
}

int ProjectorIcon(const ProgramState& s, int row) {
    const ProjectorBlock& b = s.blocks.projectorBlocks[Index(row)];
    if (SelectionMarksProjectorRow(s, s.blocks.adjustment, row)) return kIconAdjustment;
    if (SelectionMarksProjectorRow(s, s.blocks.reference, row)) return kIconReference;
    if (b.specialKind != 0) return kIconSpecial;
    if (b.active) return kIconActive;
    if (HeaderIsFree(b.header, b.longHeader != 0)) return kIconFree;
    return kIconBlock;
}

int RamIcon(const ProgramState& s, int row) {
    const RAMBlock& b = s.blocks.ramBlocks[Index(row)];
    if (b.containerTitle) return kIconContainer;
    if (s.blocks.adjustment.NamesRamRow() && s.blocks.adjustment.row == row) return kIconRamAdjustment;
    if (s.blocks.reference.NamesRamRow() && s.blocks.reference.row == row) return kIconRamReference;
    if (b.specialKind != 0) return kIconRamSpecial;
    if (HeaderIsFree(b.header, b.longHeader != 0)) return kIconRamFree;
    return kIconRamBlock;
}

int TableCount(const ProgramState& s, BlockListKind kind) {
    return kind == BlockListKind::Projector ? std::clamp(s.blocks.projectorRowCount, 0, kProjectorBlockCapacity)
                                            : std::clamp(s.blocks.ramRowCount, 0, kRamRowCapacity);
}

void ShowListFailure(const ProgramState& s, BlockListKind kind) {
    if (!s.env.ui) return;
    s.env.ui->ShowBox("", kind == BlockListKind::Projector ? "ListView in Window II not created!"
                                                           : "ListView in Window III not created!",
                      BoxIcon::None);
}

void SyncRows(ProgramState& s, BlockListModel& list) {
    const int count = TableCount(s, list.kind);
    list.rows.resize(Index(count));
    for (int row = 0; row < count; ++row) RefreshBlockRow(s, list, row);
    if (list.dropRow >= count) list.dropRow = -1;
}

RAMBlock TitleRow(int projectorType) {
    RAMBlock title;
    title.projectorType = projectorType;
    title.containerTitle = 1;
    return title;
}

void ShowNotAllListed(const ProgramState& s) {
    if (!s.env.ui) return;
    s.env.ui->ShowBox("Warning",
                      "Not all blocks of this projector can be listed (the list holds 40 blocks of at most 240 bytes): "
                      "blocks can't be copied to it or undeleted",
                      BoxIcon::Exclamation);
}

void FollowRemovedRow(BlockSelection& sel, int row) {
    if (!sel.NamesRamRow()) return;
    if (sel.row == row) {
        sel = BlockSelection{};
    } else if (sel.row > row) {
        --sel.row;
    }
}

}  // namespace

BlockRowTexts BlockListHeadings(BlockListKind kind) {
    return kind == BlockListKind::Projector ? ProjectorListHeadings() : RamListHeadings();
}

void WireHeader(const BlockHeader& h, bool longHeader, uint8_t out[4]) {
    out[0] = h.fh;
    if (longHeader) {
        out[1] = h.fv, out[2] = h.source, out[3] = h.config;
    } else {
        out[1] = h.source, out[2] = h.config, out[3] = h.fv;
    }
}

BlockHeader HeaderFromWire(const uint8_t wire[4], bool longHeader) {
    BlockHeader h;
    h.fh = wire[0];
    if (longHeader) {
        h.fv = wire[1], h.source = wire[2], h.config = wire[3];
    } else {
        h.source = wire[1], h.config = wire[2], h.fv = wire[3];
    }
    return h;
}

bool HeaderIsFree(const BlockHeader& h, bool longHeader) {
    return longHeader ? (h.config & 0x04) != 0 : (h.source & 0x80) != 0;
}

void SetHeaderFree(BlockHeader& h, bool longHeader, bool free) {
    if (longHeader) {
        h.config = static_cast<uint8_t>(free ? (h.config | 0x04) : (h.config & ~0x04));
        h.flags = free ? (h.flags | 0x04u) : (h.flags & ~0x04u);
    } else {
        h.source = static_cast<uint8_t>(free ? (h.source | 0x80) : (h.source & 0x7F));
    }
}

bool SameHeaderFields(const BlockHeader& a, const BlockHeader& b) {
    return a.fh == b.fh && a.fv == b.fv && a.source == b.source && a.config == b.config;
}

void ResetBlockGeometry(BlockGeometry& g) { g = BlockGeometry{}; }

void SetBlockGeometry(BlockGeometry& g, const Description& d, const ProjectorRecord* record) {
    g = BlockGeometry{};
    g.projectorType =
        record && record->projectorType >= 0 && record->projectorType < 255 ? static_cast<uint8_t>(record->projectorType)
                                                                            : 255;
    g.headerVariant = d.headerVariant;
    g.blockLength = d.blockLength;
    g.noProjector = record ? 0 : 1;
    const int64_t wanted = static_cast<int64_t>(std::max(d.blockCount, 0)) + (record ? record->blockTotal : 0);
    int64_t ordinary = 0, special = 0;
    if (UsableBlockLength(d.blockLength)) {
        const int64_t records = d.blockLength / HeaderRecordSize(d.headerVariant);
        ordinary = std::min<int64_t>({std::max(d.blockCount, 0), records, kProjectorBlockCapacity});
        special = std::min<int64_t>(record ? record->blockTotal : 0, kProjectorBlockCapacity - ordinary);
    }
    g.blockCount = static_cast<int>(ordinary);
    g.rowCount = static_cast<int>(ordinary + special);
    g.cutRows = static_cast<int>(std::min<int64_t>(wanted - g.rowCount, INT32_MAX));
}

bool GeometryAllowsTransfers(const BlockGeometry& g) { return UsableBlockLength(g.blockLength) && g.cutRows == 0; }

int ReadBlockHeaders(ProgramState& s, int projectorIndex, const Description& d) {
    if (projectorIndex < 0 || projectorIndex >= kProjectorTableSize) return kNoAck;
    ProjectorRecord& record = s.projectors.records[Index(projectorIndex)];
    int r = kNoAck;
    if (UsableBlockLength(d.blockLength)) {
        std::array<uint8_t, kBlockBodySize> table{};
        const auto n = static_cast<size_t>(d.blockLength);
        r = ReadBlockData(s.link, record.address, table.data(), 0xFF, 0xFF, 0xFF, 0xFF, n);
        ReportCommError(s.env, s.link, r);
        if (r == kDone) {
            const size_t size = static_cast<size_t>(HeaderRecordSize(d.headerVariant));
            // Only whole records inside the one block read, and only as many as the table holds.
            const int count = static_cast<int>(
                std::min<int64_t>({std::max(d.blockCount, 0), static_cast<int64_t>(n / size), kProjectorBlockCapacity}));
            for (int i = 0; i < count; ++i) {
                const uint8_t* b = table.data() + Index(i) * size;
                BlockHeader h;
                h.fh = b[0];
                if (size == 4) {
                    h.source = b[1], h.config = b[2], h.fv = b[3];
                    h.signalType = static_cast<uint8_t>((b[2] & 0xF0) >> 4);
                    h.orientation = static_cast<uint8_t>(b[2] & 3);
                } else {
                    h.fv = b[1], h.source = b[2], h.config = b[3];
                    h.flags = static_cast<uint32_t>(b[3] & 0x3F) | (static_cast<uint32_t>(b[4]) << 8);
                    h.orientation = static_cast<uint8_t>(b[3] & 3);
                    h.signalType = static_cast<uint8_t>((b[3] >> 3) & 7);
                }
                s.blocks.projectorBlocks[Index(i)].header = h;
            }
        }
    }
    uint32_t optionsValid = 0;
    const int status = ReadStatus(s.link, record.address, &s.statusFlags, &optionsValid);
    ReportCommError(s.env, s.link, status);
    if (status == kDone) CopyStatusFlags(s.statusFlags, &record);
    ApplySpecialBlocks(d, s.statusFlags.extraBlock1, s.statusFlags.extraBlock2, &record);
    return r;
}

void ClearProjectorBlocks(ProgramState& s, BlockView& view) {
    s.blocks.projectorRowCount = 0;
    view.projectorList.rows.clear();
    view.projectorList.dropRow = -1;
    view.locationKnown = false;
}

bool BuildProjectorBlocks(ProgramState& s, BlockView& view, const Description& d) {
    ClearProjectorBlocks(s, view);
    const ProjectorRecord* current = CurrentRecord(s);
    if (!current || current->standby) return false;
    const int index = s.projectors.currentProjectorIndex;

    uint8_t location[4] = {0, 0, 0, 0};
    const int located = ReadLocation(s.link, current->address, location);
    ReportCommError(s.env, s.link, located);
    if (located == kDone) {
        std::memcpy(view.location, location, 4);
        view.locationKnown = true;
    }
    const int read = ReadBlockHeaders(s, index, d);
    const ProjectorRecord& record = s.projectors.records[Index(index)];
    BlockGeometry& g = s.blocks.geometry;
    SetBlockGeometry(g, d, &record);
    if (!UsableBlockLength(g.blockLength)) ShowNotAllListed(s);
    if (read != kDone) return false;

    const bool longHeader = d.headerVariant == 2;
    auto common = [&](ProjectorBlock& b) {
        b.body.fill(0);
        b.projectorType = record.projectorType;
        b.alphaId = record.alphaId;
        b.longHeader = longHeader ? 1 : 0;
        b.active = 0;
    };
    for (int i = 0; i < g.blockCount; ++i) {
        ProjectorBlock& b = s.blocks.projectorBlocks[Index(i)];
        common(b);
        b.specialKind = 0;
        b.fhBase = d.fhBase;
        b.fvBase = d.fvBase;
        uint8_t wire[4];
        WireHeader(b.header, longHeader, wire);
        b.active = view.locationKnown && std::memcmp(wire, view.location, 4) == 0 ? 1 : 0;
    }
    int row = g.blockCount;
    for (size_t k = 0; k < record.blockTypes.size(); ++k) {
        const BlockTypeEntry& entry = record.blockTypes[k];
        for (uint32_t c = 0; c < entry.count && row < g.rowCount; ++c, ++row) {
            ProjectorBlock& b = s.blocks.projectorBlocks[Index(row)];
            common(b);
            b.specialKind = k == 0 ? kFirstSpecialKind : k == 1 ? kSecondSpecialKind : 0;
            b.fhBase = 0;
            b.fvBase = 0;
            b.header = HeaderFromWire(entry.header, longHeader);
        }
    }
    s.blocks.projectorRowCount = g.rowCount;
    if (!FillBlockList(s, view.projectorList, g.rowCount)) {
        ShowError(s.env, 16);
        return false;
    }
    if (g.cutRows > 0) ShowNotAllListed(s);
    return g.rowCount > 0;
}

bool InsertBlockRow(ProgramState& s, BlockListModel& list, int row) {
    const int capacity = list.kind == BlockListKind::Projector ? kProjectorBlockCapacity : kRamRowCapacity;
    if (row < 0 || row > static_cast<int>(list.rows.size()) || static_cast<int>(list.rows.size()) >= capacity) {
        return false;
    }
    list.rows.insert(list.rows.begin() + row, BlockListRow{});
    if (row < TableCount(s, list.kind)) RefreshBlockRow(s, list, row);
    return true;
}

void RefreshBlockRow(ProgramState& s, BlockListModel& list, int row) {
    if (row < 0 || row >= static_cast<int>(list.rows.size()) || row >= TableCount(s, list.kind)) return;
    BlockListRow& r = list.rows[Index(row)];
    if (list.kind == BlockListKind::Projector) {
        r.icon = ProjectorIcon(s, row);
        s.blocks.projectorBlocks[Index(row)].image = r.icon;
        r.cells = ProjectorRowTexts(s.env, s.blocks.projectorBlocks[Index(row)], row);
    } else {
        // A RAM row's own image field is left as its settings file had it, so a file
        // loaded and saved again keeps its bytes.
        r.icon = RamIcon(s, row);
        r.cells = RamRowTexts(s.env, s.blocks, row);
    }
}

bool FillBlockList(ProgramState& s, BlockListModel& list, int count) {
    list.rows.clear();
    list.dropRow = -1;
    for (int row = 0; row < count; ++row) {
        if (!InsertBlockRow(s, list, row)) {
            ShowListFailure(s, list.kind);
            return false;
        }
    }
    return true;
}

void RefreshBlockLists(ProgramState& s, BlockView& view) {
    SyncRows(s, view.projectorList);
    SyncRows(s, view.ramList);
}

bool BuildRamContainers(ProgramState& s, BlockView* view) {
    const ProjectorTable& p = s.projectors;
    if (p.connectedCount <= 0) return false;
    BlockTables& t = s.blocks;
    if (t.ramRowCount > 0) return true;
    t.ramContainerCount = 0;
    for (int i = 0; i < p.connectedCount && i < kProjectorTableSize; ++i) {
        const int type = p.records[Index(i)].projectorType;
        if (FindContainer(t, type) >= 0) continue;
        t.ramContainers[Index(t.ramContainerCount)] = {type, t.ramContainerCount};
        ++t.ramContainerCount;
    }
    for (int k = 0; k < t.ramContainerCount; ++k) {
        t.ramBlocks[Index(t.ramRowCount)] = TitleRow(t.ramContainers[Index(k)].projectorType);
        t.ramContainers[Index(k)].firstRow = t.ramRowCount;
        ++t.ramRowCount;
    }
    if (view && !FillBlockList(s, view->ramList, t.ramRowCount)) return false;
    return true;
}

bool EnsureRamContainer(ProgramState& s, BlockView* view, int projectorIndex) {
    if (projectorIndex < 0 || projectorIndex >= kProjectorTableSize) return false;
    const ProjectorRecord& record = s.projectors.records[Index(projectorIndex)];
    BlockTables& t = s.blocks;
    if (FindContainer(t, record.projectorType) >= 0) return true;
    int unknown = -1;
    for (int k = 0; k < t.ramContainerCount; ++k) {
        const int type = t.ramContainers[Index(k)].projectorType;
        if (type == -1 || type == -2) unknown = k;
    }
    if (unknown >= 0) {
        RAMcontainer& c = t.ramContainers[Index(unknown)];
        c.projectorType = record.projectorType;
        if (c.firstRow >= 0 && c.firstRow < t.ramRowCount) {
            RAMBlock& title = t.ramBlocks[Index(c.firstRow)];
            title.projectorType = record.projectorType;
            title.alphaId = record.alphaId;
            if (view) RefreshBlockRow(s, view->ramList, c.firstRow);
        }
        return true;
    }
    if (t.ramRowCount >= kRamRowCapacity || t.ramContainerCount >= kRamContainerCapacity) return false;
    t.ramContainers[Index(t.ramContainerCount++)] = {record.projectorType, t.ramRowCount};
    t.ramBlocks[Index(t.ramRowCount)] = TitleRow(record.projectorType);
    ++t.ramRowCount;
    if (view) InsertBlockRow(s, view->ramList, t.ramRowCount - 1);
    return true;
}

int ContainerFirstRow(BlockTables& t, int row, bool shrink) {
    const int k = ContainerOfRow(t, row);
    if (k < 0) return 0;
    if (shrink) {
        for (int j = k + 1; j < t.ramContainerCount; ++j) --t.ramContainers[Index(j)].firstRow;
    }
    return t.ramContainers[Index(k)].firstRow;
}

void RemoveRamRow(BlockTables& t, int row) {
    if (row < 0 || row >= t.ramRowCount) return;
    std::move(t.ramBlocks.begin() + row + 1, t.ramBlocks.begin() + t.ramRowCount, t.ramBlocks.begin() + row);
}

bool DeleteRamRow(ProgramState& s, BlockView& view, int row) {
    BlockTables& t = s.blocks;
    if (row <= 0 || row >= t.ramRowCount || t.ramBlocks[Index(row)].containerTitle) return false;
    ContainerFirstRow(t, row, true);
    FollowRemovedRow(t.adjustment, row);
    FollowRemovedRow(t.reference, row);
    if (row < static_cast<int>(view.ramList.rows.size())) view.ramList.rows.erase(view.ramList.rows.begin() + row);
    RemoveRamRow(t, row);
    t.ramBlocks[Index(t.ramRowCount - 1)] = RAMBlock{};
    --t.ramRowCount;
    return true;
}

int FindFirstSelected(const BlockListModel& list, int count) {
    const int n = std::min(count, static_cast<int>(list.rows.size()));
    for (int row = 0; row < n; ++row) {
        if (list.rows[Index(row)].selected) return row;
    }
    return -1;
}

std::vector<int> CollectSelectedRows(const ProgramState& s, const BlockListModel& list) {
    std::vector<int> rows;
    const int n = std::min(TableCount(s, list.kind), static_cast<int>(list.rows.size()));
    for (int row = 0; row < n && static_cast<int>(rows.size()) < kRamRowCapacity; ++row) {
        if (!list.rows[Index(row)].selected) continue;
        if (list.kind == BlockListKind::Ram && s.blocks.ramBlocks[Index(row)].containerTitle) continue;
        rows.push_back(row);
    }
    return rows;
}

bool HeaderIsUnique(const BlockTables& t, uint8_t fh, uint8_t fv, uint8_t source, uint8_t config, int count,
                    int except) {
    const int n = std::clamp(count, 0, kProjectorBlockCapacity);
    for (int i = 0; i < n; ++i) {
        if (i == except) continue;
        const BlockHeader& h = t.projectorBlocks[Index(i)].header;
        if (h.fh == fh && h.fv == fv && h.source == source && h.config == config) return false;
    }
    return true;
}

ListModel BlockListToText(const ProgramState& s, const BlockListModel& list, bool markActive) {
    ListModel text;
    const BlockRowTexts headings = BlockListHeadings(list.kind);
    text.headings.assign(headings.begin(), headings.end());
    const int n = std::min(TableCount(s, list.kind), static_cast<int>(list.rows.size()));
    for (int row = 0; row < n; ++row) {
        std::vector<std::string> cells(list.rows[Index(row)].cells.begin(), list.rows[Index(row)].cells.end());
        if (markActive && list.kind == BlockListKind::Projector && s.blocks.projectorBlocks[Index(row)].active) {
            cells[0] += " *";
        }
        text.rows.push_back(std::move(cells));
    }
    return text;
}

std::string BlockPaneCaption(const ProgramState& s, BlockListKind kind) {
    if (kind == BlockListKind::Ram) return "Overview Blocks in RAM-container";
    // No projector listed, no address: the window is searching or found nobody.
    if (s.projectors.connectedCount <= 0) return {};
    return "Overview Blocks in Projector with address " + std::to_string(s.link.currentAddress);
}

bool ConvertBlockList(ProgramState& s, const BlockView& view, BlockListKind kind, const std::string& path) {
    const char* type = kind == BlockListKind::Projector ? "Listing projector blocks" : "Listing RAM blocks";
    return ConvertListToText(s.env, BlockListToText(s, view.List(kind), false), kBlockListCellLimit, type,
                             BlockPaneCaption(s, kind).substr(0, 50), path);
}

}  // namespace ombrix
