#pragma once
// The comparison of the edited block with the reference block: one row per parameter of
// the pane's group, the value and limits in each block side by side.
#include <functional>
#include <string>

#include "app/Program.h"
#include "blocks/ListToText.h"
#include "directaccess/SettingsPane.h"

namespace ombrix {

constexpr const char* kComparisonProgressText = "Initializing ....";
// Reference columns of a parameter the reference type does not have.
constexpr const char* kNoReferenceValue = "-";

// "Adjustment", "Selected Block", "Min", "Max", "Reference Block", "Min", "Max".
std::vector<std::string> BlockComparisonHeadings();

// An ordinary block compares with any block, a special one only with its own kind.
bool BlocksComparable(int adjustmentSpecialKind, int referenceSpecialKind);

// The rows for the pane's page: the pane's display copy against the reference selection,
// the reference's place and limits from its own type's description. Error 44 when the two
// kinds do not compare (no rows then, false). progress(rowsDone, rowCount) after each row.
bool FillBlockComparison(ProgramState& s, const SettingsPane& pane, ListModel* list,
                         const std::function<void(int, int)>& progress = {});

// "Convert to text >>": the list into the file the save dialog chose.
bool ConvertBlockComparison(const Env& env, const ListModel& list, const std::string& path);

}  // namespace ombrix
