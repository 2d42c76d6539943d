#include "gui/app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "core/app/ProgramStrings.h"
#include "core/discovery/Search.h"
#include "gui/app/AboutDialog.h"
#include "gui/app/Images.h"
#include "gui/comm/CommWindow.h"
#include "gui/discovery/AddressSetBox.h"
#include "gui/link/CommSetDialog.h"
#include "gui/platform/QtUi.h"
#include "kelvanebmp.h"

namespace ombrix::gui {
namespace {

constexpr int kCommandExit = 1008;
constexpr int kCommandAbout = 1401;
constexpr int kCommandCommSetup = 40008;
constexpr int kCommandCommunication = 40028;
constexpr int kCommandViewAddressSet = 40038;

// Picture slots of the main toolbar strip.
constexpr int kSlotCommunication = 0;
constexpr int kSlotCommSetup = 2;
constexpr int kSlotAbout = 8;

QString CommandHelp(int commandId) {
    const char* text = ProgramString(commandId);
    return text ? QString::fromLatin1(text) : QString();
}

// A status-bar part as wide as its sample text plus a margin.
QLabel* StatusPart(const QString& text, const QString& sample, const char* objectName) {
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sample) + 8);
    return label;
}

}  // namespace

QString ClockText(const QTime& time) {
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QString::asprintf("%2d:%02d:%02d %s", hour12, time.minute(), time.second(),
                             time.hour() < 12 ? "AM" : "PM");
}

MainFrame::MainFrame(ProgramState& state, QWidget* parent)
    : QMainWindow(parent), state_(state), ui_(dynamic_cast<QtUi*>(state.env.ui)) {
    setObjectName(QString::fromLatin1(ProgramString(1)));
    setWindowTitle(QString::fromLatin1(ProgramString(2)));
    const QImage icon = LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_WINDOW_ICON);
    if (!icon.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    if (ui_) ui_->SetOwner(this);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* communication = AddCommand(file, QStringLiteral("Ombrix Communication"), kCommandCommunication,
                                        QKeySequence(Qt::Key_F2));
    connect(communication, &QAction::triggered, this, &MainFrame::OpenCommunication);
    file->addSeparator();
    QAction* exit = AddCommand(file, QStringLiteral("E&xit"), kCommandExit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &MainFrame::Exit);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    QMenu* search = options->addMenu(QStringLiteral("&Search for connected projectors"));
    QMenu* automatic = search->addMenu(QStringLiteral("&Search  automatically"));
    QMenu* predefined = search->addMenu(QStringLiteral("S&earch with predefined addresses"));
    const struct {
        QMenu* menu;
        const char* text;
        int commandId;
    } modes[] = {
        {automatic, "&Check to address 16", kCmdCheckTo16},
        {automatic, "C&heck to address 128", kCmdCheckTo128},
        {automatic, "Ch&eck to address 256", kCmdCheckTo256},
        {automatic, "Check within &range", kCmdCheckRange},
        {predefined, "&Use userdefined addresset", kCmdUserDefinedSet},
        {predefined, "&Use generated addresset", kCmdGeneratedSet},
        {search, "&Skip search", kCmdSkipSearch},
    };
    for (const auto& mode : modes) {
        QAction* action = AddCommand(mode.menu, QString::fromLatin1(mode.text), mode.commandId, QKeySequence());
        action->setCheckable(true);
        const int id = mode.commandId;
        connect(action, &QAction::triggered, this, [this, id] { ChooseSearchMode(id); });
        searchModes_.emplace_back(id, action);
    }
    // The marks follow the options, which a search changes too.
    for (QMenu* menu : {options, search, automatic, predefined}) {
        connect(menu, &QMenu::aboutToShow, this, &MainFrame::ShowSearchMode);
    }
    QAction* viewAddressSet = AddCommand(options, QStringLiteral("&View adressset ..."), kCommandViewAddressSet,
                                         QKeySequence(Qt::ALT | Qt::Key_V));
    connect(viewAddressSet, &QAction::triggered, this, &MainFrame::OpenAddressSet);
    QAction* commSetup = AddCommand(options, QStringLiteral("&Communication setup"), kCommandCommSetup,
                                    QKeySequence(Qt::ALT | Qt::Key_S));
    connect(commSetup, &QAction::triggered, this, &MainFrame::OpenCommunicationSetup);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = AddCommand(help, QStringLiteral("&About"), kCommandAbout, QKeySequence());
    connect(about, &QAction::triggered, this, &MainFrame::OpenAbout);

    const QImage strip = LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_TOOLBAR_MAIN);
    communication->setIcon(ToolbarIcon(strip, kSlotCommunication));
    commSetup->setIcon(ToolbarIcon(strip, kSlotCommSetup));
    about->setIcon(ToolbarIcon(strip, kSlotAbout));
    QToolBar* toolbar = addToolBar(QStringLiteral("Main"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(KELVANE_TOOLBAR_SLOT_WIDTH, KELVANE_TOOLBAR_SLOT_HEIGHT));
    toolbar->addAction(communication);
    toolbar->addSeparator();
    toolbar->addAction(commSetup);
    toolbar->addSeparator();
    toolbar->addAction(about);

    // Menu help lines appear over the mode title while a command is highlighted; the
    // parts to its right stay.
    auto* modeTitle = new QLabel(QStringLiteral("Lumenar"));
    modeTitle->setObjectName(QStringLiteral("modeTitle"));
    statusBar()->addWidget(modeTitle, 1);
    statusBar()->addPermanentWidget(StatusPart(QStringLiteral("Option:"), QStringLiteral("Option:"), "optionLabel"));
    searchModeText_ = StatusPart(QString(), QStringLiteral("Use userdefined addressset"), "searchMode");
    statusBar()->addPermanentWidget(searchModeText_);
    statusBar()->addPermanentWidget(StatusPart(QStringLiteral("Time:"), QStringLiteral("Time:"), "timeLabel"));
    clock_ = StatusPart(QString(), QStringLiteral("00:00:00 PM"), "clock");
    statusBar()->addPermanentWidget(clock_);
    auto* clockTimer = new QTimer(this);
    connect(clockTimer, &QTimer::timeout, this, &MainFrame::ShowClock);
    clockTimer->start(1000);
    ShowClock();

    mdi_ = new QMdiArea;
    mdi_->setObjectName(QStringLiteral("mdiClient"));
    setCentralWidget(mdi_);
    resize(900, 620);

    LoadCommSettings(state_);
    ShowSearchMode();
}

QAction* MainFrame::AddCommand(QMenu* menu, const QString& text, int commandId, const QKeySequence& key) {
    QAction* action = menu->addAction(text);
    action->setShortcut(key);
    action->setStatusTip(CommandHelp(commandId));
    action->setToolTip(CommandHelp(commandId));
    return action;
}

void MainFrame::ShowSearchMode() {
    const int checked = CheckedSearchCommand(state_.options);
    for (const auto& [id, action] : searchModes_) action->setChecked(id == checked);
    searchModeText_->setText(QString::fromStdString(SearchModeText(state_.options)));
}

void MainFrame::ShowClock() { clock_->setText(ClockText(QTime::currentTime())); }

void MainFrame::ChooseSearchMode(int commandId) {
    SetSearchMode(state_.options, commandId);
    ShowSearchMode();
}

CommWindow* MainFrame::Communication() const { return comm_; }

void MainFrame::Exit() { close(); }

void MainFrame::OpenCommunicationSetup() {
    CommSetDialog dialog(state_.link, this);
    dialog.exec();
}

void MainFrame::OpenAbout() {
    AboutDialog dialog(windowIcon(), this);
    dialog.exec();
}

void MainFrame::OpenAddressSet() {
    AddressSetBox dialog(state_, this);
    dialog.exec();
}

void MainFrame::OpenCommunication() {
    if (comm_ && comm_->Busy()) return;
    for (QMdiSubWindow* child : mdi_->subWindowList()) {
        if (!child->close()) return;
    }
    auto* comm = new CommWindow(state_, ui_);
    comm_ = comm;
    QMdiSubWindow* sub = mdi_->addSubWindow(comm);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    if (!windowIcon().isNull()) sub->setWindowIcon(windowIcon());
    connect(comm, &CommWindow::openFinished, this, [this] {
        // The search leaves a new mode behind (a range search becomes the generated set).
        ShowSearchMode();
        if (exitPending_) {
            exitPending_ = false;
            close();
        }
    });
    sub->showMaximized();
    comm->Open();
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
    for (QMdiSubWindow* child : mdi_->subWindowList()) {
        if (!child->close()) {
            event->ignore();
            return;
        }
    }
    event->accept();
    emit closed();
}

}  // namespace ombrix::gui
