#pragma once
// Projector commands of the settings pane run off the GUI thread: the windows keep
// painting meanwhile and take no input, and boxes the commands show still appear.
#include <functional>

namespace ombrix::gui {

void RunOnLine(const std::function<void()>& work);

}  // namespace ombrix::gui
