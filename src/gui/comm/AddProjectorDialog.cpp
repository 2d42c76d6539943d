#include "gui/comm/AddProjectorDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrix::gui {

AddProjectorDialog::AddProjectorDialog(const std::vector<std::pair<uint8_t, std::string>>& projectors,
                                       QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ADDPROJECTORBOX"));
    setWindowTitle(QStringLiteral("Add projector"));
    setAccessibleName(windowTitle());
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Connected projectors"), this);
    list_ = new QListWidget(this);
    list_->setAccessibleName(QStringLiteral("Connected projectors"));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    label->setBuddy(list_);
    for (const auto& [address, text] : projectors) {
        auto* item = new QListWidgetItem(QString::fromStdString(text), list_);
        item->setData(Qt::UserRole, address);
    }
    layout->addWidget(label);
    layout->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setAccessibleName(ok->text());
    cancel->setAccessibleName(cancel->text());
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::vector<uint8_t> AddProjectorDialog::Chosen() const {
    std::vector<uint8_t> out;
    for (int i = 0; i < list_->count(); ++i) {
        const QListWidgetItem* item = list_->item(i);
        if (item->isSelected()) out.push_back(static_cast<uint8_t>(item->data(Qt::UserRole).toInt()));
    }
    return out;
}

}  // namespace ombrix::gui
