#include "gui/platform/Accessible.h"

#include <QAccessibleWidget>
#include <QMessageBox>

#include "core/app/ProgramStrings.h"

namespace ombrix::gui {
namespace {

const char* const kRoleProperty = "ombrixAccessibleRole";

QAccessibleInterface* RoleFactory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid()) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void ShowLiveText(QLabel* label, const QString& text) {
    if (!label) return;
    // Without a name of its own a label is read by its text, so the name can never lag.
    if (!label->accessibleName().isEmpty()) label->setAccessibleName(QString());
    if (label->text() == text) return;
    label->QLabel::setText(text);
    QAccessibleEvent event(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

LiveLabel::LiveLabel(const QString& role, const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAccessibleDescription(role);
}

void DescribeBox(QMessageBox& box) {
    box.setAccessibleDescription(box.text());
    if (box.windowTitle() == QString::fromLatin1(ProgramString(1))) box.setAccessibleName(box.text());
}

void SetAccessibleRole(QWidget* widget, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(RoleFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(kRoleProperty, static_cast<int>(role));
}

}  // namespace ombrix::gui
