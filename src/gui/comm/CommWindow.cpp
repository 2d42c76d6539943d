#include "gui/comm/CommWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QStyle>
#include <QTimer>
#include <qdrawutil.h>
#include <chrono>
#include <system_error>
#include <thread>

#include "kelvanebmp.h"
#include "core/blocks/GroupTree.h"
#include "core/comm/CommSession.h"
#include "core/comm/InfoPages.h"
#include "core/data/SettingsFile.h"
#include "core/discovery/BackgroundCheck.h"
#include "core/discovery/LineRules.h"
#include "core/discovery/QuickSearch.h"
#include "core/directaccess/Iris.h"
#include "core/discovery/Search.h"
#include "core/projector/Messages.h"
#include "gui/app/Images.h"
#include "gui/comm/AddProjectorDialog.h"
#include "gui/comm/BlockPanes.h"
#include "gui/comm/GroupDialog.h"
#include "gui/comm/BlockTableModel.h"
#include "gui/comm/HistoryView.h"
#include "gui/comm/InfoTabs.h"
#include "gui/comm/OptionInfoPage.h"
#include "gui/comm/PaneTitle.h"
#include "gui/comm/ProjectorInfoPage.h"
#include "gui/comm/ProjectorTreeModel.h"
#include "gui/comm/ProjectorTreeView.h"
#include "gui/directaccess/DirectAccessView.h"
#include "gui/directaccess/LineWork.h"
#include "gui/directaccess/SettingsView.h"
#include "gui/discovery/ThreadTipBox.h"
#include "gui/platform/InputHold.h"
#include "gui/platform/QtUi.h"

namespace ombrix::gui {
namespace {

// Status-bar parts of communication mode.
constexpr int kStatusText = 0;
constexpr int kStatusAddress = 2;
constexpr int kStatusSelection = 4;

std::vector<QIcon> LibraryIcons(Library* images, int first, int count) {
    std::vector<QIcon> icons;
    for (int i = 0; i < count; ++i) {
        const QImage image = LibraryImage(images, first + i);
        icons.push_back(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
    }
    return icons;
}

QRect ToQRect(const PaneRect& r) { return QRect(r.x, r.y, r.width, r.height); }

void Place(QWidget* w, const PaneRect& r, bool shown) {
    if (!w) return;
    w->setGeometry(ToQRect(r));
    w->setVisible(shown);
}

}  // namespace

CommWindow::CommWindow(ProgramState& state, QtUi* ui, QWidget* parent) : QWidget(parent), state_(state), ui_(ui) {
    setObjectName(QStringLiteral("MDIComm"));
    setWindowTitle(QStringLiteral("Ombrix Communication"));
    setAccessibleName(windowTitle());
    setMouseTracking(true);
    titleHeight_ = style()->pixelMetric(QStyle::PM_TitleBarHeight) + kSplitBarWidth;

    treeModel_ = new ProjectorTreeModel(this);
    tree_ = new ProjectorTreeView(treeModel_, this);
    connect(tree_, &ProjectorTreeView::nodeClicked, this, &CommWindow::NodeClicked);
    connect(treeModel_, &ProjectorTreeModel::labelEdited, this,
            [this](const QModelIndex& index, const QString& text) { LabelEdited(treeModel_->PathOf(index), text); });
    connect(tree_, &ProjectorTreeView::groupAction, this, &CommWindow::GroupAction);
    connect(treeModel_, &ProjectorTreeModel::projectorsDropped, this, &CommWindow::AddToGroup);

    treeModel_->SetImages(
        LibraryIcons(state_.imagesLibrary.get(), KELVANE_IMAGE_TREE_FIRST, KELVANE_IMAGE_TREE_COUNT));
    tree_->setIconSize(QSize(36, 17));
    panes_ = new BlockPanes(state_, blocks_, work_, this);
    const std::vector<QIcon> blockIcons =
        LibraryIcons(state_.imagesLibrary.get(), KELVANE_IMAGE_BLOCK_FIRST, KELVANE_IMAGE_BLOCK_COUNT);
    for (BlockListKind kind : {BlockListKind::Projector, BlockListKind::Ram})
        panes_->List(kind)->TableModel()->SetIcons(blockIcons);
    panes_->askListingFile = [this] { return pickFile ? pickFile(this, FileAsk::Listing) : QString(); };
    connect(panes_, &BlockPanes::copyToGroup, this, &CommWindow::CopyToGroup);
    pickGroup = [this] { return ChooseGroupName(state_.groups, state_.env, QStringLiteral("Copy to group"), this); };

    guide_ = new QRubberBand(QRubberBand::Line, this);

    checkTimer_ = new QTimer(this);
    checkTimer_->setObjectName(QStringLiteral("checkTimer"));
    checkTimer_->setSingleShot(true);
    connect(checkTimer_, &QTimer::timeout, this, [this] {
        // A tick while the user's command is on the line starts the check after it.
        work_.WhenIdle([this] {
            if (check_ && !closing_) check_->OnCheckTimer();
        });
    });
    split_ = InitialSplit({0, 0, width(), height()});
    LayOut();
}

CommWindow::~CommWindow() { Shutdown(); }

void CommWindow::Open() {
    busy_ = true;
    // Nothing of an earlier window is shown while this one searches.
    BeginOpening(state_, blocks_);
    panes_->Sync();
    ShowStatusPart(kStatusAddress, QString());
    bool searched = false;
    if (!SearchSkipped(state_.options) && SetupConnection(state_.env, state_.link, kOwnerCommWindow)) {
        lineOpenedHere_ = true;
        searched = true;
        const bool found = RunSearch();
        // What the search concludes is the same in every program.
        if (ConcludeSearch(state_, found, abandoned_) == SearchVerdict::Abandoned) {
            busy_ = false;
            emit openFinished();
            return;
        }
    }
    // Without a search nobody is connected in this window.
    if (!searched) state_.projectors.connectedCount = 0;
    searchSkipped_ = !searched;
    const ProjectorTable& t = state_.projectors;
    if (t.connectedCount > 0) {
        work_.Run([this] { ChooseCurrentProjector(state_, session_); });
    } else {
        UseDefaultDescription(state_, session_);
    }

    LoadWorkGroups(state_);
    FillTree();

    // The blocks of the current projector, when it was identified by its own description.
    const int current = t.currentProjectorIndex;
    if (t.connectedCount > 0 && session_.describedIndex == current && !t.records[static_cast<size_t>(current)].standby) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        work_.Run([this] { BuildProjectorBlocks(state_, blocks_, session_.description); });
        QApplication::restoreOverrideCursor();
    }
    if (searched) PrepareRamContainers(state_, blocks_);
    RefreshBlockLists(state_, blocks_);
    panes_->Sync();

    ShowStatusPart(kStatusAddress, QString::number(state_.link.currentAddress));
    ShowStatusPart(kStatusSelection, QStringLiteral("Overview"));
    if (searched) StartCheck();
    commands_ = OpeningCommands(state_, searchSkipped_);
    view_ = CommView::Overview;
    projectorPaneShown_ = true;
    LayOut();
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
    // The search clears the cancel flag when its box opens: an abandon that came first
    // is repeated until the search has seen it.
    QTimer repeat;
    connect(&repeat, &QTimer::timeout, this, [this] {
        if (abandoned_ && ui_) ui_->CancelProgress();
    });
    repeat.start(10);
    loop.exec();
    worker.join();
    return found;
}

void CommWindow::FillTree() {
    FillProjectorTree(state_, groups_);
    if (!groups_.roots.empty()) groups_.roots[0].expanded = true;
    for (size_t r = 1; r < groups_.roots.size(); ++r) groups_.roots[r].expanded = true;
    if (state_.projectors.connectedCount > 0) ExpandProjector(groups_, state_.link.currentAddress);
    treeModel_->Sync(groups_.roots);
    ShowTreeState();
}

void CommWindow::StartCheck() {
    BackgroundCheck::Hooks hooks;
    hooks.armTimer = [this](uint32_t ms) {
        if (!closing_) checkTimer_->start(static_cast<int>(ms));
    };
    hooks.applied = [this](const CheckApplied& applied) {
        // Said first: an IRIS run that ended with its projector says so over it.
        if (!applied.removed.empty())
            ShowStatusPart(kStatusText, QString::fromStdString(LostProjectorsText(applied.removed)));
        ProjectorsChanged();
    };
    check_ = std::make_unique<BackgroundCheck>(state_, held_, std::move(hooks));

    // The tip window is there before Start, which writes its first line.
    tip_ = new ThreadTipBox(this);
    tip_->setAccessibleName(QStringLiteral("Background check"));
    if (ui_) ui_->SetTipBox(tip_);
    const bool running = check_->Start();
    if (running && check_->ShowsTips()) {
        tip_->show();
    } else {
        if (ui_) ui_->SetTipBox(nullptr);
        delete tip_;
        tip_ = nullptr;
    }
}

void CommWindow::NodeClicked(uint32_t data) {
    if (busy_ || closing_) {
        ShowTreeState();
        return;
    }
    const NodeKind kind = NodeDataKind(data);
    const bool viewNode = kind >= kNodeInfo && kind <= kNodeHistory;
    // An IRIS run in progress keeps its view: leaving it would cut the run short unseen.
    if (DirectAccessBusy(state_)) {
        if (viewNode) {
            ShowTreeState();
            ShowStatusPart(kStatusText, QString::fromLatin1(kIrisBusyText));
        }
        return;
    }
    NodeSelection sel;
    const bool settingsShown = view_ == CommView::Settings;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    panes_->PushSelection();
    work_.Run([&] { sel = SelectViewNode(state_, session_, &blocks_, data, true, settingsShown); });
    QApplication::restoreOverrideCursor();
    panes_->Sync();
    if (!sel.refusal.empty()) {
        // The highlight stays on the view that is still shown.
        ShowTreeState();
        ShowStatusPart(kStatusText, QString::fromStdString(sel.refusal));
        return;
    }
    if (!sel.handled) return;
    if (sel.projectorChanged) ShowStatusPart(kStatusAddress, QString::number(state_.link.currentAddress));
    if (sel.projectorChanged && !sel.showView) {
        // The blocks listed were another projector's.
        CloseViews();
        projectorPaneShown_ = false;
    }
    if (!sel.statusText.empty()) {
        commands_ = sel.commands;
        ShowStatusPart(kStatusSelection, QString::fromStdString(sel.statusText));
    }
    selectedNode_ = data;
    if (sel.showView) ShowView(sel.kind == kNodeHistory ? CommView::History : static_cast<CommView>(sel.kind));
    LayOut();
}

void CommWindow::LabelEdited(const std::vector<int>& path, const QString& text) {
    const TreeNode* node = treeModel_->Node(treeModel_->IndexOfPath(path));
    if (!node) return;
    const uint32_t data = node->data;
    if (EndLabelEdit(state_, groups_, FindGroupByNode(groups_, path), data, text.toStdString())) {
        treeModel_->Sync(groups_.roots);
        ShowTreeState();
    }
}

void CommWindow::ShowTreeState() {
    for (size_t r = 0; r < groups_.roots.size(); ++r) {
        tree_->expand(treeModel_->IndexOfPath({static_cast<int>(r)}));
    }
    const std::vector<int> at = FindNode(groups_, NodeData(kNodeGroupOrProjector, state_.link.currentAddress));
    if (!at.empty()) tree_->expand(treeModel_->IndexOfPath(at));
    // The chosen view keeps its highlight over every rebuild of the nodes.
    const std::vector<int> chosen = selectedNode_ ? FindNode(groups_, selectedNode_) : std::vector<int>{};
    const QModelIndex index = chosen.empty() ? QModelIndex() : treeModel_->IndexOfPath(chosen);
    if (index.isValid()) {
        tree_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else {
        tree_->selectionModel()->clearSelection();
    }
}

void CommWindow::CloseViews() {
    delete info_;
    delete access_;
    view_ = CommView::Overview;
}

void CommWindow::ShowView(CommView view) {
    CloseViews();
    view_ = view;
    projectorPaneShown_ = view == CommView::Overview;
    switch (view) {
        case CommView::Info:
            info_ = new InfoTabs([this](int tab, QWidget* parent) { return MakeInfoPage(tab, parent); }, this);
            break;
        case CommView::DirectAccess:
            access_ = CreateDirectAccessView(state_, ui_, this);
            // A force or a source change alters the projector records the tree shows.
            if (access_) connect(access_, SIGNAL(projectorsChanged()), this, SLOT(ProjectorsChanged()));
            break;
        case CommView::Settings:
            access_ = CreateSettingsView(state_, ui_, this);
            break;
        case CommView::History:
            access_ = new HistoryView(state_, static_cast<uint8_t>(state_.link.currentAddress), work_, this);
            break;
        case CommView::Overview:
            break;
    }
    if (access_) access_->setAccessibleName(access_->accessibleName().isEmpty()
                                                ? QStringLiteral("Projector Info Window")
                                                : access_->accessibleName());
    panes_->Sync();
    LayOut();
}

QWidget* CommWindow::MakeInfoPage(int tab, QWidget* parent) {
    if (tab == 0) {
        return new ProjectorInfoPage(
            [this](ProjectorInfoPage* page) {
                QPointer<ProjectorInfoPage> target(page);
                // The projector is asked once the line is free of the user's other work.
                work_.WhenIdle([this, target] {
                    if (!target || closing_) return;
                    ProjectorInfoLines lines;
                    const uint32_t node = selectedNode_;
                    work_.Run([&] { lines = FillProjectorInfo(state_, groups_, node, node != 0); });
                    if (target) target->Show(lines);
                });
            },
            parent);
    }
    if (tab == 1) {
        const ProjectorTable& t = state_.projectors;
        std::array<std::string, 7> lines{};
        if (t.currentProjectorIndex >= 0 && t.currentProjectorIndex < t.connectedCount)
            lines = InstalledOptionLines(t.records[static_cast<size_t>(t.currentProjectorIndex)]);
        return new OptionInfoPage(lines, parent);
    }
    auto* general = new QWidget(parent);
    general->setObjectName(QStringLiteral("GENERALINFO"));
    general->setAccessibleName(QStringLiteral("General Info"));
    return general;
}

void CommWindow::ToggleSettings() {
    if (view_ == CommView::Settings) {
        // Back to the overview, its blocks read again.
        const ProjectorTable& t = state_.projectors;
        const int i = t.currentProjectorIndex;
        if (t.connectedCount > 0 && i >= 0 && i < t.connectedCount && !t.records[static_cast<size_t>(i)].standby &&
            session_.hasDescription && session_.describedIndex == i) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            panes_->PushSelection();
            work_.Run([this] { BuildProjectorBlocks(state_, blocks_, session_.description); });
            RefreshBlockLists(state_, blocks_);
            QApplication::restoreOverrideCursor();
        }
        ShowView(CommView::Overview);
    } else if (blocks_.settingsEnabled) {
        ShowView(CommView::Settings);
    }
}

void CommWindow::LoadRam(bool append) {
    const QString path = pickFile ? pickFile(this, append ? FileAsk::AppendSettings : FileAsk::LoadSettings) : QString();
    if (path.isEmpty()) return;
    const SettingsCommandResult r = append ? AppendSettingsCommand(state_.env, state_.blocks, path.toStdString())
                                           : LoadSettingsCommand(state_.env, state_.blocks, path.toStdString());
    // The RAM list anew, nothing of it selected.
    blocks_.ramList.rows.clear();
    RefreshBlockLists(state_, blocks_);
    panes_->Sync();
    if (r.fileRead) commands_.saveRam = commands_.listRam = r.ramHasRows;
}

bool CommWindow::HandleCommand(int id) {
    if (busy_ || work_.Running()) return false;
    if (id >= kCmdSettingsViewFirst && id <= kCmdSettingsViewLast) {
        auto* target = dynamic_cast<CommandTarget*>(access_.data());
        return view_ == CommView::Settings && target && target->HandleCommand(id);
    }
    // A greyed command does nothing, whichever way it arrives.
    for (int own : {kCmdSaveRam, kCmdLoadRam, kCmdAppendRam, kCmdListProjectorBlocks, kCmdListRamBlocks, kCmdSettings}) {
        if (id == own && !CommandEnabled(id)) return true;
    }
    switch (id) {
        case kCmdSaveRam: {
            const QString path = pickFile ? pickFile(this, FileAsk::SaveSettings) : QString();
            if (!path.isEmpty()) SaveSettingsFile(state_.env, state_.blocks, path.toStdString());
            return true;
        }
        case kCmdLoadRam:
            LoadRam(false);
            return true;
        case kCmdAppendRam:
            LoadRam(true);
            return true;
        case kCmdListProjectorBlocks:
            panes_->ConvertToText(BlockListKind::Projector);
            return true;
        case kCmdListRamBlocks:
            panes_->ConvertToText(BlockListKind::Ram);
            return true;
        case kCmdSettings:
            ToggleSettings();
            return true;
        case kCmdNoEffect:
        case kCmdCheckConnection:
            return true;
        case kCmdNewGroup:
            NewGroupBox();
            return true;
        case kCmdDeleteGroup:
            if (DeleteTreeGroup(state_, SelectedTreeGroup())) FillTree();
            return true;
        case kCmdRenameGroup:
            RenameGroupInPlace(SelectedTreeGroup());
            return true;
        case kCmdSaveGrouping:
            GroupingFile(true);
            return true;
        case kCmdLoadGrouping:
            GroupingFile(false);
            return true;
        default:
            return false;
    }
}

int CommWindow::SelectedTreeGroup() const {
    const std::vector<int> path = treeModel_->PathOf(tree_->currentIndex());
    return path.empty() ? -1 : path[0];
}

void CommWindow::GroupAction(int action, const QModelIndex& index) {
    if (busy_ || work_.Running()) return;
    const std::vector<int> path = treeModel_->PathOf(index);
    const int group = path.empty() ? -1 : path[0];
    switch (action) {
        case ProjectorTreeView::kNewGroup:
            NewGroupBox();
            break;
        case ProjectorTreeView::kDeleteGroup:
            if (DeleteTreeGroup(state_, group)) FillTree();
            break;
        case ProjectorTreeView::kRenameGroup:
            RenameGroupInPlace(group);
            break;
        case ProjectorTreeView::kAddProjector:
            AddProjectorBox(group);
            break;
        case ProjectorTreeView::kBackupGroup: {
            if (DirectAccessBusy(state_)) break;
            std::vector<GroupBackupLine> lines;
            panes_->PushSelection();
            work_.Run([&] { lines = BackupGroupToRam(state_, session_, blocks_, group); });
            panes_->Sync();
            ShowStatusPart(kStatusAddress, QString::number(state_.link.currentAddress));
            std::string summary;
            for (const GroupBackupLine& l : lines) summary += GroupBackupText(l) + "\n";
            if (!summary.empty() && state_.env.ui)
                state_.env.ui->ShowBox("Back up group to RAM container", summary, BoxIcon::Information);
            // The RAM commands follow the rows, where the view offers them at all.
            if (view_ == CommView::Overview || view_ == CommView::Info) {
                commands_.saveRam = commands_.loadRam = commands_.appendRam = commands_.listRam =
                    state_.blocks.ramRowCount > 0;
            }
            LayOut();
            break;
        }
        case ProjectorTreeView::kRemoveFromGroup: {
            const TreeNode* node = treeModel_->Node(index);
            if (node && RemoveFromTreeGroup(state_, group, NodeDataAddress(node->data))) FillTree();
            break;
        }
        default:
            break;
    }
}

void CommWindow::CopyToGroup(int ramRow) {
    if (busy_ || work_.Running() || DirectAccessBusy(state_)) return;
    const QString group = pickGroup ? pickGroup() : QString();
    if (group.isEmpty()) return;
    std::vector<MemberOutcome> members;
    panes_->PushSelection();
    work_.Run([&] { members = CopyRamBlockToGroup(state_, session_, blocks_, group.toStdString(), ramRow); });
    panes_->Sync();
    ShowStatusPart(kStatusAddress, QString::number(state_.link.currentAddress));
    LayOut();
    if (members.empty() || !state_.env.ui) return;
    std::string summary;
    size_t done = 0;
    for (const MemberOutcome& m : members) {
        summary += MemberOutcomeLine(m) + "\n";
        done += m.skipped == MemberSkip::None && m.done;
    }
    summary += std::to_string(done) + " of " + std::to_string(members.size()) + " done";
    ShowStatusPart(kStatusText, QString::fromStdString("Copy to group " + group.toStdString() + ": " +
                                                       GroupOutcomeText(members)));
    state_.env.ui->ShowBox("Copy to group " + group.toStdString(), summary,
                           AllMembersDone(members) ? BoxIcon::Information : BoxIcon::Exclamation);
}

void CommWindow::NewGroupBox() {
    GroupDialog dialog([this](const std::string& name) { return NewGroup(state_, name); }, this);
    if (dialog.exec() == QDialog::Accepted) FillTree();
}

void CommWindow::AddProjectorBox(int treeGroup) {
    // The rules that need no list are told before the list is shown.
    if (treeGroup < 0) {
        AddToTreeGroup(state_, -1, {});
        return;
    }
    if (treeGroup == 0) {
        AddToTreeGroup(state_, 0, {});
        return;
    }
    AddProjectorDialog dialog(AddProjectorChoices(state_), this);
    if (dialog.exec() != QDialog::Accepted) return;
    AddToGroup(treeGroup, dialog.Chosen());
}

void CommWindow::AddToGroup(int treeGroup, const std::vector<uint8_t>& addresses) {
    if (AddToTreeGroup(state_, treeGroup, addresses)) FillTree();
}

void CommWindow::RenameGroupInPlace(int treeGroup) {
    if (treeGroup < 0) {
        ShowWarning(state_.env, 28);
        return;
    }
    if (treeGroup == 0) {
        RenameTreeGroup(state_, 0, {});  // refused, with the reason
        return;
    }
    const QModelIndex index = treeModel_->IndexOfPath({treeGroup});
    tree_->setCurrentIndex(index);
    tree_->edit(index);
}

void CommWindow::GroupingFile(bool save) {
    const QString path = pickFile ? pickFile(this, save ? FileAsk::SaveGrouping : FileAsk::LoadGrouping) : QString();
    if (path.isEmpty()) return;
    if (save) {
        if (SaveGroupingAs(state_, path.toStdString()) && state_.env.ui) {
            const size_t n = state_.groups.groups.size();
            state_.env.ui->ShowBox("Save grouping",
                                   std::to_string(n) + (n == 1 ? " group" : " groups") + " saved in " +
                                       path.toStdString() + ".",
                                   BoxIcon::Information);
        }
    } else if (LoadGroupingFrom(state_, path.toStdString())) {
        FillTree();
    }
}

bool CommWindow::CommandEnabled(int id) const {
    if (id >= kCmdSettingsViewFirst && id <= kCmdSettingsViewLast) {
        const auto* target = dynamic_cast<const CommandTarget*>(access_.data());
        return view_ == CommView::Settings && target && target->CommandEnabled(id);
    }
    switch (id) {
        case kCmdSaveRam:
            return commands_.saveRam;
        case kCmdLoadRam:
            return commands_.loadRam;
        case kCmdAppendRam:
            return commands_.appendRam;
        case kCmdListProjectorBlocks:
            return commands_.listProjectorBlocks && view_ == CommView::Overview && projectorPaneShown_;
        case kCmdListRamBlocks:
            return commands_.listRam && view_ != CommView::DirectAccess && view_ != CommView::Settings;
        case kCmdSettings:
            return view_ == CommView::Settings || (blocks_.settingsEnabled && view_ != CommView::DirectAccess);
        case kCmdNoEffect:
            return true;
        case kCmdCheckConnection:
            return false;
        default:
            return true;
    }
}

void CommWindow::ProjectorsChanged() {
    if (closing_ || busy_) return;
    if (blocks_.dragging || LineBusy()) {
        // The rows under the mouse stay as they are until the drag ends, and a panel at
        // work on the line is not closed under it.
        QTimer::singleShot(100, this, &CommWindow::ProjectorsChanged);
        return;
    }
    panes_->PushSelection();
    // A run on a projector that went ends with its view; the status part says why.
    const bool irisGone = IrisProjectorGone(state_);
    const uint8_t irisAddress = state_.direct.irisAddress;
    const TreeRefresh r = RefreshProjectorTree(state_, groups_, session_, &blocks_);
    if (r.currentChanged || irisGone) {
        // Nothing on the right may go on talking about a projector that went.
        CloseViews();
        projectorPaneShown_ = false;
        selectedNode_ = 0;
    }
    if (irisGone) ShowStatusPart(kStatusText, QString::fromStdString(IrisEndedText(irisAddress)));
    treeModel_->Sync(groups_.roots);
    ShowTreeState();
    ShowStatusPart(kStatusAddress, QString::number(state_.link.currentAddress));
    panes_->Sync();
    LayOut();
}

void CommWindow::ShowStatusPart(int part, const QString& text) const {
    if (showStatus) showStatus(part, text);
}

CommPanes CommWindow::Panes() const {
    return LayOutCommWindow({0, 0, width(), height()}, split_, titleHeight_, tip_ != nullptr, view_);
}

void CommWindow::LayOut() {
    const CommPanes p = Panes();
    Place(tree_, p.tree, true);
    Place(tip_, p.tip, tip_ != nullptr);
    const bool overview = view_ == CommView::Overview && projectorPaneShown_;
    Place(panes_->Title(BlockListKind::Projector), p.upperTitle, overview);
    Place(panes_->List(BlockListKind::Projector), p.projectorList, overview);
    Place(panes_->Title(BlockListKind::Ram), p.lowerTitle, p.ramPaneShown);
    Place(panes_->List(BlockListKind::Ram), p.ramList, p.ramPaneShown);
    Place(info_, p.tabs, info_ != nullptr);
    Place(access_, p.tabs, access_ != nullptr);
    for (BlockListKind kind : {BlockListKind::Projector, BlockListKind::Ram})
        panes_->List(kind)->SetColumnWidths(p.columnWidth);
    update();
}

void CommWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ResizeSplit(split_, {0, 0, width(), height()});
    LayOut();
}

void CommWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const CommPanes p = Panes();
    for (const PaneRect& bar : {p.verticalBar, p.horizontalBar}) {
        if (bar.width > 0 && bar.height > 0)
            qDrawShadePanel(&painter, ToQRect(bar), palette(), false, 1, &palette().brush(QPalette::Button));
    }
}

void CommWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    dragging_ = event->button() == Qt::LeftButton ? SplitterAt(Panes(), at.x(), at.y()) : Splitter::None;
    if (dragging_ == Splitter::None) {
        QWidget::mousePressEvent(event);
        return;
    }
    setCursor(dragging_ == Splitter::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
    mouseMoveEvent(event);
    guide_->show();
}

void CommWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (dragging_ == Splitter::Vertical) {
        guide_->setGeometry(at.x(), 0, 2, height());
    } else if (dragging_ == Splitter::Horizontal) {
        guide_->setGeometry(0, at.y(), width(), 2);
    } else {
        const Splitter over = SplitterAt(Panes(), at.x(), at.y());
        if (over == Splitter::None) {
            unsetCursor();
        } else {
            setCursor(over == Splitter::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
        }
    }
}

void CommWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (dragging_ == Splitter::None || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    guide_->hide();
    const QPoint at = event->position().toPoint();
    MoveSplitter(split_, {0, 0, width(), height()}, dragging_, dragging_ == Splitter::Vertical ? at.x() : at.y());
    dragging_ = Splitter::None;
    unsetCursor();
    LayOut();
}

void CommWindow::closeEvent(QCloseEvent* event) {
    if (busy_ || work_.Running()) {
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
    CloseViews();
    ReleaseDescription(&session_.description);
    groups_.mainGroupFlag = true;
    // The check's workers end before the line closes.
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

}  // namespace ombrix::gui
