#pragma once
// The program's one top-level window: menus, toolbar and status bar around an MDI area
// that holds the working windows.
#include <QMainWindow>
#include <QPointer>
#include <QTime>
#include <vector>

#include "core/app/Program.h"

class QLabel;
class QMdiArea;

namespace ombrix::gui {

class CommWindow;
class QtUi;

// The status bar's clock: "%2d:%02d:%02d %s", 12-hour with AM/PM, hour 0 shown as 12.
QString ClockText(const QTime& time);

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Loads comm.cfg: the line settings belong to the frame's lifetime.
    explicit MainFrame(ProgramState& state, QWidget* parent = nullptr);

    QMdiArea* MdiArea() const { return mdi_; }
    CommWindow* Communication() const;

public slots:
    // File → Exit, the close box and SIGINT/SIGTERM all end here.
    void Exit();
    void OpenCommunicationSetup();
    void OpenAbout();
    // Closes the other working windows, then opens the communication window and runs
    // its opening (line, search, list); returns when that is done.
    void OpenCommunication();
    void OpenAddressSet();
    void ChooseSearchMode(int commandId);

signals:
    // The frame has closed for good: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, const QString& text, int commandId, const QKeySequence& key);
    // Check marks of the search-mode commands and the mode text of the status bar.
    void ShowSearchMode();
    void ShowClock();

    ProgramState& state_;
    QtUi* ui_ = nullptr;
    QMdiArea* mdi_ = nullptr;
    QPointer<CommWindow> comm_;
    std::vector<std::pair<int, QAction*>> searchModes_;
    QLabel* searchModeText_ = nullptr;
    QLabel* clock_ = nullptr;
    // An exit asked for while the communication window was opening waits for it.
    bool exitPending_ = false;
};

}  // namespace ombrix::gui
