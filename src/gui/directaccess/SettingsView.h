#pragma once
#include <QWidget>

#include "core/app/Program.h"

namespace ombrix::gui {

class QtUi;

// The settings view of the adjustment block (its parameter groups as tabs), filling the
// right side of the communication window. nullptr when it cannot be shown (the reason
// was already shown). The view may also be a CommandTarget for the pane's commands.
QWidget* CreateSettingsView(ProgramState& state, QtUi* ui, QWidget* parent);

}  // namespace ombrix::gui
