#include "gui/explorer/ExplorerWindow.h"

#include <QLabel>

namespace ombrix::gui {

QWidget* CreateExplorerWindow(ProgramState&, QtUi*, QWidget* parent) {
    auto* view = new QLabel(QStringLiteral("Ombrix Explorer"), parent);
    view->setWindowTitle(view->text());
    view->setAccessibleName(view->text());
    return view;
}

}  // namespace ombrix::gui
