// The discovery windows as the user meets them, offscreen, each test in a fresh working
// directory: the address-set dialog, the search-mode menu, the progress box, the tip
// window, and the communication window searching the in-process simulator.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QFileInfo>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QAccessible>
#include <QtTest>
#include <optional>
#include <thread>

#include "GuiSupport.h"
#include "InProcessDevice.h"
#include "SimBus.h"
#include "core/app/ProgramStrings.h"
#include "core/discovery/Search.h"
#include "core/link/SeatWire.h"
#include "gui/app/MainFrame.h"
#include "gui/comm/CommWindow.h"
#include "gui/comm/ProjectorTreeModel.h"
#include "gui/comm/ProjectorTreeView.h"
#include "gui/discovery/AddressSetBox.h"
#include "gui/discovery/ThreadTipBox.h"
#include "gui/platform/InputHold.h"
#include "gui/platform/ProgressBox.h"
#include "gui/platform/QtUi.h"

using namespace ombrix;
using namespace ombrix::testing;

namespace {

QStringList ListTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QStringList BoxTexts(const RecordingUi& ui) {
    QStringList out;
    for (const RecordedBox& b : ui.Boxes()) out << QString::fromStdString(b.text);
    return out;
}

QString LabelText(const QWidget* parent, const char* name) {
    const auto* label = parent->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

// What a screen reader reads for the label: its name, and its description.
QString LabelRead(const QWidget* parent, const char* name, QAccessible::Text what = QAccessible::Name) {
    auto* label = parent->findChild<QLabel*>(QString::fromLatin1(name));
    QAccessibleInterface* a = label ? QAccessible::queryAccessibleInterface(label) : nullptr;
    return a ? a->text(what) : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

// A program whose options and address sets start from the working directory's files,
// with the type library's texts so that boxes have something to say.
struct DialogProgram : TestProgram {
    DialogProgram() {
        loader.strings = true;
        StartProgram(state);
        ui.Clear();
    }
};

// Three projectors: 1 operating, 2 in standby, 3 operating.
const char* kThreeProjectors = R"(
[projector]
address = 1
type = 5 V
version = 3.05
id = 100234
status = 40 00 90 21
block-length = 16

[projector]
address = 2
type = 16 D
version = 2.10
status = 00 00 81 00
block-length = 16

[projector]
address = 3
type = 25 V
version = 12.05
id = -2147483647
status = 00 00 80 c0
block-length = 20
header-variant = 2
)";

// The window program on the simulated bus, with time running fifty times faster.
struct SimProgram {
    explicit SimProgram(const char* busText) {
        std::string error;
        parsed = sim::ParseBusText(busText, &bus, &error);
        // Both libraries: a missing one would stop the start-up at its box.
        loader.images = true;
        loader.strings = true;
        StartProgram(state);
    }
    ScaledClock clock{50};
    gui::QtUi ui;
    LibrariesOnRequest loader;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    ProgramState state{clock, ui, loader, opener};
    bool parsed = false;
};

}  // namespace

class DiscoveryGuiTest : public QObject {
    Q_OBJECT
    std::optional<QTemporaryDir> dir_;
    QString home_ = QDir::currentPath();

private slots:
    void init() {
        dir_.emplace();
        QDir::setCurrent(dir_->path());
    }
    void cleanup() {
        QDir::setCurrent(home_);
        dir_.reset();
    }

    // Steps: "pick N" selects picker entry N, "type T" types into the picker, "add",
    // "select N" selects the list line N, "delete".
    void addressSetEditing_data() {
        QTest::addColumn<QList<int>>("before");  // user_addr.cfg; empty: no file
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QList<int>>("file");
        QTest::addColumn<QStringList>("boxes");
        const QString cantOpen = "Can't open file user_adr.cfg";
        const QString duplicate = "Address is already defined in list, can't add";
        QTest::newRow("add to an empty set creates the file")
            << QList<int>{} << QStringList{"pick 5", "add"} << QStringList{"5"} << QList<int>{5}
            << QStringList{cantOpen};
        QTest::newRow("added last, in the order added")
            << QList<int>{9} << QStringList{"pick 200", "add", "pick 3", "add"} << QStringList{"9", "200", "3"}
            << QList<int>{9, 200, 3} << QStringList{};
        QTest::newRow("a duplicate is refused with warning 1")
            << QList<int>{7, 8} << QStringList{"pick 8", "add"} << QStringList{"7", "8"} << QList<int>{7, 8}
            << QStringList{duplicate};
        QTest::newRow("typed address is added") << QList<int>{1} << QStringList{"type 17", "add"}
                                                << QStringList{"1", "17"} << QList<int>{1, 17} << QStringList{};
        QTest::newRow("typed text that is no address adds nothing")
            << QList<int>{1} << QStringList{"type 0", "add", "type ", "add"} << QStringList{"1"} << QList<int>{1}
            << QStringList{};
        QTest::newRow("delete the selected address")
            << QList<int>{4, 6, 9} << QStringList{"select 6", "delete"} << QStringList{"4", "9"} << QList<int>{4, 9}
            << QStringList{};
        QTest::newRow("deleting the only entry leaves an empty file")
            << QList<int>{12} << QStringList{"select 12", "delete"} << QStringList{} << QList<int>{}
            << QStringList{};
        QTest::newRow("delete without a selection does nothing")
            << QList<int>{4, 6} << QStringList{"delete"} << QStringList{"4", "6"} << QList<int>{4, 6} << QStringList{};
    }
    void addressSetEditing() {
        QFETCH(QList<int>, before);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        QFETCH(QList<int>, file);
        QFETCH(QStringList, boxes);
        if (!before.isEmpty()) QVERIFY(WriteAddressEntries(kUserAddressFile, before));
        DialogProgram p;
        p.state.options.userAddressCount = int32_t(before.size());
        gui::AddressSetBox dialog(p.state);
        auto* picker = dialog.findChild<QComboBox*>("picker");
        auto* list = dialog.findChild<QListWidget*>("addressList");
        QCOMPARE(picker->count(), 255);
        QCOMPARE(picker->itemText(0), "1");
        QCOMPARE(picker->itemText(254), "255");
        QCOMPARE(picker->currentText(), "1");
        for (const QString& step : steps) {
            const QString arg = step.section(' ', 1);
            if (step.startsWith("pick")) {
                picker->setCurrentIndex(arg.toInt() - 1);
            } else if (step.startsWith("type")) {
                picker->setEditText(arg);
            } else if (step == "add") {
                Button(dialog, "&Add")->click();
            } else if (step == "delete") {
                Button(dialog, "&Delete")->click();
            } else if (step.startsWith("select")) {
                const auto found = list->findItems(arg, Qt::MatchExactly);
                QVERIFY(!found.isEmpty());
                list->setCurrentItem(found.first());
            }
        }
        QCOMPARE(ListTexts(list), shown);
        QCOMPARE(AddressEntries(kUserAddressFile), file);
        QCOMPARE(p.state.options.userAddressCount, int32_t(file.size()));
        QCOMPARE(BoxTexts(p.ui), boxes);
    }

    void addressSetViews() {
        QVERIFY(WriteAddressEntries(kUserAddressFile, {5, 6}));
        QVERIFY(WriteAddressEntries(kGeneratedAddressFile, {3, 1, 7, 9}));
        DialogProgram p;
        p.state.options.userAddressCount = 2;
        p.state.options.searchLimit = 3;
        gui::AddressSetBox dialog(p.state);
        auto* list = dialog.findChild<QListWidget*>("addressList");
        QRadioButton* user = nullptr;
        QRadioButton* generated = nullptr;
        for (QRadioButton* r : dialog.findChildren<QRadioButton*>()) {
            (r->text() == "View userdefined addressset" ? user : generated) = r;
        }
        QPushButton* add = Button(dialog, "&Add");
        QPushButton* del = Button(dialog, "&Delete");

        QVERIFY(user->isChecked() && !generated->isChecked());
        QCOMPARE(ListTexts(list), (QStringList{"5", "6"}));

        // The generated set: what addr.cfg holds, all of it, and no editing.
        generated->click();
        QVERIFY(!user->isChecked() && generated->isChecked());
        QCOMPARE(ListTexts(list), (QStringList{"3", "1", "7", "9"}));
        QVERIFY(!add->isEnabled() && !del->isEnabled());

        user->click();
        QCOMPARE(ListTexts(list), (QStringList{"5", "6"}));
        QVERIFY(add->isEnabled() && del->isEnabled());

        QVERIFY(QFile::remove(kGeneratedAddressFile));
        generated->click();
        QVERIFY(ListTexts(list).isEmpty());
        QCOMPARE(BoxTexts(p.ui), QStringList{"Can't open file adr.cfg"});
    }

    void addressSetRange_data() {
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("endText");
        QTest::addColumn<QString>("close");  // OK, Cancel or Escape
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("refused");  // OK stays open with a box that says why
        QTest::newRow("OK stores both fields") << "10" << "12" << "OK" << 10 << 12 << false;
        QTest::newRow("leading zeros are decimal") << "00010" << "0020" << "OK" << 10 << 20 << false;
        QTest::newRow("300 is refused") << "300" << "255" << "OK" << 42 << 42 << true;
        QTest::newRow("letters are refused") << "12a" << "20" << "OK" << 42 << 42 << true;
        QTest::newRow("an end below the start is refused") << "20" << "10" << "OK" << 42 << 42 << true;
        QTest::newRow("Cancel stores a valid range too") << "33" << "44" << "Cancel" << 33 << 44 << false;
        QTest::newRow("and drops an invalid one silently") << "33" << "4x" << "Cancel" << 42 << 42 << false;
        QTest::newRow("so does Escape") << "7" << "8" << "Escape" << 7 << 8 << false;
    }
    void addressSetRange() {
        QFETCH(QString, startText);
        QFETCH(QString, endText);
        QFETCH(QString, close);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, refused);
        DialogProgram p;
        p.state.options.rangeStart = 2;
        p.state.options.rangeEnd = 99;
        gui::AddressSetBox dialog(p.state);
        auto* startField = dialog.findChild<QLineEdit*>("rangeStart");
        auto* endField = dialog.findChild<QLineEdit*>("rangeEnd");
        QCOMPARE(startField->text(), "2");
        QCOMPARE(endField->text(), "99");
        // Start and End take the picker's address and store it at once.
        dialog.findChild<QComboBox*>("picker")->setCurrentIndex(41);
        Button(dialog, "&Start")->click();
        Button(dialog, "&End")->click();
        QCOMPARE(startField->text(), "42");
        QCOMPARE(int(p.state.options.rangeStart), 42);
        QCOMPARE(int(p.state.options.rangeEnd), 42);
        p.ui.Clear();  // the opening's box for the missing user-defined set
        startField->setText(startText);
        endField->setText(endText);
        if (close == "Escape") QTest::keyClick(&dialog, Qt::Key_Escape);
        else dialog.findChild<QDialogButtonBox*>()->button(close == "OK" ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        QCOMPARE(int(p.state.options.rangeStart), start);
        QCOMPARE(int(p.state.options.rangeEnd), end);
        QCOMPARE(BoxTexts(p.ui).size(), refused ? 1 : 0);
        QCOMPARE(dialog.result(), close == "OK" && !refused ? int(QDialog::Accepted) : int(QDialog::Rejected));
    }

    void searchModeMenu_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("useSet");
        QTest::addColumn<int>("userSet");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        // Before each row: limit 16, no address set, stored range 10-20.
        QTest::newRow("16") << "&Check to address 16" << kCmdCheckTo16 << "Check to address 16" << 16 << 0 << 0 << 1 << 16;
        QTest::newRow("128") << "C&heck to address 128" << kCmdCheckTo128 << "Check to address 128" << 128 << 0 << 0 << 1 << 128;
        QTest::newRow("256 ends at 255") << "Ch&eck to address 256" << kCmdCheckTo256 << "Check to address 256" << 256 << 0 << 0 << 1 << 255;
        QTest::newRow("range 10-20 is 11") << "Check within &range" << kCmdCheckRange << "Check within range" << 11 << 0 << 0 << 10 << 20;
        QTest::newRow("userdefined") << "&Use userdefined addresset" << kCmdUserDefinedSet << "Use userdefined addressset" << 16 << 1 << 1 << 10 << 20;
        QTest::newRow("generated") << "&Use generated addresset" << kCmdGeneratedSet << "Use generated addressset" << 16 << 1 << 0 << 10 << 20;
        QTest::newRow("skip") << "&Skip search" << kCmdSkipSearch << "Skip Search" << 0 << 0 << 0 << 10 << 20;
    }
    void searchModeMenu() {
        QFETCH(QString, item);
        QFETCH(int, command);
        QFETCH(QString, status);
        QFETCH(int, limit);
        QFETCH(int, useSet);
        QFETCH(int, userSet);
        QFETCH(int, start);
        QFETCH(int, end);
        TestProgram p;
        LoadOptions(p.state);
        p.state.options.rangeStart = 10;
        p.state.options.rangeEnd = 20;
        gui::MainFrame frame(p.state);
        QCOMPARE(LabelText(&frame, "searchMode"), "Check to address 16");

        QList<QAction*> modes;
        for (const char* text : {"&Check to address 16", "C&heck to address 128", "Ch&eck to address 256",
                                 "Check within &range", "&Use userdefined addresset", "&Use generated addresset",
                                 "&Skip search"}) {
            QAction* a = MenuCommand(frame, {}, QString::fromLatin1(text));
            QVERIFY2(a && a->isEnabled() && a->isCheckable(), text);
            modes << a;
        }
        QAction* chosen = MenuCommand(frame, {}, item);
        // Its help line while highlighted.
        emit chosen->hovered();
        QCOMPARE(frame.StatusText(0), QString::fromLatin1(ProgramString(command)));
        chosen->trigger();

        for (QAction* a : modes) QCOMPARE(a->isChecked(), a == chosen);
        QCOMPARE(LabelText(&frame, "searchMode"), status);
        const ProgramOptions& o = p.state.options;
        QCOMPARE(o.searchLimit, limit);
        QCOMPARE(int(o.useAddressSet), useSet);
        QCOMPARE(int(o.userDefinedSet), userSet);
        QCOMPARE(int(o.rangeStart), start);
        QCOMPARE(int(o.rangeEnd), end);
    }

    // A search changes the mode behind the menu's back; opening the menu shows it.
    void searchModeMarksFollowTheOptions() {
        TestProgram p;
        LoadOptions(p.state);
        gui::MainFrame frame(p.state);
        QAction* generated = MenuCommand(frame, {}, "&Use generated addresset");
        QAction* to16 = MenuCommand(frame, {}, "&Check to address 16");
        QVERIFY(to16->isChecked() && !generated->isChecked());
        p.state.options.useAddressSet = 1;
        p.state.options.searchLimit = 3;
        QMenu* options = nullptr;
        for (QAction* top : frame.menuBar()->actions())
            if (top->text() == "&Options") options = top->menu();
        emit options->aboutToShow();
        QVERIFY(!to16->isChecked() && generated->isChecked());
        QCOMPARE(LabelText(&frame, "searchMode"), "Use generated addressset");
    }

    void tipCountdown_data() {
        QTest::addColumn<int>("secondsLeft");
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("barShown");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<QString>("words");
        QTest::newRow("countdown starts") << 60 << 0 << 60 << true << "60" << "sec remaining";
        QTest::newRow("counting down") << 3 << 57 << 60 << true << "3" << "sec remaining";
        QTest::newRow("total 0 ends it") << 0 << 0 << 0 << false << "" << "";
    }
    void tipCountdown() {
        QFETCH(int, secondsLeft);
        QFETCH(int, steps);
        QFETCH(int, total);
        QFETCH(bool, barShown);
        QFETCH(QString, seconds);
        QFETCH(QString, words);
        gui::ThreadTipBox tip;
        tip.show();
        auto* bar = tip.findChild<QProgressBar*>("countdown");
        QVERIFY(!bar->isVisible());
        QCOMPARE(LabelText(&tip, "secRemaining"), "");
        // Always from inside a running countdown, so the end really hides it again.
        tip.SetCountdown(10, 1, 10);
        tip.SetCountdown(secondsLeft, steps, total);
        QCOMPARE(bar->isVisible(), barShown);
        if (barShown) {
            QCOMPARE(bar->maximum(), total);
            QCOMPARE(bar->value(), steps);
        }
        QCOMPARE(LabelText(&tip, "secondsLeft"), seconds);
        QCOMPARE(LabelText(&tip, "secRemaining"), words);
    }

    // The search and the check call in from workers and must never wait for the GUI
    // thread; tip lines with no tip window registered go nowhere.
    void workerCallsArePosted() {
        gui::QtUi ui;
        gui::ThreadTipBox tip;
        QCOMPARE(tip.objectName(), "THREADTIPBOX");
        QVERIFY(tip.windowTitle().isEmpty());
        ui.SetTipBox(&tip);
        std::atomic<bool> done = false;
        std::thread worker([&] {
            ui.ProgressOpen("Initializing connected projectors", "Cancel or Ctrl+Break", 4);
            ui.ProgressLine(2, "Projector with address 3 found ...");
            ui.ProgressStep();
            ui.TipLine(1, "Searching ...");
            ui.TipLine(3, "Sound is available");
            ui.TipLine(4, "no such line");
            ui.TipCountdown(9, 1, 10);
            done = true;
        });
        // Waits without running the GUI thread's events: a blocking call would never return.
        for (int i = 0; i < 500 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        done ? worker.join() : worker.detach();
        QVERIFY(done);
        QTRY_VERIFY(ui.OpenProgressBox());
        QCOMPARE(LabelText(ui.OpenProgressBox(), "line2"), "Projector with address 3 found ...");
        QCOMPARE(ui.OpenProgressBox()->findChild<QProgressBar*>()->value(), 1);
        QTRY_COMPARE(LabelText(&tip, "secondsLeft"), "9");
        QCOMPARE(LabelText(&tip, "line1"), "Searching ...");
        QCOMPARE(LabelText(&tip, "line3"), "Sound is available");
        // A screen reader hears the lines as they stand, not what they are for.
        QCOMPARE(LabelRead(ui.OpenProgressBox(), "line2"), "Projector with address 3 found ...");
        QCOMPARE(LabelRead(&tip, "line1"), "Searching ...");
        QCOMPARE(LabelRead(&tip, "line1", QAccessible::Description), "Background check line 1");
        QCOMPARE(LabelRead(&tip, "secondsLeft"), "9");
        QCOMPARE(LabelRead(&tip, "secondsLeft", QAccessible::Description), "Seconds remaining");
        std::thread([&] { ui.ProgressClose(); }).join();
        QTRY_VERIFY(!ui.OpenProgressBox());

        ui.SetTipBox(nullptr);
        std::thread([&] { ui.TipLine(1, "Waiting ..."); }).join();
        QCoreApplication::processEvents();
        QCOMPARE(LabelText(&tip, "line1"), "Searching ...");
    }

    void progressBoxCancel_data() {
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("cancels");
        QTest::newRow("Cancel button") << "Cancel" << true;
        QTest::newRow("Ctrl+Pause") << "Ctrl+Pause" << true;
        QTest::newRow("Ctrl+Cancel") << "Ctrl+Cancel" << true;
        QTest::newRow("Ctrl+Break as X11 reports it") << "Ctrl+X11Break" << true;
        QTest::newRow("Pause without Ctrl") << "Pause" << false;
        QTest::newRow("Escape") << "Escape" << false;
    }
    void progressBoxCancel() {
        QFETCH(QString, press);
        QFETCH(bool, cancels);
        gui::QtUi ui;
        ui.ProgressOpen("Initializing connected projectors", "Cancel or Ctrl+Break", 16);
        gui::ProgressBox* box = ui.OpenProgressBox();
        QVERIFY(box && box->isVisible());
        QCOMPARE(box->objectName(), "PROGRESSBOX");
        QCOMPARE(box->windowTitle(), "Initializing connected projectors");
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
        QCOMPARE(LabelText(box, "note"), "Cancel or Ctrl+Break");
        QCOMPARE(box->findChild<QProgressBar*>()->maximum(), 16);
        QVERIFY(!ui.ProgressCancelled());

        if (press == "Cancel") {
            box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
        } else {
            // To the focused button first, as the keyboard would; it passes keys it ignores on.
            const Qt::Key key = press.endsWith("Pause")    ? Qt::Key_Pause
                                : press.endsWith("Cancel") ? Qt::Key_Cancel
                                : press.endsWith("Break")  ? Qt::Key_unknown
                                                           : Qt::Key_Escape;
            const quint32 keysym = press.endsWith("Break") ? 0xFF6B : 0;
            QKeyEvent keyEvent(QEvent::KeyPress, key == Qt::Key_unknown ? 0 : key,
                               press.startsWith("Ctrl") ? Qt::ControlModifier : Qt::NoModifier, 0, keysym, 0);
            QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box, &keyEvent);
        }
        QCOMPARE(ui.ProgressCancelled(), cancels);
        // Only the operation closes the box.
        QVERIFY(box->isVisible());
        ui.ProgressClose();
        QVERIFY(!ui.OpenProgressBox());

        // A new operation does not inherit the cancel.
        ui.ProgressOpen("Initializing connected projectors", "Cancel or Ctrl+Break", 4);
        QVERIFY(!ui.ProgressCancelled());
        ui.ProgressClose();
    }

    // Input that arrives while a command runs is dropped, not replayed afterwards.
    void inputHoldDropsInput() {
        QWidget window;
        auto* button = new QPushButton("Press", &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicked(button, &QPushButton::clicked);
        int breaks = 0;
        {
            gui::InputHold hold([&] { ++breaks; });
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::keyClick(button, Qt::Key_Space);
            QCOMPARE(clicked.count(), 0);
            QTest::keyClick(button, Qt::Key_Pause, Qt::ControlModifier);
            QCOMPARE(breaks, 1);

            // The modal box on top, such as the progress box, still takes its input.
            QDialog box;
            auto* cancel = new QPushButton("Cancel", &box);
            box.setWindowModality(Qt::ApplicationModal);
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            QSignalSpy cancelled(cancel, &QPushButton::clicked);
            QTest::mouseClick(cancel, Qt::LeftButton);
            QCOMPARE(cancelled.count(), 1);
        }
        QCoreApplication::processEvents();
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    void communicationWindow_data() {
        QTest::addColumn<QString>("bus");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("rows");  // "address state"
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<bool>("searched");
        QTest::addColumn<int>("limitAfter");
        QTest::addColumn<bool>("lineFails");
        QTest::newRow("three projectors found")
            << kThreeProjectors << kCmdCheckTo16 << QStringList{"1 Operating", "2 StandBy", "3 Operating"}
            // No description files here: each projector's is missing, then the default one.
            << QStringList{"No more files found to search", "Can't open description file",
                           "Can't open description file", "No more files found to search",
                           "Can't open description file", "Can't open default description file"}
            << true << 3 << false;
        QTest::newRow("nobody answers: warning 18")
            << "" << kCmdCheckTo16 << QStringList{}
            << QStringList{"No connected projectors found", "Can't open default description file",
                           "No items added to the RAMcontainer"}
            << true << 0 << false;
        QTest::newRow("skip search: no line, no search")
            << kThreeProjectors << kCmdSkipSearch << QStringList{}
            << QStringList{"Can't open default description file"} << false << 0 << false;
        QTest::newRow("the line cannot be opened: its box, an empty window")
            << kThreeProjectors << kCmdCheckTo16 << QStringList{}
            << QStringList{"Connection failed (in create)\nCannot open COM2 (/dev/ttyS1): no such device.",
                           "Can't open default description file"}
            << false << 16 << true;
    }
    void communicationWindow() {
        QFETCH(QString, bus);
        QFETCH(int, mode);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, boxes);
        QFETCH(bool, searched);
        QFETCH(int, limitAfter);
        QFETCH(bool, lineFails);
        SimProgram p(bus.toLatin1().constData());
        QVERIFY(p.parsed);
        p.opener.fail = lineFails;
        SetSearchMode(p.state.options, mode);
        gui::MainFrame frame(p.state);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));

        // Watches from the GUI thread's own event loop while the search runs.
        int ticksWhileSearching = 0;
        bool progressShown = false;
        bool heldInputGotThrough = false;
        QStringList shownBoxes;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            gui::CommWindow* comm = frame.Communication();
            if (comm && comm->Busy()) {
                ++ticksWhileSearching;
                // The frame's own commands must not start in the middle of the search.
                // (Posted: a dialog they open must not run inside this handler.)
                if (ticksWhileSearching == 3) {
                    QTimer::singleShot(0, &frame, [&] {
                        QToolBar* toolbar = frame.ModeToolBar(frame.Mode());
                        for (QAction* a : toolbar->actions()) {
                            if (!a->isSeparator()) QTest::mouseClick(toolbar->widgetForAction(a), Qt::LeftButton);
                        }
                        QTest::keyClick(&frame, Qt::Key_S, Qt::AltModifier);
                    });
                }
            }
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "PROGRESSBOX" && w->isVisible()) progressShown = true;
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            if (modal->objectName() == "COMMSETBOX" || modal->objectName() == "ABOUTBOX") {
                heldInputGotThrough = true;
                modal->close();
            }
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                // Where the program looked is the test's own folder: that it says so is kept.
                QString text = box->text();
                if (text.startsWith("No more files found to search\n") && text.contains("; looked in ")) {
                    text = text.section('\n', 0, 0);
                }
                shownBoxes << text;
                box->button(QMessageBox::Ok)->click();
            }
        });
        watch.start(5);

        MenuCommand(frame, QKeySequence(Qt::Key_F2))->trigger();
        gui::CommWindow* comm = frame.Communication();
        QVERIFY(comm && !comm->Busy());
        QCOMPARE(frame.MdiArea()->subWindowList().size(), 1);
        QVERIFY(frame.MdiArea()->subWindowList().first()->isMaximized());
        QCOMPARE(comm->windowTitle(), "Ombrix Communication");
        QCOMPARE(progressShown, searched);
        if (searched) QVERIFY2(ticksWhileSearching > 0, "the GUI thread stopped during the search");
        QVERIFY(!heldInputGotThrough);
        QCOMPARE(shownBoxes, boxes);
        QCOMPARE(p.opener.lastPath.empty(), !searched && !lineFails);

        QStringList listed;
        const QAbstractItemModel* tree = comm->Tree()->model();
        const QModelIndex group = tree->index(0, 0);
        for (int i = 0; i < tree->rowCount(group); ++i) {
            const QModelIndex node = tree->index(i, 0, group);
            const uint data = node.data(gui::ProjectorTreeModel::kNodeDataRole).toUInt();
            listed << QString::number(NodeDataAddress(data)) + " " + node.data(Qt::ToolTipRole).toString();
        }
        QCOMPARE(listed, rows);
        QCOMPARE(p.state.options.searchLimit, limitAfter);

        // With projectors connected the background check runs, its lines in the tip window.
        QCOMPARE(comm->TipBox() != nullptr, !rows.isEmpty());
        if (!rows.isEmpty()) {
            QCOMPARE(LabelText(&frame, "searchMode"), "Use generated addressset");
            // Timer 1 is armed with the interval of the options; its tick starts a pass
            // (fired early here: the timer runs on wall time, the bus on the scaled clock).
            auto* checkTimer = comm->findChild<QTimer*>("checkTimer");
            QVERIFY(checkTimer->isActive());
            QCOMPARE(checkTimer->interval(), 60000);
            QCOMPARE(LabelText(comm->TipBox(), "line1"), "Preparing background check ...");
            checkTimer->start(0);
            QTRY_VERIFY_WITH_TIMEOUT(LabelText(comm->TipBox(), "line2").startsWith("Projector with address"), 5000);
            // After the evaluation the countdown re-arms the timer.
            QTRY_COMPARE_WITH_TIMEOUT(LabelText(comm->TipBox(), "secRemaining"), "sec remaining", 10000);
            QVERIFY(checkTimer->isActive());
            QCOMPARE(checkTimer->interval(), 60000);
            const QRect tip = comm->TipBox()->geometry();
            QCOMPARE(tip.height(), comm->height() / 5);
            QCOMPARE(tip.top(), comm->height() / 5 * 4);
        }

        watch.stop();
        QVERIFY(frame.MdiArea()->subWindowList().first()->close());
        QVERIFY(!p.state.link.device);
        QCOMPARE(Le32(ReadFile(kOptionsFileName), 0), uint32_t(limitAfter));
    }

    // The window program on a line that ombrix-server holds: the communication window
    // opens and lists the projectors through the server's seat while the server goes on
    // serving them. Real processes on the simulator's pseudo-terminal, real time.
    void communicationWindowOnAServedLine() {
        const QString bin = QStringLiteral(OMBRIX_BIN_DIR);
        // The types' descriptions, which the window loads for the current projector.
        const QDir data(QStringLiteral(OMBRIX_DATA_DIR));
        for (const QString& name : data.entryList({"*.dsc"}, QDir::Files)) QVERIFY(QFile::copy(data.filePath(name), name));
        QFile quick("quicksearch.cfg");
        QVERIFY(quick.open(QIODevice::WriteOnly));
        quick.write("quick-search = on\n");
        quick.close();
        QProcess sim, server;
        sim.start(bin + "/ombrix-sim", {"--bus", QStringLiteral(OMBRIX_DATA_DIR) + "/demo-bus.cfg", "--pty", "--link",
                                        "tty"});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists("tty"), 10000);
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(bin + "/ombrix-server", {"--workdir", ".", "--device", "tty", "--listen", "127.0.0.1:0"});
        QString log;
        auto logged = [&](const QByteArray& text) {
            log += QString::fromUtf8(server.readAll());
            return log.contains(QString::fromUtf8(text));
        };
        QTRY_VERIFY_WITH_TIMEOUT(logged("the search has ended"), 120000);
        QVERIFY(QFile::exists(QString::fromStdString(SeatSocketPath(QDir::current().absoluteFilePath("tty").toStdString()))));

        struct {
            SteadyClock clock;
            gui::QtUi ui;
            LibrariesOnRequest loader;
            SystemDeviceOpener opener;
            ProgramState state{clock, ui, loader, opener};
        } p;
        p.loader.images = true;
        p.loader.strings = true;
        StartProgram(p.state);
        p.state.link.deviceOverride = QDir::current().absoluteFilePath("tty").toStdString();
        gui::MainFrame frame(p.state);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QStringList boxes;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes << box->text();
                box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
            }
        });
        answer.start(20);
        MenuCommand(frame, QKeySequence(Qt::Key_F2))->trigger();
        answer.stop();
        QCOMPARE(boxes, QStringList());
        gui::CommWindow* comm = frame.Communication();
        QVERIFY(comm && !comm->Busy());
        QStringList listed;
        const QAbstractItemModel* tree = comm->Tree()->model();
        const QModelIndex group = tree->index(0, 0);
        for (int i = 0; i < tree->rowCount(group); ++i) {
            const uint data = tree->index(i, 0, group).data(gui::ProjectorTreeModel::kNodeDataRole).toUInt();
            listed << QString::number(NodeDataAddress(data));
        }
        QCOMPARE(listed, QStringList({"1", "4", "7", "12"}));
        // The server names the seat by the program that sits at it: this test's.
        QVERIFY(logged(("taken by " + QFileInfo(QCoreApplication::applicationFilePath()).fileName()).toUtf8()));
        QCOMPARE(server.state(), QProcess::Running);
        QVERIFY(frame.MdiArea()->subWindowList().first()->close());
        server.terminate();
        QVERIFY(server.waitForFinished(20000));
        sim.terminate();
        sim.waitForFinished(5000);
    }

    // An exit (File → Exit, a signal, the close box) during the search stops the search
    // and then exits.
    void exitDuringTheSearch_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("File > Exit") << false;
        QTest::newRow("close box") << true;
    }
    void exitDuringTheSearch() {
        QFETCH(bool, closeBox);
        SimProgram p(kThreeProjectors);
        SetSearchMode(p.state.options, kCmdCheckTo128);
        gui::MainFrame frame(p.state);
        QSignalSpy closed(&frame, &gui::MainFrame::closed);
        frame.show();
        QTimer watch;
        bool exitAsked = false;
        bool frameBlocked = false;
        connect(&watch, &QTimer::timeout, [&] {
            gui::CommWindow* comm = frame.Communication();
            gui::ProgressBox* progress = p.ui.OpenProgressBox();
            if (!exitAsked && comm && comm->Busy() && p.state.link.device && progress && progress->isVisible()) {
                exitAsked = true;
                if (!closeBox) {
                    frame.Exit();
                    return;
                }
                // The window system may only ask the frame when no modal box blocks it.
                frameBlocked = QGuiApplication::modalWindow() != nullptr;
                frame.windowHandle()->close();
            }
        });
        watch.start(20);
        MenuCommand(frame, QKeySequence(Qt::Key_F2))->trigger();
        QVERIFY(exitAsked);
        QVERIFY(!frameBlocked);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!frame.isVisible());
        QVERIFY(!p.state.link.device);
        // The search was stopped as by Ctrl+Break, and what it found was kept.
        QVERIFY(p.ui.ProgressCancelled());
        QCOMPARE(Le32(ReadFile(kOptionsFileName), 0), uint32_t(p.state.options.searchLimit));
    }
};

OMBRIX_QTEST_MAIN(discovery_gui_test, DiscoveryGuiTest);
#include "discovery_gui_test.moc"
