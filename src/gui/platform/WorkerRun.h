#pragma once
// Runs projector work on a worker thread while the GUI thread keeps serving its events,
// and returns when the work is done. What input gets through meanwhile is the caller's
// choice (an InputHold, a watcher for a held key).
#include <functional>

namespace ombrix::gui {

// Runs work at once, on this thread, when no worker can be started.
void RunOffGuiThread(const std::function<void()>& work);

}  // namespace ombrix::gui
