#pragma once
// The comparison of projectors: for each parameter of a direct-access page, the value
// and limits of every projector of the target list side by side.
#include <string>

#include "blocks/ListToText.h"
#include "directaccess/DirectAccess.h"

namespace ombrix {

constexpr size_t kCompareImageSize = 240;
constexpr const char* kCompareListingType = "Comparison of projectors in Direct Access";

// "Adjustment", then "Projector [A]", "Min", "Max" per target.
std::vector<std::string> ComparisonHeadings(const std::vector<TargetEntry>& targets);
// Rows in index order of the page, every row as wide as the headings. False (after the
// error is shown) when a target has no description or its active block's location
// cannot be read; rows already made stay in list.
bool FillProjectorComparison(ProgramState& state, int page, ListModel* list, const ProgressHooks& hooks);

}  // namespace ombrix
