#include "gui/remote/LineWork.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "gui/platform/InputHold.h"
#include "gui/platform/WorkerRun.h"

namespace ombrix::gui {

bool KeyReleaseWatch::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonRelease:
            if (qtKey_ == 0 && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) *down_ = false;
            break;
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (qtKey_ != 0 && key->key() == qtKey_ && !key->isAutoRepeat()) *down_ = false;
            break;
        }
        case QEvent::ApplicationDeactivate:
            *down_ = false;
            break;
        default:
            break;
    }
    return false;
}

void RunLineWork(const std::function<void()>& work, QObject* watcher) {
    InputHold hold;
    // Installed after the hold, so it sees the release before the hold drops it.
    if (watcher) qApp->installEventFilter(watcher);
    RunOffGuiThread(work);
    if (watcher) qApp->removeEventFilter(watcher);
}

}  // namespace ombrix::gui
