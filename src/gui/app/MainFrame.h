#pragma once
// The program's one top-level window: menus, toolbar and status bar of the current mode
// around an MDI area that holds at most one working window.
#include <QMainWindow>
#include <QPointer>
#include <QTime>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "core/app/Program.h"
#include "core/frame/FrameTables.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;

namespace ombrix::gui {

class CommandTarget;
class CommWindow;
class HelpWindow;
struct ExplorerKeeps;
class LiveLabel;
class MdiClient;
class QtUi;

QString ClockText(const QTime& time);

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Loads comm.cfg: the line settings belong to the frame's lifetime.
    explicit MainFrame(ProgramState& state, QWidget* parent = nullptr);
    ~MainFrame() override;

    QMdiArea* MdiArea() const;
    CommWindow* Communication() const;
    // The open communication or explorer window; nullptr in main mode.
    QWidget* WorkingWindow() const;
    FrameMode Mode() const { return mode_; }

    // Swaps menus, toolbar and status bar; the clock runs in main mode only.
    void SetMode(FrameMode mode);
    // One part of the current mode's status bar (0 = the first).
    void ShowStatus(int part, const QString& text);
    QString StatusText(int part) const;
    QToolBar* ModeToolBar(FrameMode mode) const { return modes_[Index(mode)].toolbar; }
    QTimer* ClockTimer() const { return clockTimer_; }

    // What a menu item, key or toolbar button of this id does.
    void Dispatch(int commandId);
    // Asks every working window, then closes them; false when one refused.
    bool CloseAll();
    // Closes every working window, then shows the one `create` makes, maximised, in
    // `mode`; false when a window refused to close.
    bool OpenWorkingWindow(FrameMode mode, const std::function<QWidget*()>& create);
    // Enabled states of the menus and buttons, from the working window. Runs before every
    // menu, key and button is used, after every command and whenever the explorer says
    // its states changed.
    void RefreshCommandStates();

public slots:
    // File → Exit and the close box end here.
    void Exit();
    // SIGINT/SIGTERM: the program ends as on Exit, without waiting for any open box.
    void EndSession();
    void OpenCommunicationSetup();
    void OpenAbout();
    void OpenHelp();
    // Closes the working window, then opens the communication window and runs its
    // opening (line, search, list); returns when that is done.
    void OpenCommunication();
    void OpenExplorer();
    void OpenAddressSet();
    void ChooseSearchMode(int commandId);

signals:
    // The frame has closed for good: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct ModeWidgets {
        std::vector<QMenu*> bar;
        std::vector<std::pair<int, QAction*>> commands;  // menu items and toolbar buttons
        QToolBar* toolbar = nullptr;
        QWidget* status = nullptr;
        std::vector<LiveLabel*> parts;
    };
    static size_t Index(FrameMode mode) { return static_cast<size_t>(mode); }

    void BuildMenus(FrameMode mode);
    void BuildToolBar(FrameMode mode);
    void BuildStatusBar(FrameMode mode);
    void BuildAccelerators();
    void LayOutStatusParts();
    // The enabled states alone: cheap enough for every key and click.
    void UpdateCommandEnables();
    void ShowMenuHelp(int stringId);
    void MenuClosed();
    CommandTarget* Target() const;
    // Check marks of the search-mode commands and the mode text of the status bar.
    void ShowSearchMode();
    void ShowClock();
    void ShowHelpPage(const QString& page);

    ProgramState& state_;
    QtUi* ui_ = nullptr;
    FrameMode mode_ = FrameMode::Main;
    std::array<ModeWidgets, 3> modes_;
    std::vector<std::pair<int, QAction*>> accelerators_;
    MdiClient* mdi_ = nullptr;
    QTimer* clockTimer_ = nullptr;
    QTimer* statesTimer_ = nullptr;
    QPointer<QMdiSubWindow> working_;
    QPointer<CommWindow> comm_;
    QPointer<HelpWindow> help_;
    // Column switches, find strings, font and printer of the explorer, for the process.
    std::unique_ptr<ExplorerKeeps> explorerKeeps_;
    // The page F1 asked for, until the help opens; empty for the contents.
    QString helpPage_;
    // An exit asked for while the communication window was opening waits for it.
    bool exitPending_ = false;
};

}  // namespace ombrix::gui
