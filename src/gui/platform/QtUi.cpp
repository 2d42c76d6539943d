#include "gui/platform/QtUi.h"

#include <QCoreApplication>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QMetaObject>
#include <QThread>

#include "gui/discovery/ThreadTipBox.h"
#include "gui/platform/InputHold.h"
#include "gui/platform/ProgressBox.h"
#include "gui/platform/Accessible.h"

namespace ombrix::gui {
namespace {

bool OnGuiThreadNow() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Widgets exist only on the GUI thread; anyone else waits there for the box to close.
template <typename Fn>
void OnGuiThread(Fn fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (OnGuiThreadNow()) {
        fn();
    } else {
        QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
    }
}

}  // namespace

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
int QtUi::RunBox(int icon, const std::string& caption, const std::string& text, int buttons, int defaultButton,
                 bool fromWorker) {
    const bool question = (buttons & QMessageBox::Ok) == 0;
    // While the program ends, a worker is not held up; a question of the GUI thread (the
    // save question of a closing window) is still asked.
    if (ending_ && (fromWorker || !question)) return QMessageBox::NoButton;
    QMessageBox box(QMessageBox::Icon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::StandardButtons(buttons));
    box.setTextFormat(Qt::PlainText);
    DescribeBox(box);
    box.setDefaultButton(QMessageBox::StandardButton(defaultButton));
    boxes_.push_back({&box, fromWorker || !question});
    const int answer = box.exec();
    boxes_.removeIf([&](const OpenBox& open) { return open.box == &box; });
    return answer;
}

void QtUi::EndBoxes() {
    ending_ = true;
    for (const OpenBox& open : boxes_)
        if (open.box && open.dismissable) open.box->done(QMessageBox::NoButton);
}

QtUi::QtUi() : context_(std::make_unique<QObject>()) {}

QtUi::~QtUi() { delete progress_; }

void QtUi::SetTipBox(ThreadTipBox* tip) { tip_ = tip; }

ProgressBox* QtUi::OpenProgressBox() const { return progress_; }

template <typename Fn>
void QtUi::Post(Fn fn) {
    if (OnGuiThreadNow()) {
        fn();
    } else {
        QMetaObject::invokeMethod(context_.get(), std::move(fn), Qt::QueuedConnection);
    }
}

void QtUi::ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) {
    const bool fromWorker = !OnGuiThreadNow();
    OnGuiThread([&] { RunBox(QtIcon(icon), caption, text, QMessageBox::Ok, QMessageBox::Ok, fromWorker); });
}

bool QtUi::AskYesNo(const std::string& caption, const std::string& text) {
    bool yes = false;
    const bool fromWorker = !OnGuiThreadNow();
    OnGuiThread([&] {
        yes = RunBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes,
                     fromWorker) == QMessageBox::Yes;
    });
    return yes;
}

int QtUi::Choose(const std::string& dialog, const std::string& caption, const std::string& text,
                 const std::vector<std::pair<int, std::string>>& buttons, int defaultId, int cancelId) {
    int chosen = cancelId;
    OnGuiThread([&] {
        // Modal to and centred on the window that asked.
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::NoButton, QApplication::activeWindow());
        box.setObjectName(QString::fromStdString(dialog));
        box.setTextFormat(Qt::PlainText);
        DescribeBox(box);
        std::vector<std::pair<QAbstractButton*, int>> ids;
        for (const auto& [id, label] : buttons) {
            QPushButton* b = box.addButton(QString::fromStdString(label), QMessageBox::ActionRole);
            ids.emplace_back(b, id);
            if (id == defaultId) box.setDefaultButton(b);
            if (id == cancelId) box.setEscapeButton(b);
        }
        box.exec();
        for (const auto& [button, id] : ids) {
            if (box.clickedButton() == button) chosen = id;
        }
    });
    return chosen;
}

void QtUi::ProgressOpen(const std::string& title, const std::string& note, int range) {
    // Cleared at once, so the caller's next poll cannot see an earlier operation's cancel.
    cancelled_ = false;
    Post([this, title = QString::fromStdString(title), note = QString::fromStdString(note), range] {
        delete progress_;
        progress_ = new ProgressBox(title, note, range, [this] { CancelProgress(); }, owner_);
        // Holds back the input of every other window while it is open, without blocking
        // the thread that keeps them painting. Where input is held anyway, the box stays
        // modeless so the window system can still ask the frame to close.
        progress_->setWindowModality(InputHold::Active() ? Qt::NonModal : Qt::ApplicationModal);
        progress_->show();
    });
}

void QtUi::ProgressLine(int line, const std::string& text) {
    Post([this, line, text = QString::fromStdString(text)] {
        if (progress_) progress_->SetLine(line, text);
    });
}

void QtUi::ProgressStep() {
    Post([this] {
        if (progress_) progress_->Step();
    });
}

void QtUi::ProgressClose() {
    Post([this] { delete progress_; });
}

void QtUi::TipLine(int line, const std::string& text) {
    Post([this, line, text = QString::fromStdString(text)] {
        if (tip_) tip_->SetLine(line, text);
    });
}

void QtUi::TipCountdown(int secondsLeft, int stepsDone, int total) {
    Post([this, secondsLeft, stepsDone, total] {
        if (tip_) tip_->SetCountdown(secondsLeft, stepsDone, total);
    });
}

}  // namespace ombrix::gui
