#include "gui/comm/OptionInfoPage.h"

#include <QLabel>
#include <QVBoxLayout>

namespace ombrix::gui {

OptionInfoPage::OptionInfoPage(const std::array<std::string, 7>& lines, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("OPTIONINFO"));
    setAccessibleName(QStringLiteral("Info Options"));
    setStyleSheet(QStringLiteral("QLabel { color: white; }"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(QStringLiteral("Installed options :"), this));
    for (size_t i = 0; i < lines.size(); ++i) {
        auto* line = new QLabel(QString::fromStdString(lines[i]), this);
        line->setObjectName(QStringLiteral("option%1").arg(i + 1));
        line->setAccessibleName(QString::fromStdString(lines[i]));
        column->addWidget(line);
    }
    column->addStretch(1);
}

}  // namespace ombrix::gui
