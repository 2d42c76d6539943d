#include "gui/platform/InputHold.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "gui/platform/ProgressBox.h"

namespace ombrix::gui {
namespace {

int g_holds = 0;

bool IsUserInput(const QEvent& event) {
    switch (event.type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        // The close box of a window; a close the program asks for itself goes through.
        case QEvent::Close:
            return event.spontaneous();
        default:
            return false;
    }
}

}  // namespace

InputHold::InputHold(std::function<void()> onBreak) : onBreak_(std::move(onBreak)) {
    qApp->installEventFilter(this);
    ++g_holds;
}

InputHold::~InputHold() {
    --g_holds;
    qApp->removeEventFilter(this);
}

bool InputHold::Active() { return g_holds > 0; }

bool InputHold::eventFilter(QObject* watched, QEvent* event) {
    // Menu accelerators reach their actions, not a widget.
    if (event->type() == QEvent::Shortcut && !watched->isWidgetType()) return true;
    // Window-level events reach the widgets anyway; deciding there is enough.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !IsUserInput(*event)) return false;
    if (event->type() == QEvent::Close && widget->property(kCloseDuringHold).toBool()) return false;
    if (event->type() == QEvent::KeyPress && IsCancelKey(*static_cast<QKeyEvent*>(event))) {
        if (onBreak_) onBreak_();
        return true;
    }
    const QWidget* modal = QApplication::activeModalWidget();
    // The progress box is not modal while input is held (see QtUi), but is the box on top.
    if (!modal && qobject_cast<const ProgressBox*>(widget->window())) return false;
    return !(modal && (modal == widget || modal->isAncestorOf(widget)));
}

}  // namespace ombrix::gui
