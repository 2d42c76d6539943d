#pragma once
// Work on the line from a direct-access window: it runs on a worker while the windows
// keep painting and user input is held back, as the communication window's search does.
#include <functional>

class QObject;

namespace ombrix::gui {

// Runs work to its end; returns once it is done. Boxes the work shows appear on top.
void RunOnLine(const std::function<void()>& work);
// True while RunOnLine runs: a timer that would start line work waits its turn.
bool LineBusy();
// Runs work now, or as soon as the line work in progress has ended (not at all once
// context is gone).
void WhenLineFree(QObject* context, const std::function<void()>& work);

}  // namespace ombrix::gui
