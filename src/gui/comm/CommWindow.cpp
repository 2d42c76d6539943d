#include "gui/comm/CommWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <system_error>
#include <thread>

#include "core/discovery/BackgroundCheck.h"
#include "core/discovery/ProjectorListRow.h"
#include "core/discovery/QuickSearch.h"
#include "core/discovery/Search.h"
#include "core/projector/Messages.h"
#include "gui/discovery/ThreadTipBox.h"
#include "gui/platform/InputHold.h"
#include "gui/platform/QtUi.h"

namespace ombrix::gui {

CommWindow::CommWindow(ProgramState& state, QtUi* ui, QWidget* parent) : QWidget(parent), state_(state), ui_(ui) {
    setObjectName(QStringLiteral("MDIComm"));
    setWindowTitle(QStringLiteral("Ombrix Communication"));

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("projectorList"));
    list_->setAccessibleName(QStringLiteral("Connected Projectors"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({QStringLiteral("Address"), QStringLiteral("Letter"), QStringLiteral("Type code"),
                            QStringLiteral("Model"), QStringLiteral("Version"), QStringLiteral("Id number"),
                            QStringLiteral("State")});
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(true);

    checkTimer_ = new QTimer(this);
    checkTimer_->setObjectName(QStringLiteral("checkTimer"));
    checkTimer_->setSingleShot(true);
    connect(checkTimer_, &QTimer::timeout, this, [this] {
        if (check_ && !closing_) check_->OnCheckTimer();
    });
}

CommWindow::~CommWindow() { Shutdown(); }

void CommWindow::Open() {
    busy_ = true;
    // Skip search: the window opens empty and leaves the line alone.
    if (!SearchSkipped(state_.options) && SetupConnection(state_.env, state_.link, kOwnerCommWindow)) {
        lineOpenedHere_ = true;
        const bool found = RunSearch();
        if (!abandoned_) {
            if (!found) {
                ShowWarning(state_.env, 18);
                state_.options.searchLimit = 0;
            }
            FillList();
            StartCheck();
        }
    }
    busy_ = false;
    emit openFinished();
}

void CommWindow::Abandon() {
    abandoned_ = true;
    if (ui_) ui_->CancelProgress();
}

bool CommWindow::RunSearch() {
    InputHold hold([this] {
        if (ui_) ui_->CancelProgress();
    });
    bool found = false;
    QEventLoop loop;
    std::thread worker;
    try {
        worker = std::thread([&] {
            found = RunConfiguredSearch(state_);
            // Queued behind the search's last progress calls: the box is gone when the loop ends.
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return RunConfiguredSearch(state_);
    }
    loop.exec();
    worker.join();
    return found;
}

void CommWindow::FillList() {
    list_->clear();
    const ProjectorTable& table = state_.projectors;
    for (int i = 0; i < table.connectedCount; ++i) {
        const ProjectorRowTexts row = ProjectorListRow(state_.env, table.records[static_cast<size_t>(i)]);
        auto* item = new QTreeWidgetItem(list_);
        const std::string* cells[] = {&row.address, &row.letter,   &row.typeCode, &row.model,
                                      &row.version, &row.idNumber, &row.state};
        for (int c = 0; c < 7; ++c) item->setText(c, QString::fromStdString(*cells[c]));
        for (int c : {0, 2, 4, 5}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void CommWindow::StartCheck() {
    BackgroundCheck::Hooks hooks;
    hooks.armTimer = [this](uint32_t ms) {
        if (!closing_) checkTimer_->start(static_cast<int>(ms));
    };
    hooks.applied = [this](const CheckApplied&) { FillList(); };
    check_ = std::make_unique<BackgroundCheck>(state_, dispatcher_, std::move(hooks));

    // The tip window is there before Start, which writes its first line.
    tip_ = new ThreadTipBox(this);
    if (ui_) ui_->SetTipBox(tip_);
    const bool running = check_->Start();
    if (running && check_->ShowsTips()) {
        tip_->show();
    } else {
        if (ui_) ui_->SetTipBox(nullptr);
        delete tip_;
        tip_ = nullptr;
    }
    LayOut();
}

void CommWindow::LayOut() {
    const int w = width(), h = height();
    if (tip_) {
        // The list keeps four fifths, the tip window the fifth below it.
        const int fifth = h / 5;
        list_->setGeometry(0, 0, w, fifth * 4);
        tip_->setGeometry(0, fifth * 4, w, fifth);
    } else {
        list_->setGeometry(0, 0, w, h);
    }
}

void CommWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CommWindow::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    Shutdown();
    event->accept();
}

void CommWindow::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    closing_ = true;
    checkTimer_->stop();
    if (check_) {
        check_->RequestCheckStop();
        // A worker may be waiting for a box shown on this thread, so events run meanwhile.
        InputHold hold;
        while (!check_->WorkersDone()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        check_.reset();
    }
    if (ui_) ui_->SetTipBox(nullptr);
    if (lineOpenedHere_) {
        CloseConnection(state_.link, kOwnerCommWindow);
        lineOpenedHere_ = false;
    }
    SaveOptions(state_);
}

bool CommWindow::HandleCommand(int) { return false; }

bool CommWindow::CommandEnabled(int) const { return true; }

void CommWindow::ProjectorsChanged() { FillList(); }

}  // namespace ombrix::gui
