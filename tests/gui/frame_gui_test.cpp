// The main frame offscreen: its modes, the working windows it hosts and how it ends.
#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <optional>
#include <thread>

#include "core/app/Program.h"
#include "core/discovery/Search.h"
#include "core/explorer/Explorer.h"
#include "gui/comm/CommWindow.h"
#include "gui/app/ExitSignals.h"
#include "gui/app/MainFrame.h"
#include "gui/app/WorkingWindow.h"
#include "gui/editor/EditorPane.h"
#include "gui/explorer/ExplorerWindow.h"
#include "gui/platform/Accessible.h"
#include "gui/frame/HelpWindow.h"
#include "gui/platform/QtUi.h"
#include "GuiSupport.h"

using namespace ombrix;
using namespace ombrix::testing;

namespace {

// A working window that records what the frame asks of it.
class TestTarget : public QWidget, public gui::CommandTarget {
public:
    explicit TestTarget(bool agreesToClose) : agrees(agreesToClose) { setWindowTitle(QStringLiteral("Test window")); }
    bool HandleCommand(int commandId) override {
        handled << commandId;
        return true;
    }
    bool CommandEnabled(int commandId) const override { return !disabled.contains(commandId); }
    bool QueryClose() override {
        if (asked) ++*asked;
        return agrees;
    }
    bool agrees;
    int* asked = nullptr;
    QList<int> handled;
    QList<int> disabled;
};

QStringList Texts(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        if (!a->isSeparator()) out << a->text();
    return out;
}

QAction* ItemByText(gui::MainFrame& frame, const char* text) {
    return MenuCommand(frame, {}, QString::fromLatin1(text));
}

int VisibleWindows(QMdiArea* mdi) {
    int n = 0;
    for (QMdiSubWindow* sub : mdi->subWindowList()) n += sub->isVisible() ? 1 : 0;
    return n;
}

// Keys reach the frame's shortcuts only while it is the active window.
bool ShowActive(QWidget& frame) {
    frame.show();
    QApplication::setActiveWindow(&frame);
    return QTest::qWaitForWindowActive(&frame);
}

// A program whose boxes are real message boxes.
struct BoxProgram {
    BoxProgram() { StartProgram(state); }
    VirtualClock clock;
    gui::QtUi ui;
    LibrariesOnRequest loader;
    SystemDeviceOpener opener;
    ProgramState state{clock, ui, loader, opener};
};

QString AccessibleText(QObject* object, QAccessible::Text what) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(object);
    return a ? a->text(what) : QStringLiteral("<none>");
}

QAction* ToolButton(gui::MainFrame& frame, FrameMode mode, const QString& text) {
    for (QAction* a : frame.ModeToolBar(mode)->actions())
        if (a->text() == text) return a;
    return nullptr;
}

}  // namespace

class FrameGuiTest : public QObject {
    Q_OBJECT
    ScratchDirectory scratch_;

private slots:
    void initTestCase() { QVERIFY(gui::InstallExitSignalHandlers()); }
    void init() { scratch_.Enter(); }
    void cleanup() { scratch_.Leave(); }

    void modes_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("menuName");
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QStringList>("tips");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<bool>("clock");
        QTest::newRow("main") << int(FrameMode::Main) << "MDIMENUOBX" << QStringList{"&File", "&Options", "&Help"}
                              << QStringList{"Activates Ombrix Communication", "Activates Ombrix Explorer",
                                             "Sets up the serial communication",
                                             "Displays program information, version number and copyright"}
                              << QStringList{"Lumenar", "Option:", "Check to address 16", "Time:"} << true;
        QTest::newRow("communication")
            << int(FrameMode::Communication) << "MDIMENUCOMMUNICATION"
            << QStringList{"&File", "File &management", "&Group management", "&Options", "&Window", "&Help"}
            << QStringList{"Closes Ombrix Communication and returns to the main window",
                           "Activates Ombrix Explorer",
                           "Displays the simulated Remote Control",
                           "Loads a settings file into the RAM container",
                           "Saves the RAM container to a settings file",
                           "Appends a settings file to the RAM container",
                           "Shows the settings of the block",
                           "Displays program information, version number and copyright"}
            << QStringList{"Communication", "Address:", "", "Selection:", ""} << false;
        QTest::newRow("explorer") << int(FrameMode::Explorer) << "MDIMENUEDITOR"
                                  << QStringList{"&File", "&Edit", "&Search", "&Window", "&Help"}
                                  << QStringList{"Closes Ombrix Explorer and returns to the main window",
                                                 "Activates Ombrix Communication",
                                                 "Creates a new text file",
                                                 "Opens an existing text file",
                                                 "Saves the text file",
                                                 "Cuts the selection to the clipboard",
                                                 "Copies the selection to the clipboard",
                                                 "Inserts the clipboard's text",
                                                 "Prints the text",
                                                 "Displays program information, version number and copyright"}
                                  << QStringList{"Explorer", "Selection:", "None"} << false;
    }
    void modes() {
        QFETCH(int, mode);
        QFETCH(QString, menuName);
        QFETCH(QStringList, menus);
        QFETCH(QStringList, tips);
        QFETCH(QStringList, parts);
        QFETCH(bool, clock);
        TestProgram p;
        p.loader.images = true;
        StartProgram(p.state);
        gui::MainFrame frame(p.state);
        frame.show();
        // Through another mode, so what the last one showed must go.
        frame.SetMode(mode == int(FrameMode::Explorer) ? FrameMode::Communication : FrameMode::Explorer);
        frame.SetMode(FrameMode(mode));

        QCOMPARE(frame.menuBar()->objectName(), menuName);
        QCOMPARE(Texts(frame.menuBar()->actions()), menus);
        for (QAction* top : frame.menuBar()->actions()) QVERIFY(!top->menu()->accessibleName().isEmpty());

        QToolBar* toolbar = frame.ModeToolBar(FrameMode(mode));
        QVERIFY(toolbar->isVisible());
        int visibleBars = 0;
        for (QToolBar* bar : frame.findChildren<QToolBar*>()) visibleBars += bar->isVisible() ? 1 : 0;
        QCOMPARE(visibleBars, 1);
        QStringList shownTips;
        for (QAction* a : toolbar->actions()) {
            if (a->isSeparator()) continue;
            shownTips << a->toolTip();
            QCOMPARE(toolbar->widgetForAction(a)->accessibleName(), a->toolTip());
            QVERIFY(!a->icon().isNull());
        }
        QCOMPARE(shownTips, tips);

        for (int i = 0; i < parts.size(); ++i) QCOMPARE(frame.StatusText(i), parts[i]);
        QCOMPARE(frame.StatusText(5), QString());
        QCOMPARE(frame.ClockTimer()->isActive(), clock);
        QCOMPARE(frame.ClockTimer()->interval(), 1000);
        if (clock) QVERIFY(QRegularExpression("^[ 1][0-9]:[0-5][0-9]:[0-5][0-9] [AP]M$").match(frame.StatusText(4)).hasMatch());
        // Each part after the first as wide as its sample and a margin, named for assistive technology.
        QList<QLabel*> labels;
        for (QLabel* label : frame.statusBar()->findChildren<QLabel*>())
            if (label->isVisible()) labels << label;
        QCOMPARE(labels.size(), mode == int(FrameMode::Explorer) ? 3 : 5);
        // Each says what it is; what it shows is its name (see statusPartsReadTheirCurrentText).
        for (QLabel* label : labels) QVERIFY(!label->accessibleDescription().isEmpty());
        const auto specs = StatusParts(FrameMode(mode));
        for (int i = 1; i < labels.size(); ++i)
            QCOMPARE(labels[i]->width(), labels[i]->fontMetrics().horizontalAdvance(specs[size_t(i)].sample) + 8);
        QCOMPARE(frame.MdiArea()->accessibleName(), QStringLiteral("Working windows"));
    }

    void commandsReachTheWorkingWindow() {
        TestProgram p;
        gui::MainFrame frame(p.state);
        QVERIFY(ShowActive(frame));
        auto* target = new TestTarget(true);
        target->disabled = {1102};
        QVERIFY(frame.OpenWorkingWindow(FrameMode::Explorer, [&] { return target; }));
        QCOMPARE(frame.WorkingWindow(), static_cast<QWidget*>(target));
        QVERIFY(frame.MdiArea()->subWindowList().first()->isMaximized());

        ItemByText(frame, "&Copy")->trigger();
        QTest::keySequence(&frame, QKeySequence(QStringLiteral("Ctrl+F")));
        QCOMPARE(target->handled, (QList<int>{1103, 1201}));
        // The states come from the window, in the menus and on the toolbar alike.
        QVERIFY(!ItemByText(frame, "Cu&t")->isEnabled());
        for (QAction* a : frame.ModeToolBar(FrameMode::Explorer)->actions())
            if (a->text() == "Cut") QVERIFY(!a->isEnabled());
        QVERIFY(ItemByText(frame, "&Copy")->isEnabled());
        // Work in the window brings the states up to date without a menu.
        target->disabled.clear();
        QTest::keyClick(target, Qt::Key_A);
        QTRY_VERIFY(ItemByText(frame, "Cu&t")->isEnabled());
        // The window fills the status parts of its mode.
        target->showStatus(2, QStringLiteral("Managing textfiles"));
        QCOMPARE(frame.StatusText(2), QStringLiteral("Managing textfiles"));
    }

    void closingAsksTheWorkingWindow_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("agrees");
        QTest::newRow("Exit, window agrees") << "Exit" << true;
        QTest::newRow("Exit, window refuses") << "Exit" << false;
        QTest::newRow("close box, window refuses") << "close" << false;
        QTest::newRow("signal, window agrees") << "signal" << true;
        QTest::newRow("signal, window refuses") << "signal" << false;
        QTest::newRow("Close all, window refuses") << "Close all" << false;
        QTest::newRow("Close all, window agrees") << "Close all" << true;
        QTest::newRow("File > Main, window refuses") << "Main" << false;
        QTest::newRow("File > Main, window agrees") << "Main" << true;
    }
    void closingAsksTheWorkingWindow() {
        QFETCH(QString, how);
        QFETCH(bool, agrees);
        TestProgram p;
        LoadOptions(p.state);
        gui::MainFrame frame(p.state);
        QSignalSpy closed(&frame, &gui::MainFrame::closed);
        frame.show();
        auto* target = new TestTarget(agrees);
        int asked = 0;
        target->asked = &asked;
        QPointer<QWidget> alive = target;
        QVERIFY(frame.OpenWorkingWindow(FrameMode::Explorer, [&] { return target; }));
        p.state.options.searchLimit = 128;

        if (how == "Exit") frame.Dispatch(1008);
        else if (how == "close") frame.close();
        else if (how == "signal") frame.EndSession();
        else if (how == "Close all") frame.Dispatch(1303);
        else frame.Dispatch(40102);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        const bool ending = how == "Exit" || how == "close" || how == "signal";
        // Every way asks the window once; a signal after the boxes have closed.
        QTRY_COMPARE(asked, 1);
        QCOMPARE(closed.count(), ending && agrees ? 1 : 0);
        QCOMPARE(frame.isVisible(), !(ending && agrees));
        QCOMPARE(alive.isNull(), agrees);
        QCOMPARE(frame.Mode(), agrees ? FrameMode::Main : FrameMode::Explorer);
        // Exit writes the options first, whatever the windows answer.
        QCOMPARE(Le32(ReadFile(kOptionsFileName), 0), ending ? 128u : 16u);
    }

    void oneWorkingWindowAtATime() {
        TestProgram p;
        SetSearchMode(p.state.options, kCmdSkipSearch);
        gui::MainFrame frame(p.state);
        QVERIFY(ShowActive(frame));
        QTest::keyClick(&frame, Qt::Key_F3);
        QCOMPARE(frame.Mode(), FrameMode::Explorer);
        QPointer<QWidget> explorer = frame.WorkingWindow();
        QVERIFY(explorer);
        QCOMPARE(explorer->windowTitle(), QStringLiteral("Ombrix Explorer"));

        // Communication (F2 in the explorer's File menu) closes the explorer first.
        QCOMPARE(ItemByText(frame, "&Communication")->shortcut(), QKeySequence(Qt::Key_F2));
        QTest::keyClick(&frame, Qt::Key_F2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(explorer.isNull());
        QCOMPARE(frame.Mode(), FrameMode::Communication);
        QVERIFY(frame.Communication());
        QCOMPARE(frame.WorkingWindow(), static_cast<QWidget*>(frame.Communication()));
        QCOMPARE(VisibleWindows(frame.MdiArea()), 1);
        QVERIFY(!frame.ClockTimer()->isActive());

        // The window's own close box returns to main mode, and the clock runs again.
        frame.MdiArea()->subWindowList().first()->close();
        QTRY_COMPARE(frame.Mode(), FrameMode::Main);
        QVERIFY(frame.ClockTimer()->isActive());
        QCOMPARE(frame.StatusText(0), QStringLiteral("Lumenar"));
    }

    void menuHelpInTheFirstPart() {
        TestProgram p;
        p.loader.strings = true;
        StartProgram(p.state);
        gui::MainFrame frame(p.state);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QMenu* file = frame.menuBar()->actions().at(0)->menu();
        QMenu* options = frame.menuBar()->actions().at(1)->menu();
        options->popup(frame.mapToGlobal(QPoint(40, 40)));
        // The main mode's own second menu, not the editor's Edit menu at that place.
        QCOMPARE(frame.StatusText(0), QStringLiteral("Chooses the search, shows the address set and sets up the line"));
        options->hide();
        file->popup(frame.mapToGlobal(QPoint(10, 40)));
        QCOMPARE(frame.StatusText(0), QStringLiteral("Opens working windows and ends the program"));
        file->setActiveAction(ItemByText(frame, "Ombrix &Explorer"));
        QCOMPARE(frame.StatusText(0), QStringLiteral("Activates Ombrix Explorer"));
        file->hide();
        QTRY_COMPARE(frame.StatusText(0), QStringLiteral("Lumenar - Standard Edition"));
        // The other parts keep what they show.
        QCOMPARE(frame.StatusText(1), QStringLiteral("Option:"));
    }

    void helpTopics() {
        TestProgram p;
        gui::MainFrame frame(p.state);
        QVERIFY(ShowActive(frame));
        QTest::keyClick(&frame, Qt::Key_F1);
        auto* help = frame.findChild<gui::HelpWindow*>();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->Browser()->documentTitle(), QStringLiteral("Ombrix Help"));
        // Every page the contents name is there.
        const QString contents = help->Browser()->toHtml();
        for (const char* page : {"frame.html", "search.html", "communication.html", "explorer.html", "remote.html",
                                 "setup.html", "keys.html"}) {
            QVERIFY2(contents.contains(QLatin1String(page)), page);
            help->Browser()->setSource(QUrl(QStringLiteral("qrc:/help/") + page));
            QVERIFY2(!help->Browser()->documentTitle().isEmpty(), page);
        }
        frame.Dispatch(1310);
        QCOMPARE(help->Browser()->documentTitle(), QStringLiteral("Ombrix Help"));
        QCOMPARE(frame.findChildren<gui::HelpWindow*>().size(), 1);
    }


    // A screen reader reads a label by its name: each part says what it shows now and
    // what it is in its description.
    void statusPartsReadTheirCurrentText() {
        TestProgram p;
        p.loader.strings = true;
        StartProgram(p.state);
        gui::MainFrame frame(p.state);
        frame.show();
        for (FrameMode mode : {FrameMode::Main, FrameMode::Communication, FrameMode::Explorer}) {
            frame.SetMode(mode);
            const auto specs = StatusParts(mode);
            QList<QLabel*> labels;
            for (QLabel* label : frame.statusBar()->findChildren<QLabel*>())
                if (label->isVisible()) labels << label;
            QCOMPARE(size_t(labels.size()), specs.size());
            for (int i = 0; i < labels.size(); ++i) {
                QCOMPARE(AccessibleText(labels[i], QAccessible::Name), labels[i]->text());
                QCOMPARE(AccessibleText(labels[i], QAccessible::Description),
                         QString::fromLatin1(specs[size_t(i)].name));
            }
            frame.ShowStatus(2, QStringLiteral("Direct Access"));
            QCOMPARE(AccessibleText(labels[2], QAccessible::Name), QStringLiteral("Direct Access"));
        }
        frame.SetMode(FrameMode::Main);
        QLabel* clock = frame.findChild<QLabel*>(QStringLiteral("clock"));
        QLabel* searchMode = frame.findChild<QLabel*>(QStringLiteral("searchMode"));
        QVERIFY(QRegularExpression("^[ 1][0-9]:[0-5][0-9]:[0-5][0-9] [AP]M$")
                    .match(AccessibleText(clock, QAccessible::Name))
                    .hasMatch());
        QCOMPARE(AccessibleText(searchMode, QAccessible::Name), QStringLiteral("Check to address 16"));
        frame.Dispatch(kCmdSkipSearch);
        QCOMPARE(AccessibleText(searchMode, QAccessible::Name), QStringLiteral("Skip Search"));
    }

    // The keys meet the states of now: the Find dialog, a programmatic Replace All and a
    // view switch change them without a key or click in the working window.
    void firstAcceleratorAfterFindAndReplaceAll() {
        TestProgram p;
        p.loader.strings = true;
        StartProgram(p.state);
        gui::MainFrame frame(p.state);
        QVERIFY(ShowActive(frame));
        frame.OpenExplorer();
        auto* explorer = qobject_cast<gui::ExplorerWindow*>(frame.WorkingWindow());
        QVERIFY(explorer);
        explorer->ClickItem(kIconManagingTextFiles);
        gui::EditorPane* editor = explorer->Editor();
        editor->setPlainText(QStringLiteral("one two one two one"));
        QStringList saved;
        editor->pickSavePath = [&](std::string* path) {
            *path = QDir::current().filePath(QStringLiteral("saved.txt")).toStdString();
            saved << QString::fromStdString(*path);
            return true;
        };

        QTest::keySequence(&frame, QKeySequence(QStringLiteral("Ctrl+F")));
        gui::FindDialog* find = editor->OpenFindDialog();
        QVERIFY(find);
        find->findChildren<QLineEdit*>().first()->setText(QStringLiteral("one"));
        Button(*find, QStringLiteral("&Find Next"))->click();
        QCOMPARE(editor->textCursor().selectionStart(), 0);
        find->close();
        QApplication::setActiveWindow(&frame);
        QTest::keyClick(&frame, Qt::Key_F6);
        QCOMPARE(editor->textCursor().selectionStart(), 8);

        QTest::keySequence(&frame, QKeySequence(QStringLiteral("Ctrl+H")));
        gui::FindDialog* replace = editor->OpenFindDialog();
        QVERIFY(replace && replace->IsReplace());
        replace->findChildren<QLineEdit*>().at(0)->setText(QStringLiteral("two"));
        replace->findChildren<QLineEdit*>().at(1)->setText(QStringLiteral("2"));
        Button(*replace, QStringLiteral("Replace &All"))->click();
        QCOMPARE(editor->toPlainText(), QStringLiteral("one 2 one 2 one"));
        replace->close();
        QApplication::setActiveWindow(&frame);
        QTest::keySequence(&frame, QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(saved.size(), 1);
        QCOMPARE(ReadFile("saved.txt"), QByteArray("one 2 one 2 one"));

        // Leaving the editor greys its buttons at once, before any event is handled.
        QVERIFY(ToolButton(frame, FrameMode::Explorer, QStringLiteral("Save")));
        explorer->ClickItem(kIconExploreRamFiles);
        for (const char* name : {"New", "Open", "Save", "Print", "Cut", "Copy"})
            QVERIFY2(!ToolButton(frame, FrameMode::Explorer, QString::fromLatin1(name))->isEnabled(), name);
        explorer->ClickItem(kIconManagingTextFiles);
        QVERIFY(ToolButton(frame, FrameMode::Explorer, QStringLiteral("New"))->isEnabled());
    }

    // What the explorer keeps lives as long as the program, not as long as a view or the
    // window; a reopened explorer starts with nothing selected.
    void explorerKeepsItsChoicesForTheProcess() {
        TestProgram p;
        StartProgram(p.state);
        gui::MainFrame frame(p.state);
        frame.show();
        frame.OpenExplorer();
        auto* explorer = qobject_cast<gui::ExplorerWindow*>(frame.WorkingWindow());
        explorer->ClickItem(kIconExploreRamFiles);
        QCOMPARE(frame.StatusText(2), QStringLiteral("Explore RAMfiles"));
        QCheckBox* step = nullptr;
        for (QCheckBox* box : explorer->findChildren<QCheckBox*>())
            if (box->text() == QStringLiteral("DA1")) step = box;
        QVERIFY(step);
        const bool before = step->isChecked();
        step->click();
        explorer->ClickItem(kIconManagingTextFiles);
        explorer->Editor()->Document().findString = u"kept";

        frame.Dispatch(40102);  // back to main mode: the explorer closes
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        frame.OpenExplorer();
        QCOMPARE(frame.StatusText(2), QStringLiteral("None"));
        explorer = qobject_cast<gui::ExplorerWindow*>(frame.WorkingWindow());
        explorer->ClickItem(kIconExploreRamFiles);
        for (QCheckBox* box : explorer->findChildren<QCheckBox*>())
            if (box->text() == QStringLiteral("DA1")) QCOMPARE(box->isChecked(), !before);
        explorer->ClickItem(kIconManagingTextFiles);
        QVERIFY(explorer->Editor()->Document().findString == u"kept");
        QVERIFY(explorer->CommandEnabled(1202));
    }

    // F1 opens the page of the window in use; the help window finds pages by their words.
    void helpForTheWindowInUseAndSearch() {
        TestProgram p;
        gui::MainFrame frame(p.state);
        QVERIFY(ShowActive(frame));
        frame.OpenExplorer();
        auto* explorer = qobject_cast<gui::ExplorerWindow*>(frame.WorkingWindow());
        explorer->ClickItem(kIconManagingTextFiles);
        explorer->Editor()->setFocus();
        QTest::keyClick(&frame, Qt::Key_F1);
        auto* help = frame.findChild<gui::HelpWindow*>();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->PageFile(), QStringLiteral("explorer.html"));
        frame.Dispatch(1310);  // the menu's Help topics: the contents
        QCOMPARE(help->PageFile(), QStringLiteral("index.html"));

        QTest::keyClicks(help->SearchField(), QStringLiteral("permission dialout"));
        QVERIFY(help->Results()->isVisible());
        QCOMPARE(help->Results()->count(), 1);
        QCOMPARE(help->Results()->item(0)->text(), QStringLiteral("Troubleshooting"));
        QCOMPARE(help->PageFile(), QStringLiteral("troubleshooting.html"));
        QVERIFY(help->Browser()->textCursor().hasSelection());
        // Enter in the field opens the first page found, not the Contents button's page.
        help->ShowContents();
        QTest::keyClick(help->SearchField(), Qt::Key_Return);
        QCOMPARE(help->PageFile(), QStringLiteral("troubleshooting.html"));
        QVERIFY(help->isVisible());
        help->SearchField()->clear();
        QVERIFY(!help->Results()->isVisible());
    }

    // A box that says only the program's short name is read by its text.
    void messageBoxesSaySomething_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("name");
        QTest::newRow("OBX: read by its text") << "OBX" << "Cannot write to /x.txt.";
        QTest::newRow("a caption of its own stays") << "Error in communication" << "Error in communication";
    }
    void messageBoxesSaySomething() {
        QFETCH(QString, caption);
        QFETCH(QString, name);
        QMessageBox box(QMessageBox::Warning, caption, QStringLiteral("Cannot write to /x.txt."));
        gui::DescribeBox(box);
        QCOMPARE(AccessibleText(&box, QAccessible::Name), name);
        QCOMPARE(box.accessibleDescription(), QStringLiteral("Cannot write to /x.txt."));
    }

    // A signal ends the program even while a box waits for its OK.
    void signalWithABoxOpen_data() {
        QTest::addColumn<bool>("worker");
        QTest::addColumn<bool>("question");
        QTest::newRow("box of the GUI thread") << false << false;
        QTest::newRow("box of a worker") << true << false;
        QTest::newRow("question of a worker: no") << true << true;
    }
    void signalWithABoxOpen() {
        QFETCH(bool, worker);
        QFETCH(bool, question);
        BoxProgram p;
        p.state.options.searchLimit = 128;
        gui::MainFrame frame(p.state);
        gui::ExitSignalNotifier exitSignals;
        connect(&exitSignals, &gui::ExitSignalNotifier::exitRequested, &frame, &gui::MainFrame::EndSession);
        QSignalSpy closed(&frame, &gui::MainFrame::closed);
        frame.show();

        std::atomic<bool> returned = false, yes = true;
        auto ask = [&] {
            if (question) yes = p.ui.AskYesNo("Confirmation", "Go on?");
            else p.ui.ShowBox("Warning  18", "No connected projectors found", BoxIcon::Exclamation);
            returned = true;
        };
        // Raised from the event loop: a box of the GUI thread runs its own loop until it closes.
        bool raised = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (!raised && qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                raised = true;
                std::raise(SIGTERM);
            }
        });
        watch.start(10);
        std::thread thread;
        if (worker) thread = std::thread(ask);
        else QTimer::singleShot(0, &frame, ask);

        const bool ended = QTest::qWaitFor([&] { return returned.load() && closed.count() == 1; }, 5000);
        if (thread.joinable()) ended ? thread.join() : thread.detach();
        QVERIFY(raised);
        QVERIFY(ended);
        if (question) QVERIFY(!yes.load());
        QVERIFY(!frame.isVisible());
        QCOMPARE(Le32(ReadFile(kOptionsFileName), 0), 128u);
        // Nor do the boxes of workers that follow.
        std::thread late([&] { p.ui.ShowBox("Error  1", "late", BoxIcon::Stop); });
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeModalWidget() != nullptr; }, 300) == false);
        late.join();
    }
};

OMBRIX_QTEST_MAIN(frame_gui_test, FrameGuiTest);
#include "frame_gui_test.moc"
