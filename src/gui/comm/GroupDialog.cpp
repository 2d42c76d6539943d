#include "gui/comm/GroupDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/blocks/Groups.h"

namespace ombrix::gui {

GroupDialog::GroupDialog(std::function<std::string(const std::string&)> make, QWidget* parent)
    : QDialog(parent), make_(std::move(make)) {
    setObjectName(QStringLiteral("GROUPBOX"));
    setWindowTitle(QStringLiteral("New group"));
    setAccessibleName(windowTitle());
    setWindowModality(Qt::WindowModal);
    auto* form = new QFormLayout(this);
    name_ = new QLineEdit(this);
    name_->setMaxLength(static_cast<int>(kGroupNameMax));
    name_->setAccessibleName(QStringLiteral("Group name"));
    form->addRow(QStringLiteral("Group name"), name_);
    refusal_ = new QLabel(this);
    refusal_->setObjectName(QStringLiteral("refusal"));
    refusal_->setAccessibleDescription(QStringLiteral("Why the name was refused"));
    refusal_->setWordWrap(true);
    // Room for a refusal from the start: a line that appears later in a box sized without
    // it was cut at top and bottom.
    refusal_->setMinimumHeight(2 * refusal_->fontMetrics().lineSpacing() + 4);
    name_->setMinimumWidth(refusal_->fontMetrics().horizontalAdvance(
        QStringLiteral("Unable to add the group: the group name is empty")));
    form->addRow(refusal_);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setAccessibleName(ok->text());
    cancel->setAccessibleName(cancel->text());
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    form->addRow(buttons);
    connect(ok, &QPushButton::clicked, this, &GroupDialog::Ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString GroupDialog::Refusal() const { return refusal_->text(); }

void GroupDialog::Ok() {
    const std::string why = make_ ? make_(name_->text().toStdString()) : std::string();
    if (why.empty()) {
        refusal_->clear();
        accept();
        return;
    }
    refusal_->setText(QString::fromStdString(why));
    refusal_->setAccessibleName(refusal_->text());
    adjustSize();
    name_->setFocus();
    name_->selectAll();
}

QString ChooseGroupName(const Grouping& grouping, const Env& env, const QString& title, QWidget* parent) {
    QStringList names;
    for (const UserGroup& g : grouping.groups) names << QString::fromStdString(g.name);
    if (names.isEmpty()) {
        if (env.ui) env.ui->ShowBox(title.toStdString(), "There is no group yet.", BoxIcon::Information);
        return {};
    }
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(QStringLiteral("Group"));
    dialog.setComboBoxItems(names);
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

}  // namespace ombrix::gui
