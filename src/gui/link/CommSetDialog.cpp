#include "gui/link/CommSetDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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

    present_ = ListSerialDevices();
    portPath_ = new QComboBox;
    portPath_->setObjectName(QStringLiteral("portPath"));
    portPath_->setEditable(true);
    portPath_->setInsertPolicy(QComboBox::NoInsert);
    portPath_->setAccessibleName(QStringLiteral("Device"));
    // The field inside the box is what a reader lands on when typing.
    portPath_->lineEdit()->setAccessibleName(portPath_->accessibleName());
    portPath_->setMinimumContentsLength(28);
    portPath_->lineEdit()->setPlaceholderText(QStringLiteral("/dev/ttyUSB0 or tcp://HOST:PORT"));
    portPath_->setToolTip(QStringLiteral("Where the port leads: a serial device, a pseudo-terminal, "
                                         "or tcp://HOST:PORT for a serial device server"));
    auto* deviceLabel = new QLabel(QStringLiteral("&Device:"));
    deviceLabel->setBuddy(portPath_);
    form->addRow(deviceLabel, portPath_);
    ShowPortPath(port_->currentIndex());
    // A line set on the command line cannot be changed here.
    portPath_->setEnabled(link_.deviceOverride.empty() && model_.port.enabled);

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

void CommSetDialog::KeepDeviceEdit() {
    if (shownPortRow_ >= 0) deviceEdits_[shownPortRow_] = portPath_->currentText().trimmed();
}

void CommSetDialog::ShowPortPath(int portRow) {
    KeepDeviceEdit();
    shownPortRow_ = portRow;
    portPath_->clear();
    if (portRow < 0) return;
    if (!link_.deviceOverride.empty()) {
        portPath_->addItem(QString::fromStdString(CommDialogPortPath(link_, portRow)));
        return;
    }
    for (const std::string& path : CommDialogDeviceChoices(link_, portRow, present_)) {
        portPath_->addItem(QString::fromStdString(path));
        for (const SerialCandidate& c : present_) {
            if (c.path == path && !c.note.empty())
                portPath_->setItemData(portPath_->count() - 1, QString::fromStdString(c.note), Qt::ToolTipRole);
        }
    }
    const auto edit = deviceEdits_.find(portRow);
    portPath_->setCurrentText(edit != deviceEdits_.end() ? edit->second : portPath_->itemText(0));
}

void CommSetDialog::accept() {
    model_.port.selected = port_->currentIndex();
    model_.baud.selected = baud_->currentIndex();
    model_.dataBits.selected = dataBits_->currentIndex();
    model_.parity.selected = parity_->currentIndex();
    model_.stopBits.selected = stopBits_->currentIndex();
    KeepDeviceEdit();
    if (link_.deviceOverride.empty()) {
        for (const auto& [row, device] : deviceEdits_) {
            SysError error;
            if (!ApplyPortDevice(link_, row + 1, device.toStdString(), kComPortMapFileName, &error)) {
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("%1 could not be written: %2")
                                         .arg(QString::fromLatin1(kComPortMapFileName), QString::fromStdString(error.text)));
                return;
            }
        }
    }
    // A comm.cfg that cannot be written is not reported: the settings still hold for now.
    ApplyCommDialog(link_, model_, kCommFileName);
    QDialog::accept();
}

}  // namespace ombrix::gui
