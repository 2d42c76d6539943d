#include "gui/platform/QtUi.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace ombrix::gui {
namespace {

// Widgets exist only on the GUI thread; anyone else waits there for the box to close.
template <typename Fn>
void OnGuiThread(Fn fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
    }
}

QMessageBox::Icon QtIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Stop:
            return QMessageBox::Critical;
        case BoxIcon::Exclamation:
            return QMessageBox::Warning;
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Question:
            return QMessageBox::Question;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// Texts are shown as given: markup characters in them are text, not formatting.
int RunBox(QMessageBox::Icon icon, const std::string& caption, const std::string& text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), buttons);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

}  // namespace

void QtUi::ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) {
    OnGuiThread([&] { RunBox(QtIcon(icon), caption, text, QMessageBox::Ok, QMessageBox::Ok); });
}

bool QtUi::AskYesNo(const std::string& caption, const std::string& text) {
    bool yes = false;
    OnGuiThread([&] {
        yes = RunBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                     QMessageBox::Yes) == QMessageBox::Yes;
    });
    return yes;
}

}  // namespace ombrix::gui
