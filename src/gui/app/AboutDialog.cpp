#include "gui/app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>

#include "core/app/ProgramStrings.h"

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
        layout->addWidget(picture, 0, 0, 4, 1);
    }
    // The heading in 8-point bold Arial, then the version record's values by key.
    auto* title = new QLabel(QString::fromLatin1(ProgramString(2)));
    title->setObjectName(QStringLiteral("about104"));
    QFont heading(QStringLiteral("Arial"), 8);
    heading.setBold(true);
    title->setFont(heading);
    layout->addWidget(title, 0, 1);
    const struct {
        const char* key;
        const char* value;
    } record[] = {{"FileDescription", kFileDescription}, {"FileVersion", kFileVersion}, {"CompanyName", kCompanyName}};
    int row = 1;
    for (const auto& entry : record) {
        auto* value = new QLabel(QString::fromLatin1(entry.value));
        value->setObjectName(QString::fromLatin1(entry.key));
        layout->addWidget(value, row++, 1);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, row, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace ombrix::gui
