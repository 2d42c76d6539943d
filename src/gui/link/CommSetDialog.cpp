#include "gui/link/CommSetDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace ombrix::gui {
namespace {

// "P&arity:" reads "Parity:" to a screen reader; "&&" stands for a real ampersand.
QString WithoutMnemonic(const std::string& label) {
    QString out;
    const QString text = QString::fromStdString(label);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

QComboBox* AddList(QFormLayout* form, const CommDialogList& list, const char* objectName) {
    auto* combo = new QComboBox;
    combo->setObjectName(QString::fromLatin1(objectName));
    for (const CommDialogItem& item : list.items) combo->addItem(QString::fromStdString(item.text));
    combo->setCurrentIndex(list.selected);
    combo->setEnabled(list.enabled);
    combo->setAccessibleName(WithoutMnemonic(list.label));
    combo->setMinimumContentsLength(8);
    auto* label = new QLabel(QString::fromStdString(list.label));
    label->setBuddy(combo);
    form->addRow(label, combo);
    return combo;
}

}  // namespace

CommSetDialog::CommSetDialog(Link& link, QWidget* parent)
    : QDialog(parent), link_(link), model_(BuildCommDialog(link)) {
    setObjectName(QStringLiteral("COMMSETBOX"));
    setWindowTitle(QStringLiteral("Communication Settings"));

    auto* group = new QGroupBox(QStringLiteral("COM Options:"));
    auto* form = new QFormLayout(group);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    port_ = AddList(form, model_.port, "port");

    portPath_ = new QLabel;
    portPath_->setObjectName(QStringLiteral("portPath"));
    portPath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portPath_->setAccessibleName(QStringLiteral("Device"));
    portPath_->setText(QString::fromStdString(model_.devicePath));
    form->addRow(QStringLiteral("Device:"), portPath_);

    baud_ = AddList(form, model_.baud, "baudRate");
    dataBits_ = AddList(form, model_.dataBits, "dataBits");
    parity_ = AddList(form, model_.parity, "parity");
    stopBits_ = AddList(form, model_.stopBits, "stopBits");
    connect(port_, &QComboBox::currentIndexChanged, this, &CommSetDialog::ShowPortPath);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CommSetDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CommSetDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CommSetDialog::ShowPortPath(int portRow) {
    portPath_->setText(portRow < 0 ? QString() : QString::fromStdString(CommDialogPortPath(link_, portRow)));
}

void CommSetDialog::accept() {
    model_.port.selected = port_->currentIndex();
    model_.baud.selected = baud_->currentIndex();
    model_.dataBits.selected = dataBits_->currentIndex();
    model_.parity.selected = parity_->currentIndex();
    model_.stopBits.selected = stopBits_->currentIndex();
    // A comm.cfg that cannot be written is not reported: the settings still hold for now.
    ApplyCommDialog(link_, model_, kCommFileName);
    QDialog::accept();
}

}  // namespace ombrix::gui
