#pragma once
#include <QWidget>

#include "core/app/Program.h"

namespace ombrix::gui {

class QtUi;

// The direct-access tabs of the current projector, filling the right side of the
// communication window. nullptr when they cannot be shown (the reason was already shown).
// The widget has a signal projectorsChanged() for when a projector's record changed
// (woken, identified, paused) and the tree should follow.
QWidget* CreateDirectAccessView(ProgramState& state, QtUi* ui, QWidget* parent);

// True while an IRIS command runs: tab and tree changes are to be ignored meanwhile.
bool DirectAccessBusy(const ProgramState& state);

}  // namespace ombrix::gui
