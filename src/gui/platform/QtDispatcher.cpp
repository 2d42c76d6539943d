#include "gui/platform/QtDispatcher.h"

#include <QMetaObject>

namespace ombrix::gui {

void QtDispatcher::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

}  // namespace ombrix::gui
