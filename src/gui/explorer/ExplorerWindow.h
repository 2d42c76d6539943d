#pragma once
#include <QWidget>

#include "core/app/Program.h"

namespace ombrix::gui {

class QtUi;

// The explorer working window ("Ombrix Explorer"). The widget is also a CommandTarget:
// the frame routes the editor's commands to it and asks it before closing.
QWidget* CreateExplorerWindow(ProgramState& state, QtUi* ui, QWidget* parent);

}  // namespace ombrix::gui
