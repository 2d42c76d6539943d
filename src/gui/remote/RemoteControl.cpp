#include "gui/remote/RemoteControl.h"

namespace ombrix::gui {

void OpenRemoteControl(ProgramState&, QtUi*, QWidget*, std::function<void()>) {}
void CloseAllRemoteControls() {}

}  // namespace ombrix::gui
