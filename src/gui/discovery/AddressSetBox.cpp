#include "gui/discovery/AddressSetBox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ombrix::gui {

AddressSetBox::AddressSetBox(ProgramState& state, QWidget* parent) : QDialog(parent), model_(state) {
    setObjectName(QStringLiteral("VIEWADDRESSSETBOX"));
    setWindowTitle(QStringLiteral("Addresset"));

    picker_ = new QComboBox;
    picker_->setObjectName(QStringLiteral("picker"));
    picker_->setAccessibleName(QStringLiteral("Address"));
    picker_->setEditable(true);
    picker_->lineEdit()->setAccessibleName(picker_->accessibleName());
    picker_->setInsertPolicy(QComboBox::NoInsert);
    picker_->setMaxVisibleItems(16);
    for (const std::string& entry : AddressSetDialog::PickerEntries()) picker_->addItem(QString::fromStdString(entry));
    picker_->setValidator(new QIntValidator(1, 255, picker_));
    picker_->setCurrentIndex(0);
    auto* addresses = new QGroupBox(QStringLiteral("Addresses"));
    auto* addressesLayout = new QVBoxLayout(addresses);
    addressesLayout->addWidget(picker_);

    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("addressList"));
    list_->setAccessibleName(QStringLiteral("Addressset"));
    list_->setMinimumHeight(list_->fontMetrics().height() * 10);
    list_->setFixedWidth(list_->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 24);
    auto* set = new QGroupBox(QStringLiteral("Addressset"));
    auto* setLayout = new QVBoxLayout(set);
    setLayout->addWidget(list_);

    add_ = new QPushButton(QStringLiteral("&Add"));
    delete_ = new QPushButton(QStringLiteral("&Delete"));
    add_->setAutoDefault(false);
    delete_->setAutoDefault(false);
    viewUser_ = new QRadioButton(QStringLiteral("View userdefined addressset"));
    viewGenerated_ = new QRadioButton(QStringLiteral("View generated addressset"));
    auto* editButtons = new QVBoxLayout;
    editButtons->addWidget(add_);
    editButtons->addWidget(delete_);
    editButtons->addSpacing(12);
    editButtons->addWidget(viewUser_);
    editButtons->addWidget(viewGenerated_);
    editButtons->addStretch();

    auto* startButton = new QPushButton(QStringLiteral("&Start"));
    auto* endButton = new QPushButton(QStringLiteral("&End"));
    startButton->setAutoDefault(false);
    endButton->setAutoDefault(false);
    start_ = new QLineEdit;
    end_ = new QLineEdit;
    start_->setObjectName(QStringLiteral("rangeStart"));
    end_->setObjectName(QStringLiteral("rangeEnd"));
    start_->setAccessibleName(QStringLiteral("Start address"));
    end_->setAccessibleName(QStringLiteral("End address"));
    auto* range = new QGroupBox(QStringLiteral("Search in range"));
    auto* rangeLayout = new QGridLayout(range);
    rangeLayout->addWidget(startButton, 0, 0);
    rangeLayout->addWidget(start_, 0, 1);
    rangeLayout->addWidget(endButton, 1, 0);
    rangeLayout->addWidget(end_, 1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* left = new QVBoxLayout;
    left->addWidget(addresses);
    left->addWidget(range);
    left->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(set);
    layout->addLayout(editButtons);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(add_, &QPushButton::clicked, this, &AddressSetBox::Add);
    connect(delete_, &QPushButton::clicked, this, &AddressSetBox::Delete);
    connect(viewUser_, &QRadioButton::clicked, this, &AddressSetBox::ViewUserDefined);
    connect(viewGenerated_, &QRadioButton::clicked, this, &AddressSetBox::ViewGenerated);
    connect(startButton, &QPushButton::clicked, this, [this] {
        int address = 0;
        if (!PickedAddress(&address)) return;
        start_->setText(picker_->currentText());
        model_.SetStart(address);
    });
    connect(endButton, &QPushButton::clicked, this, [this] {
        int address = 0;
        if (!PickedAddress(&address)) return;
        end_->setText(picker_->currentText());
        model_.SetEnd(address);
    });

    model_.Open();
    FillFromModel();
    start_->setText(QString::number(state.options.rangeStart));
    end_->setText(QString::number(state.options.rangeEnd));
}

bool AddressSetBox::PickedAddress(int* address) const {
    bool ok = false;
    *address = picker_->currentText().toInt(&ok);
    return ok && *address >= 1 && *address <= 255;
}

void AddressSetBox::Add() {
    int address = 0;
    if (!PickedAddress(&address)) return;
    model_.Add(address);
    FillFromModel();
}

void AddressSetBox::Delete() {
    const QListWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected()) return;
    model_.Remove(item->text().toInt());
    FillFromModel();
}

void AddressSetBox::ViewUserDefined() {
    model_.ShowUserDefined();
    FillFromModel();
}

void AddressSetBox::ViewGenerated() {
    model_.ShowGenerated();
    FillFromModel();
}

void AddressSetBox::FillFromModel() {
    list_->clear();
    for (int32_t address : model_.Shown()) list_->addItem(QString::number(address));
    viewUser_->setChecked(!model_.ViewGenerated());
    viewGenerated_->setChecked(model_.ViewGenerated());
    add_->setEnabled(model_.EditingEnabled());
    delete_->setEnabled(model_.EditingEnabled());
}

void AddressSetBox::done(int result) {
    // A range that is no range keeps the dialog open on OK (the box says why).
    if (!model_.Close(start_->text().toLatin1().toStdString(), end_->text().toLatin1().toStdString(),
                      result == QDialog::Accepted)) {
        start_->setFocus();
        return;
    }
    QDialog::done(result);
}

}  // namespace ombrix::gui
