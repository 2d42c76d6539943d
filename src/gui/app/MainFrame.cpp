#include "gui/app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "core/app/ProgramStrings.h"
#include "gui/app/AboutDialog.h"
#include "gui/app/Images.h"
#include "gui/link/CommSetDialog.h"
#include "kelvanebmp.h"

namespace ombrix::gui {
namespace {

constexpr int kCommandExit = 1008;
constexpr int kCommandAbout = 1401;
constexpr int kCommandCommSetup = 40008;

// Picture slots of the main toolbar strip.
constexpr int kSlotCommSetup = 2;
constexpr int kSlotAbout = 8;

QString CommandHelp(int commandId) {
    const char* text = ProgramString(commandId);
    return text ? QString::fromLatin1(text) : QString();
}

}  // namespace

MainFrame::MainFrame(ProgramState& state, QWidget* parent) : QMainWindow(parent), state_(state) {
    setObjectName(QString::fromLatin1(ProgramString(1)));
    setWindowTitle(QString::fromLatin1(ProgramString(2)));
    const QImage icon = LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_WINDOW_ICON);
    if (!icon.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(icon)));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* exit = AddCommand(file, QStringLiteral("E&xit"), kCommandExit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &MainFrame::Exit);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    QAction* commSetup = AddCommand(options, QStringLiteral("&Communication setup"), kCommandCommSetup,
                                    QKeySequence(Qt::ALT | Qt::Key_S));
    connect(commSetup, &QAction::triggered, this, &MainFrame::OpenCommunicationSetup);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = AddCommand(help, QStringLiteral("&About"), kCommandAbout, QKeySequence());
    connect(about, &QAction::triggered, this, &MainFrame::OpenAbout);

    const QImage strip = LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_TOOLBAR_MAIN);
    commSetup->setIcon(ToolbarIcon(strip, kSlotCommSetup));
    about->setIcon(ToolbarIcon(strip, kSlotAbout));
    QToolBar* toolbar = addToolBar(QStringLiteral("Main"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(KELVANE_TOOLBAR_SLOT_WIDTH, KELVANE_TOOLBAR_SLOT_HEIGHT));
    toolbar->addAction(commSetup);
    toolbar->addSeparator();
    toolbar->addAction(about);

    // Menu help lines appear over the mode title while a command is highlighted.
    auto* modeTitle = new QLabel(QStringLiteral("Lumenar"));
    modeTitle->setObjectName(QStringLiteral("modeTitle"));
    statusBar()->addWidget(modeTitle, 1);

    mdi_ = new QMdiArea;
    mdi_->setObjectName(QStringLiteral("mdiClient"));
    setCentralWidget(mdi_);
    resize(900, 620);

    LoadCommSettings(state_);
}

QAction* MainFrame::AddCommand(QMenu* menu, const QString& text, int commandId, const QKeySequence& key) {
    QAction* action = menu->addAction(text);
    action->setShortcut(key);
    action->setStatusTip(CommandHelp(commandId));
    action->setToolTip(CommandHelp(commandId));
    return action;
}

void MainFrame::Exit() { close(); }

void MainFrame::OpenCommunicationSetup() {
    CommSetDialog dialog(state_.link, this);
    dialog.exec();
}

void MainFrame::OpenAbout() {
    AboutDialog dialog(windowIcon(), this);
    dialog.exec();
}

void MainFrame::closeEvent(QCloseEvent* event) {
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
