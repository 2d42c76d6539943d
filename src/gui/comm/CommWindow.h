#pragma once
// The communication window: opens the line, searches for the connected projectors and
// hosts what works with them: the projector tree (with the background check's tip
// window below it) on the left and, right of the splitter, the block overview, the
// information tabs, the direct-access view or the settings view of the adjustment block.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "core/app/Program.h"
#include "core/blocks/ProjectorTree.h"
#include "core/comm/CommLayout.h"
#include "gui/app/WorkingWindow.h"
#include "gui/comm/CommFiles.h"
#include "gui/comm/InfoTabs.h"
#include "gui/comm/LineWork.h"
#include "gui/platform/QtDispatcher.h"

class QRubberBand;
class QTimer;

namespace ombrix {
class BackgroundCheck;
}

namespace ombrix::gui {

class BlockPanes;
class ProjectorTreeModel;
class ProjectorTreeView;
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

    // "Copy to group ...": the RAM row to every member of a group the user picks.
    void CopyToGroup(int ramRow);
    // The group picker of CopyToGroup; tests answer it.
    std::function<QString()> pickGroup;

    ProjectorTreeView* Tree() const { return tree_; }
    ThreadTipBox* TipBox() const { return tip_; }
    BlockPanes* Blocks() const { return panes_; }
    InfoTabs* Info() const { return info_; }
    QWidget* AccessView() const { return access_; }
    CommView View() const { return view_; }
    const SplitState& Split() const { return split_; }
    int TitleHeight() const { return titleHeight_; }
    // The file dialogs; tests answer them.
    FilePicker pickFile = PickFile;

public slots:
    // What the program knows of the projectors changed elsewhere (a remote-control key,
    // a force, a background check): the tree and the views follow.
    void ProjectorsChanged();

signals:
    void openFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool RunSearch();
    void StartCheck();
    void FillTree();
    void NodeClicked(uint32_t data);
    void LabelEdited(const std::vector<int>& path, const QString& text);
    // Expansion and the chosen view's highlight, after the nodes were rebuilt.
    void ShowTreeState();
    // The Group management commands and the tree's group actions.
    int SelectedTreeGroup() const;
    void GroupAction(int action, const QModelIndex& index);
    void NewGroupBox();
    void AddProjectorBox(int treeGroup);
    void AddToGroup(int treeGroup, const std::vector<uint8_t>& addresses);
    void RenameGroupInPlace(int treeGroup);
    void GroupingFile(bool save);
    QWidget* MakeInfoPage(int tab, QWidget* parent);
    // The right side for a view kind; the other views go first.
    void ShowView(CommView view);
    void CloseViews();
    void ToggleSettings();
    void LoadRam(bool append);
    void LayOut();
    void ShowStatusPart(int part, const QString& text) const;
    CommPanes Panes() const;
    void Shutdown();

    ProgramState& state_;
    QtUi* ui_ = nullptr;
    GroupTable groups_;
    ProjectorSession session_;
    BlockView blocks_;
    ViewCommands commands_;
    bool searchSkipped_ = true;
    uint32_t selectedNode_ = 0;  // the tree node last clicked

    ProjectorTreeModel* treeModel_ = nullptr;
    ProjectorTreeView* tree_ = nullptr;
    ThreadTipBox* tip_ = nullptr;
    BlockPanes* panes_ = nullptr;
    QPointer<InfoTabs> info_;
    QPointer<QWidget> access_;
    CommView view_ = CommView::Overview;
    bool projectorPaneShown_ = true;

    SplitState split_;
    int titleHeight_ = 0;
    Splitter dragging_ = Splitter::None;
    QRubberBand* guide_ = nullptr;

    QTimer* checkTimer_ = nullptr;
    // Declared before the check: the check's workers post here until it is destroyed.
    LineWork work_;
    QtDispatcher dispatcher_;
    HeldDispatcher held_{dispatcher_, work_};
    std::unique_ptr<BackgroundCheck> check_;
    bool lineOpenedHere_ = false;
    bool busy_ = false;
    bool abandoned_ = false;
    bool closing_ = false;
    bool shutDown_ = false;
};

}  // namespace ombrix::gui
