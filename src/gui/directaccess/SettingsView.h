#pragma once
#include <QWidget>

#include "core/app/Program.h"

namespace ombrix::gui {

class QtUi;

// The settings view of the adjustment block (its parameter groups as tabs), filling the
// right side of the communication window. nullptr when it cannot be shown (the reason
// was already shown). The view is a CommandTarget: commands 40052-40081 select the tab
// of the group at position command - 40052.
QWidget* CreateSettingsView(ProgramState& state, QtUi* ui, QWidget* parent);

}  // namespace ombrix::gui
