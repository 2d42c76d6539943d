#include "gui/directaccess/EditSourceDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "core/directaccess/Sources.h"

namespace ombrix::gui {

EditSourceDialog::EditSourceDialog(const std::vector<int>& freeSlots, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("EDITSOURCEBOX"));
    setWindowTitle(QStringLiteral("Edit Sources"));
    setAccessibleName(windowTitle());
    auto* form = new QFormLayout(this);
    name_ = new QLineEdit(QStringLiteral("Source"), this);
    name_->setMaxLength(kSourceTextLimit);
    name_->setAccessibleName(QStringLiteral("Source"));
    form->addRow(QStringLiteral("Source"), name_);
    slots_ = new QListWidget(this);
    slots_->setAccessibleName(QStringLiteral("Input Slot"));
    for (int slot : freeSlots) {
        auto* item = new QListWidgetItem(QString::number(slot), slots_);
        item->setData(Qt::UserRole, slot);
    }
    form->addRow(QStringLiteral("Input Slot"), slots_);
    auto* buttons = new QHBoxLayout;
    auto* insert = new QPushButton(QStringLiteral("Insert"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    insert->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(insert);
    buttons->addWidget(cancel);
    form->addRow(buttons);
    connect(insert, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString EditSourceDialog::Text() const { return name_->text(); }

int EditSourceDialog::Slot() const {
    const QListWidgetItem* item = slots_->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toInt() : 0;
}

}  // namespace ombrix::gui
