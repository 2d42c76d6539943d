#include "gui/app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "core/app/ProgramStrings.h"
#include "core/discovery/QuickSearch.h"
#include "core/discovery/Search.h"
#include "gui/app/AboutDialog.h"
#include "gui/app/Images.h"
#include "gui/app/WorkingWindow.h"
#include "gui/comm/CommWindow.h"
#include "gui/discovery/AddressSetBox.h"
#include "gui/explorer/ExplorerWindow.h"
#include "gui/frame/HelpWindow.h"
#include "gui/frame/MdiClient.h"
#include "gui/link/CommSetDialog.h"
#include "gui/platform/InputHold.h"
#include "gui/platform/Accessible.h"
#include "gui/platform/ProgressBox.h"
#include "gui/platform/QtUi.h"
#include "gui/remote/RemoteControl.h"
#include "kelvanebmp.h"

namespace ombrix::gui {
namespace {

constexpr FrameMode kModes[] = {FrameMode::Main, FrameMode::Communication, FrameMode::Explorer};
const char* const kCommandIdProperty = "commandId";

QString StringText(int id) {
    const char* text = id ? ProgramString(id) : nullptr;
    return text ? QString::fromLatin1(text) : QString();
}

QString WithoutMnemonic(const char* text) {
    QString plain = QString::fromLatin1(text);
    plain.remove(QLatin1Char('&'));
    return plain;
}

QKeySequence KeyOf(int commandId) {
    const char* key = MenuItemKey(commandId);
    return key ? QKeySequence(QString::fromLatin1(key), QKeySequence::PortableText) : QKeySequence();
}

int CommandOf(const QAction* action) { return action ? action->property(kCommandIdProperty).toInt() : 0; }

// Status-bar objects the window tests and assistive technology look for.
QString PartObjectName(FrameMode mode, size_t part) {
    if (mode == FrameMode::Main && part == kStatusSearchModePart) return QStringLiteral("searchMode");
    if (mode == FrameMode::Main && part == kStatusClockPart) return QStringLiteral("clock");
    return QStringLiteral("status%1part%2").arg(static_cast<int>(mode)).arg(part);
}

}  // namespace

QString ClockText(const QTime& time) {
    return QString::fromStdString(ombrix::ClockText(time.hour(), time.minute(), time.second()));
}

MainFrame::MainFrame(ProgramState& state, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      ui_(dynamic_cast<QtUi*>(state.env.ui)),
      explorerKeeps_(std::make_unique<ExplorerKeeps>()) {
    setObjectName(QString::fromLatin1(ProgramString(1)));
    setWindowTitle(QString::fromLatin1(ProgramString(2)));
    setAccessibleName(windowTitle());
    // The close box still reaches the frame while a search holds the input back.
    setProperty(kCloseDuringHold, true);
    const QImage icon = LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_WINDOW_ICON);
    if (!icon.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    if (ui_) ui_->SetOwner(this);

    menuBar()->setAccessibleName(QStringLiteral("Menu bar"));
    statusBar()->setAccessibleName(QStringLiteral("Status bar"));
    statusBar()->setSizeGripEnabled(false);
    for (FrameMode mode : kModes) {
        BuildMenus(mode);
        BuildToolBar(mode);
        BuildStatusBar(mode);
    }
    BuildAccelerators();

    clockTimer_ = new QTimer(this);
    clockTimer_->setObjectName(QStringLiteral("clockTimer"));
    clockTimer_->setInterval(kClockIntervalMs);
    connect(clockTimer_, &QTimer::timeout, this, &MainFrame::ShowClock);

    // The buttons follow the working window's states (a selection, the clipboard) while
    // the user works in it, not only when a menu opens.
    statesTimer_ = new QTimer(this);
    statesTimer_->setSingleShot(true);
    connect(statesTimer_, &QTimer::timeout, this, &MainFrame::RefreshCommandStates);
    qApp->installEventFilter(this);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, statesTimer_, qOverload<>(&QTimer::start));

    mdi_ = new MdiClient(LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_FRAME_BACKGROUND));
    setCentralWidget(mdi_);
    resize(960, 640);

    // The session ends as Exit would, unless a working window keeps it.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!manager.allowsInteraction()) return;
        bool keep = false;
        for (QMdiSubWindow* sub : mdi_->subWindowList()) {
            if (auto* target = dynamic_cast<CommandTarget*>(sub->widget()); target && !target->QueryClose()) {
                keep = true;
                break;
            }
        }
        manager.release();
        if (keep) manager.cancel();
    });

    LoadCommSettings(state_);
    SetMode(FrameMode::Main);
}

MainFrame::~MainFrame() { qApp->removeEventFilter(this); }

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride: {
            // Sent before any key is matched against the accelerators, whichever window
            // has the focus (the find dialog included): the key meets today's states.
            UpdateCommandEnables();
            auto* key = static_cast<QKeyEvent*>(event);
            // The event also travels up the focus widget's parents: each step below may run
            // more than once for one key and does the same each time.
            if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier && watched->isWidgetType()) {
                // F1 opens the page of the window in use. The frame's own key does it for the
                // frame; the windows beside it (a handset) and the dialogs have none.
                const QString page = HelpPageForFocus();
                if (static_cast<QWidget*>(watched)->window() == this) {
                    helpPage_ = page;
                } else if (QWidget* modal = QApplication::activeModalWidget()) {
                    // A help window of the frame would wait behind the dialog: this one is the
                    // dialog's own.
                    auto* help = modal->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
                    if (!help) {
                        help = new HelpWindow(modal);
                        help->setAttribute(Qt::WA_DeleteOnClose);
                    }
                    help->ShowPage(page);
                    help->show();
                } else {
                    ShowHelpPage(page);
                }
            } else if (key->key() != Qt::Key_F1) {
                helpPage_.clear();  // the menu reached by keys opens the contents
            }
            break;
        }
        case QEvent::MouseButtonPress:
            helpPage_.clear();
            // A toolbar button or the menu bar is about to take the click.
            if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) UpdateCommandEnables();
            break;
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
            // Whatever the user did in any window may have changed a state.
            statesTimer_->start();
            break;
        default: break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainFrame::BuildMenus(FrameMode mode) {
    ModeWidgets& widgets = modes_[Index(mode)];
    std::vector<QMenu*> open;  // the popup at each depth
    for (const MenuRow& row : ModeMenu(mode)) {
        if (row.depth == 0) {
            auto* menu = new QMenu(QString::fromLatin1(row.text), this);
            menu->setAccessibleName(WithoutMnemonic(row.text));
            const int position = static_cast<int>(widgets.bar.size());
            connect(menu, &QMenu::aboutToShow, this, [this, mode, position] {
                const bool maximised = working_ && working_->isMaximized();
                ShowMenuHelp(
                    MenuHelpStringId(mode, MenuHighlight::BarPopup, position + (maximised ? 1 : 0), maximised));
            });
            connect(menu, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &MainFrame::MenuClosed); });
            widgets.bar.push_back(menu);
            open.assign(1, menu);
            continue;
        }
        open.resize(static_cast<size_t>(row.depth));
        QMenu* parentMenu = open.back();
        if (!row.text) {
            parentMenu->addSeparator();
            continue;
        }
        if (row.popup) {
            QMenu* sub = parentMenu->addMenu(QString::fromLatin1(row.text));
            sub->setAccessibleName(WithoutMnemonic(row.text));
            open.push_back(sub);
            continue;
        }
        QAction* action = parentMenu->addAction(QString::fromLatin1(row.text));
        action->setProperty(kCommandIdProperty, row.commandId);
        action->setShortcut(KeyOf(row.commandId));
        action->setCheckable(row.checkable);
        action->setEnabled(!row.disabled);
        action->setToolTip(StringText(row.commandId));
        const int id = row.commandId;
        connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
        widgets.commands.emplace_back(id, action);
    }
    // Help lines follow the highlight in every popup of the mode.
    for (QMenu* top : widgets.bar) {
        std::vector<QMenu*> all{top};
        for (size_t i = 0; i < all.size(); ++i) {
            for (QAction* a : all[i]->actions()) {
                if (a->menu()) all.push_back(a->menu());
                connect(a, &QAction::hovered, this, [this, a] { ShowMenuHelp(a->menu() ? 0 : CommandOf(a)); });
            }
            connect(all[i], &QMenu::aboutToShow, this, &MainFrame::RefreshCommandStates);
        }
    }
}

void MainFrame::BuildToolBar(FrameMode mode) {
    ModeWidgets& widgets = modes_[Index(mode)];
    const QImage strip = LibraryImage(state_.imagesLibrary.get(), ToolbarImage(mode));
    auto* toolbar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolbar->setObjectName(QStringLiteral("toolbar%1").arg(static_cast<int>(mode)));
    toolbar->setAccessibleName(QStringLiteral("Toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(KELVANE_TOOLBAR_SLOT_WIDTH, KELVANE_TOOLBAR_SLOT_HEIGHT));
    toolbar->toggleViewAction()->setVisible(false);
    bool gap = false;
    for (const ToolbarSlot& slot : ToolbarSlots(mode)) {
        // Runs of spacing slots show as one gap; none trails the last button.
        if (!slot.commandId) {
            gap = !toolbar->actions().isEmpty();
            continue;
        }
        if (gap) toolbar->addSeparator();
        gap = false;
        const int id = slot.commandId;
        const QString tip = StringText(id);
        QAction* action = toolbar->addAction(ToolbarIcon(strip, slot.image), QString::fromLatin1(slot.name));
        action->setProperty(kCommandIdProperty, id);
        action->setToolTip(tip);
        toolbar->widgetForAction(action)->setAccessibleName(tip);
        // A toolbar keeps its buttons out of the Tab chain; a keyboard user needs them too.
        toolbar->widgetForAction(action)->setFocusPolicy(Qt::TabFocus);
        connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
        widgets.commands.emplace_back(id, action);
    }
    addToolBar(toolbar);
    toolbar->hide();
    widgets.toolbar = toolbar;
}

void MainFrame::BuildStatusBar(FrameMode mode) {
    ModeWidgets& widgets = modes_[Index(mode)];
    auto* bar = new QWidget;
    bar->setObjectName(QStringLiteral("statusBar%1").arg(StatusBarId(mode)));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const auto parts = StatusParts(mode);
    for (size_t i = 0; i < parts.size(); ++i) {
        auto* label = new LiveLabel(QString::fromLatin1(parts[i].name), QString::fromLatin1(parts[i].initial));
        label->setObjectName(PartObjectName(mode, i));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMargin(1);
        // Long help lines must not widen the window.
        if (i == 0) label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        layout->addWidget(label, i == 0 ? 1 : 0);
        widgets.parts.push_back(label);
    }
    statusBar()->addWidget(bar, 1);
    bar->hide();
    widgets.status = bar;
}

void MainFrame::BuildAccelerators() {
    // Keys whose command is not in the current menus: the menus carry the others.
    for (const Accelerator& accel : Accelerators()) {
        auto* action = new QAction(this);
        action->setShortcut(KeyOf(accel.commandId));
        action->setShortcutContext(Qt::WindowShortcut);
        const int id = accel.commandId;
        connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
        addAction(action);
        accelerators_.emplace_back(id, action);
    }
}

void MainFrame::LayOutStatusParts() {
    ModeWidgets& widgets = modes_[Index(mode_)];
    if (!widgets.status || widgets.parts.empty()) return;
    const QFontMetrics metrics = widgets.parts.front()->fontMetrics();
    const std::vector<int> widths =
        StatusPartWidths(mode_, statusBar()->contentsRect().width(),
                         [&](const char* text) { return metrics.horizontalAdvance(QString::fromLatin1(text)); });
    for (size_t i = 1; i < widgets.parts.size(); ++i) widgets.parts[i]->setFixedWidth(widths[i]);
}

void MainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayOutStatusParts();
}

void MainFrame::SetMode(FrameMode mode) {
    if (mode == mode_ && !menuBar()->actions().isEmpty()) return;
    ModeWidgets& old = modes_[Index(mode_)];
    old.toolbar->hide();
    old.status->hide();
    mode_ = mode;
    ModeWidgets& now = modes_[Index(mode)];
    menuBar()->clear();
    menuBar()->setObjectName(QString::fromLatin1(ModeMenuName(mode)));
    for (QMenu* menu : now.bar) menuBar()->addMenu(menu);
    now.toolbar->show();
    // Each mode starts from its own first texts, not from what it showed when it was
    // last left: a reopened explorer says "None" again.
    const auto parts = StatusParts(mode);
    for (size_t i = 0; i < parts.size() && i < now.parts.size(); ++i)
        now.parts[i]->setText(QString::fromLatin1(parts[i].initial));
    now.status->show();
    for (const auto& [id, action] : accelerators_) {
        action->setEnabled(AcceleratorActive(mode, id) && !KeyInMenu(mode, AcceleratorKey(id)));
    }
    LayOutStatusParts();
    if (mode == FrameMode::Main) {
        ShowSearchMode();
        ShowClock();
        clockTimer_->start();
    } else {
        clockTimer_->stop();
    }
    RefreshCommandStates();
}

void MainFrame::ShowStatus(int part, const QString& text) {
    const ModeWidgets& widgets = modes_[Index(mode_)];
    if (part >= 0 && static_cast<size_t>(part) < widgets.parts.size()) {
        widgets.parts[static_cast<size_t>(part)]->setText(text);
    }
}

QString MainFrame::StatusText(int part) const {
    const ModeWidgets& widgets = modes_[Index(mode_)];
    return part >= 0 && static_cast<size_t>(part) < widgets.parts.size()
               ? widgets.parts[static_cast<size_t>(part)]->text()
               : QString();
}

void MainFrame::ShowMenuHelp(int stringId) { ShowStatus(0, StringText(stringId)); }

void MainFrame::MenuClosed() {
    if (!QApplication::activePopupWidget()) ShowMenuHelp(MenuHelpStringId(mode_, MenuHighlight::Closed, 0, false));
}

CommandTarget* MainFrame::Target() const { return working_ ? dynamic_cast<CommandTarget*>(working_->widget()) : nullptr; }

void MainFrame::RefreshCommandStates() {
    UpdateCommandEnables();
    if (mode_ == FrameMode::Main) ShowSearchMode();
}

void MainFrame::UpdateCommandEnables() {
    const CommandTarget* target = Target();
    for (const MenuRow& row : ModeMenu(mode_)) {
        if (!row.commandId) continue;
        const bool enabled = !row.disabled && (RouteCommand(row.commandId) != FrameAction::Forward ||
                                               (target && target->CommandEnabled(row.commandId)));
        for (const auto& [id, action] : modes_[Index(mode_)].commands)
            if (id == row.commandId) action->setEnabled(enabled);
    }
}

void MainFrame::Dispatch(int commandId) {
    switch (RouteCommand(commandId)) {
        case FrameAction::Forward:
            if (CommandTarget* target = Target()) target->HandleCommand(commandId);
            break;
        case FrameAction::Exit: Exit(); return;
        case FrameAction::Tile: mdi_->tileSubWindows(); break;
        case FrameAction::Cascade: mdi_->cascadeSubWindows(); break;
        case FrameAction::ArrangeIcons:
            // Minimised windows line up along the bottom as icons do.
            for (QMdiSubWindow* sub : mdi_->subWindowList())
                if (sub->isMinimized()) sub->showMinimized();
            break;
        case FrameAction::CloseAll: CloseAll(); break;
        case FrameAction::HelpTopics: OpenHelp(); break;
        case FrameAction::About: OpenAbout(); break;
        case FrameAction::OpenExplorer: OpenExplorer(); break;
        case FrameAction::OpenCommunication: OpenCommunication(); break;
        case FrameAction::MainMode: CloseAll(); break;
        case FrameAction::CommSetup: OpenCommunicationSetup(); break;
        case FrameAction::RemoteControl:
            OpenRemoteControl(state_, ui_, this, [self = QPointer<MainFrame>(this)] {
                if (self && self->comm_) self->comm_->ProjectorsChanged();
            });
            break;
        case FrameAction::ViewAddressSet: OpenAddressSet(); break;
        case FrameAction::SearchMode: ChooseSearchMode(commandId); break;
        case FrameAction::QuickSearch: {
            bool saved = false;
            ToggleQuickSearch(kQuickSearchFileName, &saved);
            ShowSearchMode();
            break;
        }
        case FrameAction::Nothing: break;
    }
    RefreshCommandStates();
}

void MainFrame::ShowSearchMode() {
    const int checked = CheckedSearchCommand(state_.options);
    QuickSearchOptions quick;
    LoadQuickSearchOptions(kQuickSearchFileName, &quick);
    for (const auto& [id, action] : modes_[Index(FrameMode::Main)].commands)
        if (action->isCheckable()) action->setChecked(id == kCmdQuickSearch ? quick.enabled : id == checked);
    modes_[Index(FrameMode::Main)].parts[kStatusSearchModePart]->setText(
        QString::fromStdString(SearchModeText(state_.options)));
}

void MainFrame::ShowClock() {
    modes_[Index(FrameMode::Main)].parts[kStatusClockPart]->setText(ClockText(QTime::currentTime()));
}

void MainFrame::ChooseSearchMode(int commandId) {
    SetSearchMode(state_.options, commandId);
    ShowSearchMode();
}

QMdiArea* MainFrame::MdiArea() const { return mdi_; }

CommWindow* MainFrame::Communication() const { return comm_; }

QWidget* MainFrame::WorkingWindow() const { return working_ ? working_->widget() : nullptr; }

bool MainFrame::CloseAll() {
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (!sub->isVisible()) continue;  // closed, waiting to be deleted
        auto* target = dynamic_cast<CommandTarget*>(sub->widget());
        if (target && !target->QueryClose()) return false;
        // The handsets live in the communication window and use its line: a held key is
        // let go and its work ended before the line closes.
        if (comm_ && sub->widget() == comm_) CloseAllRemoteControls();
        if (!sub->close()) return false;
    }
    working_ = nullptr;
    SetMode(FrameMode::Main);
    return true;
}

bool MainFrame::OpenWorkingWindow(FrameMode mode, const std::function<QWidget*()>& create) {
    if (comm_ && comm_->Busy()) return false;
    if (!CloseAll()) return false;
    QWidget* window = create();
    if (!window) return false;
    SetMode(mode);
    if (auto* target = dynamic_cast<CommandTarget*>(window)) {
        target->showStatus = [self = QPointer<MainFrame>(this), mode](int part, const QString& text) {
            if (self && self->mode_ == mode) self->ShowStatus(part, text);
        };
    }
    QMdiSubWindow* sub = mdi_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setAccessibleName(window->windowTitle());
    if (!windowIcon().isNull()) sub->setWindowIcon(windowIcon());
    working_ = sub;
    // Closed by its own close box: back to main mode, unless another took its place.
    // Asked once the window is gone for good, not while it is being torn down.
    connect(sub, &QObject::destroyed, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (!working_) SetMode(FrameMode::Main);
        });
    });
    sub->showMaximized();
    RefreshCommandStates();
    return true;
}

void MainFrame::OpenExplorer() {
    OpenWorkingWindow(FrameMode::Explorer, [this] {
        QWidget* window = CreateExplorerWindow(state_, ui_, nullptr, *explorerKeeps_);
        // A view switch, the editor's selection or modification, a file opened: the
        // buttons follow at once, not at the next click.
        if (auto* explorer = qobject_cast<ExplorerWindow*>(window))
            connect(explorer, &ExplorerWindow::commandStatesChanged, this, &MainFrame::RefreshCommandStates);
        return window;
    });
}

void MainFrame::OpenCommunication() {
    CommWindow* comm = nullptr;
    if (!OpenWorkingWindow(FrameMode::Communication, [&] { return comm = new CommWindow(state_, ui_); })) return;
    comm_ = comm;
    connect(comm, &CommWindow::openFinished, this, [this] {
        // The search leaves a new mode behind (a range search becomes the generated set).
        ShowSearchMode();
        if (exitPending_) {
            exitPending_ = false;
            close();
        }
    });
    comm->Open();
}

void MainFrame::Exit() { close(); }

void MainFrame::EndSession() {
    // Boxes answer at once from now on, and those open now close: nothing waits for OK.
    if (ui_) ui_->EndBoxes();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog->isVisible() && dialog->isModal() && !qobject_cast<ProgressBox*>(dialog)) dialog->reject();
    }
    // After the boxes' own event loops have returned.
    QTimer::singleShot(0, this, &MainFrame::Exit);
}

void MainFrame::OpenCommunicationSetup() {
    CommSetDialog dialog(state_.link, this);
    dialog.exec();
}

void MainFrame::OpenAbout() {
    AboutDialog dialog(windowIcon(), this);
    dialog.exec();
}

void MainFrame::OpenHelp() {
    // Help topics from the menu opens the contents; F1 the page of the window in use.
    ShowHelpPage(helpPage_.isEmpty() ? QString::fromLatin1(kHelpContentsPage) : helpPage_);
    helpPage_.clear();
}

void MainFrame::ShowHelpPage(const QString& page) {
    if (!help_) {
        help_ = new HelpWindow(this);
        help_->setAttribute(Qt::WA_DeleteOnClose);
    }
    help_->ShowPage(page);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainFrame::OpenAddressSet() {
    AddressSetBox dialog(state_, this);
    dialog.exec();
}

void MainFrame::closeEvent(QCloseEvent* event) {
    // A search owns the options until it ends; the exit follows it.
    if (comm_ && comm_->Busy()) {
        exitPending_ = true;
        comm_->Abandon();
        event->ignore();
        return;
    }
    // The options are saved even when a working window then refuses to close.
    SaveOptions(state_);
    if (!CloseAll()) {
        if (ui_) ui_->ResumeBoxes();
        event->ignore();
        return;
    }
    CloseAllRemoteControls();
    if (help_) help_->close();
    event->accept();
    emit closed();
}

}  // namespace ombrix::gui
