#pragma once
#include <QWidget>
#include <memory>

#include "core/app/Program.h"
#include "core/data/Formatting.h"
#include "gui/app/WorkingWindow.h"
#include "gui/editor/EditorKeeps.h"

class QLabel;
class QListWidget;
class QSplitter;

namespace ombrix::gui {

class QtUi;
class WindowUi;
class EditorPane;
class RamFilesView;

// What the explorer's views keep for the whole process, beyond one view and one window.
struct ExplorerKeeps {
    std::shared_ptr<ParameterColumnSwitches> switches = std::make_shared<ParameterColumnSwitches>();
    std::shared_ptr<EditorKeeps> editor = std::make_shared<EditorKeeps>();
};

// keeps: the frame's, so that they last the process; a window given none keeps its own.
QWidget* CreateExplorerWindow(ProgramState& state, QtUi* ui, QWidget* parent, const ExplorerKeeps& keeps = {});

// The explorer working window ("Ombrix Explorer"): the four icons on the left, and on
// the right the view chosen there, the settings-file browser or the text editor. The
// widget is also a CommandTarget: the frame routes the editor's commands to it and asks
// it before closing.
class ExplorerWindow : public QWidget, public CommandTarget {
    Q_OBJECT
public:
    // ui: the program's Qt Ui; boxes are then modal to this window. nullptr: the state's
    // Ui is used as it is (tests).
    ExplorerWindow(ProgramState& state, QtUi* ui, QWidget* parent = nullptr, ExplorerKeeps keeps = {});
    ~ExplorerWindow() override;

    bool HandleCommand(int commandId) override;
    bool CommandEnabled(int commandId) const override;
    bool QueryClose() override;

    // A click on icon 0-3 (-1: beside them).
    void ClickItem(int item);
    int View() const { return view_; }
    QListWidget* Icons() const { return icons_; }
    EditorPane* Editor() const { return editor_; }
    RamFilesView* RamFiles() const { return ramFiles_; }
    QString TitleText() const;

signals:
    // A state of the editor's menus and toolbar changed.
    void commandStatesChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool LeaveView();
    void ShowView(int view);
    void Highlight(int item);
    void LayOutIcons();
    void ShowStatus(const QString& text);

    ProgramState& state_;
    ExplorerKeeps keeps_;
    std::unique_ptr<WindowUi> windowUi_;
    Env env_;
    int view_ = -1;
    bool splitDragged_ = false;
    // The user agreed to drop the text since it last changed.
    bool closeAgreed_ = false;
    QSplitter* split_ = nullptr;
    QListWidget* icons_ = nullptr;
    QWidget* right_ = nullptr;
    QLabel* title_ = nullptr;
    QWidget* viewWidget_ = nullptr;
    EditorPane* editor_ = nullptr;
    QLabel* fileName_ = nullptr;
    RamFilesView* ramFiles_ = nullptr;
};

}  // namespace ombrix::gui
