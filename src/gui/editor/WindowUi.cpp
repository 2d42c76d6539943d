#include "gui/editor/WindowUi.h"

#include <QMessageBox>
#include <QPushButton>

#include "gui/platform/QtUi.h"
#include "gui/platform/Accessible.h"

namespace ombrix::gui {
namespace {

// Texts are shown as given: markup characters in them are text.
void Prepare(QMessageBox& box, const std::string& caption, const std::string& text) {
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::WindowModal);
    DescribeBox(box);
}

}  // namespace

void WindowUi::ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) {
    QMessageBox box(owner_);
    Prepare(box, caption, text);
    box.setIcon(QtIcon(icon));
    box.exec();
}

bool WindowUi::AskYesNo(const std::string& caption, const std::string& text) {
    QMessageBox box(owner_);
    Prepare(box, caption, text);
    box.setIcon(QMessageBox::Question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

int WindowUi::Choose(const std::string& dialog, const std::string& caption, const std::string& text,
                     const std::vector<std::pair<int, std::string>>& buttons, int defaultId, int cancelId) {
    QMessageBox box(owner_);
    box.setObjectName(QString::fromStdString(dialog));
    Prepare(box, caption, text);
    box.setIcon(QMessageBox::Question);
    std::vector<std::pair<QAbstractButton*, int>> ids;
    for (const auto& [id, label] : buttons) {
        const QString shown = QString::fromStdString(label);
        QPushButton* button = box.addButton(shown, id == cancelId ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        button->setAccessibleName(QString(shown).remove(QLatin1Char('&')));
        if (id == defaultId) box.setDefaultButton(button);
        if (id == cancelId) box.setEscapeButton(button);
        ids.emplace_back(button, id);
    }
    box.exec();
    for (const auto& [button, id] : ids) {
        if (box.clickedButton() == button) return id;
    }
    return cancelId;
}

}  // namespace ombrix::gui
