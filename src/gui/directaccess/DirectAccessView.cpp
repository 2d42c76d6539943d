#include "gui/directaccess/DirectAccessView.h"

#include <QLabel>

namespace ombrix::gui {

QWidget* CreateDirectAccessView(ProgramState&, QtUi*, QWidget* parent) {
    auto* view = new QLabel(QStringLiteral("Direct Access"), parent);
    view->setAccessibleName(view->text());
    return view;
}

}  // namespace ombrix::gui
