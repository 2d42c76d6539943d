#include "blocks/RamContainer.h"

#include <algorithm>

namespace ombrix {
namespace {

// A selection that names a row from `from` on names it n rows further down once the rows
// have moved; this includes the row at the insertion point itself.
void FollowMovedRows(BlockSelection& s, int from, int n) {
    if (s.NamesRamRow() && s.row >= from) s.row += n;
}

}  // namespace

void ClearRamContainer(BlockTables& t) {
    for (RAMBlock& row : t.ramBlocks) {
        row = RAMBlock{};
        row.alphaId = '0';
    }
    t.ramRowCount = 0;
    t.ramContainers.fill(RAMcontainer{});
    t.ramContainerCount = 0;
}

int FindContainer(const BlockTables& t, int projectorType) {
    for (int k = 0; k < t.ramContainerCount; ++k) {
        if (t.ramContainers[static_cast<size_t>(k)].projectorType == projectorType) return k;
    }
    return -1;
}

int ContainerEndRow(const BlockTables& t, int k) {
    if (k + 1 < t.ramContainerCount) return t.ramContainers[static_cast<size_t>(k + 1)].firstRow;
    return t.ramRowCount;
}

int ContainerOfRow(const BlockTables& t, int row) {
    int found = -1;
    for (int k = 0; k < t.ramContainerCount; ++k) {
        if (t.ramContainers[static_cast<size_t>(k)].firstRow <= row) found = k;
    }
    return found;
}

bool InsertRowsIntoContainer(BlockTables& t, int k, const RAMBlock* rows, int n) {
    if (k < 0 || k >= t.ramContainerCount || n < 0 || t.ramRowCount + n > kRamRowCapacity) return false;
    const int at = std::clamp(ContainerEndRow(t, k), 0, t.ramRowCount);
    auto first = t.ramBlocks.begin() + at;
    std::move_backward(first, t.ramBlocks.begin() + t.ramRowCount, t.ramBlocks.begin() + t.ramRowCount + n);
    std::copy(rows, rows + n, first);
    for (int j = k + 1; j < t.ramContainerCount; ++j) {
        RAMcontainer& c = t.ramContainers[static_cast<size_t>(j)];
        if (c.firstRow >= at) c.firstRow += n;
    }
    FollowMovedRows(t.adjustment, at, n);
    FollowMovedRows(t.reference, at, n);
    t.ramRowCount += n;
    return true;
}

bool MoveRowIntoContainer(BlockTables& t, int projectorType) {
    const int k = FindContainer(t, projectorType);
    if (k < 0 || t.ramRowCount >= kRamRowCapacity) return false;
    const RAMBlock row = t.ramBlocks[static_cast<size_t>(t.ramRowCount)];
    // InsertRowsIntoContainer counts the row; the caller does that here.
    if (!InsertRowsIntoContainer(t, k, &row, 1)) return false;
    --t.ramRowCount;
    return true;
}

}  // namespace ombrix
