#pragma once
#include <QWidget>

#include "core/app/Program.h"

namespace ombrix::gui {

class QtUi;

// The direct-access tabs of the current projector, filling the right side of the
// communication window. nullptr when they cannot be shown (the reason was already shown).
QWidget* CreateDirectAccessView(ProgramState& state, QtUi* ui, QWidget* parent);

}  // namespace ombrix::gui
