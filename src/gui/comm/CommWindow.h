#pragma once
// The communication window: opens the line, searches for the connected projectors,
// lists them and, while it is open, runs the background connection check with its tip
// window. The block views, the projector tree and the tabs will join it here.
#include <QWidget>
#include <memory>

#include "core/app/Program.h"
#include "gui/app/WorkingWindow.h"
#include "gui/platform/QtDispatcher.h"

class QTimer;
class QTreeWidget;

namespace ombrix {
class BackgroundCheck;
}

namespace ombrix::gui {

class QtUi;
class ThreadTipBox;

class CommWindow : public QWidget, public CommandTarget {
    Q_OBJECT
public:
    // ui: the program's Qt Ui when it is one (tip window, Cancel); may be nullptr.
    CommWindow(ProgramState& state, QtUi* ui, QWidget* parent = nullptr);
    ~CommWindow() override;

    // The opening sequence. Call once the window is shown: it keeps painting while the
    // search runs on a worker, and all other input is held back until it ends.
    void Open();
    // True while Open() runs; the window cannot close then.
    bool Busy() const { return busy_; }
    // Cuts a running opening short: the search stops as on Ctrl+Break, nothing follows.
    void Abandon();

    // The frame's commands of communication mode that act on this window.
    bool HandleCommand(int commandId) override;
    bool CommandEnabled(int commandId) const override;

    QTreeWidget* ProjectorList() const { return list_; }

public slots:
    // What the program knows of the projectors changed elsewhere (a remote-control key,
    // a force): the tree and the views follow.
    void ProjectorsChanged();
    ThreadTipBox* TipBox() const { return tip_; }

signals:
    void openFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool RunSearch();
    void FillList();
    void StartCheck();
    void LayOut();
    void Shutdown();

    ProgramState& state_;
    QtUi* ui_ = nullptr;
    QTreeWidget* list_ = nullptr;
    ThreadTipBox* tip_ = nullptr;
    QTimer* checkTimer_ = nullptr;
    // Declared before the check: the check's workers post here until it is destroyed.
    QtDispatcher dispatcher_;
    std::unique_ptr<BackgroundCheck> check_;
    bool lineOpenedHere_ = false;
    bool busy_ = false;
    bool abandoned_ = false;
    bool closing_ = false;
    bool shutDown_ = false;
};

}  // namespace ombrix::gui
