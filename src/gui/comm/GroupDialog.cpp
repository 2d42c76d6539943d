#include "gui/comm/GroupDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
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
    name_->setFocus();
    name_->selectAll();
}

}  // namespace ombrix::gui
