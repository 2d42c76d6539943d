#pragma once
#include <QWidget>
#include <functional>

#include "core/app/Program.h"

namespace ombrix::gui {

class QtUi;

// Opens one more remote-control window aimed at the current address. projectorsChanged
// is called after a key changed what the program knows of the projectors (the tree
// follows it).
void OpenRemoteControl(ProgramState& state, QtUi* ui, QWidget* frame, std::function<void()> projectorsChanged);
// Closes every remote-control window (the program is ending).
void CloseAllRemoteControls();

}  // namespace ombrix::gui
