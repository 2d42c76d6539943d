#include "gui/app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>

namespace ombrix::gui {
namespace {

// The program's version record, the same values under the same keys everywhere it is shown.
constexpr const char* kFileDescription = "Lumenar";
constexpr const char* kFileVersion = "Standard Version 1.0.";
constexpr const char* kCompanyName = "Kelvane Projection Systems";

}  // namespace

AboutDialog::AboutDialog(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ABOUTBOX"));
    setWindowTitle(QStringLiteral("About"));

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(16);
    if (!icon.isNull()) {
        auto* picture = new QLabel;
        picture->setPixmap(icon.pixmap(32, 32));
        picture->setAlignment(Qt::AlignTop);
        layout->addWidget(picture, 0, 0, 3, 1);
    }
    auto* name = new QLabel(QString::fromLatin1(kFileDescription));
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    name->setFont(bold);
    layout->addWidget(name, 0, 1);
    layout->addWidget(new QLabel(QString::fromLatin1(kFileVersion)), 1, 1);
    layout->addWidget(new QLabel(QString::fromLatin1(kCompanyName)), 2, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 3, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace ombrix::gui
