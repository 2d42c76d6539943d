#include "gui/directaccess/SettingsView.h"

#include <QLabel>

namespace ombrix::gui {

QWidget* CreateSettingsView(ProgramState&, QtUi*, QWidget* parent) {
    auto* view = new QLabel(QStringLiteral("Settings"), parent);
    view->setAccessibleName(view->text());
    return view;
}

}  // namespace ombrix::gui
