#pragma once
// The RAM container's bookkeeping: containers are consecutive runs of rows in index
// order, each starting with its title row; rows move as a whole and the index, and the
// selections that name RAM rows, follow them.
#include "blocks/BlockModel.h"

namespace ombrix {

// Every row's fields to zero with alphaId '0', no rows, no containers.
void ClearRamContainer(BlockTables& t);

// The container of that type, or -1.
int FindContainer(const BlockTables& t, int projectorType);
// One past the last row of container k: where container k + 1 begins, or the used rows.
int ContainerEndRow(const BlockTables& t, int k);
// The container whose run holds the row, or -1 (a row before the first container).
int ContainerOfRow(const BlockTables& t, int row);

// Inserts n rows directly after the last row of container k, moving every later row n
// places down. False, changing nothing, when k is not a container or the rows would not fit.
bool InsertRowsIntoContainer(BlockTables& t, int k, const RAMBlock* rows, int n);

// The row just written at ramRowCount (not yet counted) goes to the end of the container
// of that type; the caller counts it. False when there is no such container.
bool MoveRowIntoContainer(BlockTables& t, int projectorType);

}  // namespace ombrix
