#include "gui/remote/CloseBox.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/remote/RemoteKeys.h"

namespace ombrix::gui {

CloseBox::CloseBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CLOSEBOX"));
    setWindowTitle(QStringLiteral("Quit"));
    active_ = new QRadioButton(QStringLiteral("&Close Active Window"));
    active_->setObjectName(QStringLiteral("closeActive"));
    active_->setAccessibleName(QStringLiteral("Close Active Window"));
    all_ = new QRadioButton(QStringLiteral("C&lose All Windows"));
    all_->setObjectName(QStringLiteral("closeAll"));
    all_->setAccessibleName(QStringLiteral("Close All Windows"));
    active_->setChecked(true);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setAccessibleName(ok->text());
    QPushButton* cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(active_);
    layout->addWidget(all_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CloseBox::Choice() const {
    if (result() != QDialog::Accepted) return 0;
    return all_->isChecked() ? kCloseAllWindows : kCloseActiveWindow;
}

int AskRemoteClose(QWidget* parent) {
    CloseBox box(parent);
    box.adjustSize();
    if (parent) box.move(parent->frameGeometry().center() - box.rect().center());
    box.exec();
    return box.Choice();
}

}  // namespace ombrix::gui
