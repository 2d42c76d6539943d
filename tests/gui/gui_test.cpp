// The windows as the user meets them, offscreen, each row in a fresh working directory.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QtTest>
#include <csignal>
#include <optional>
#include <thread>

#include "core/app/Program.h"
#include "core/platform/RecordingUi.h"
#include "gui/app/ExitSignals.h"
#include "gui/app/MainFrame.h"
#include "gui/link/CommSetDialog.h"
#include "gui/platform/QtUi.h"
#include "GuiSupport.h"

using namespace ombrix;

using namespace ombrix::testing;

namespace {

// Found the way assistive technology finds them.
QComboBox* List(QWidget& dialog, const char* accessibleName) {
    for (QComboBox* combo : dialog.findChildren<QComboBox*>())
        if (combo->accessibleName() == QLatin1String(accessibleName)) return combo;
    return nullptr;
}

class StubbornChild : public QWidget {
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

class GuiTest : public QObject {
    Q_OBJECT
    std::optional<QTemporaryDir> dir_;
    QString home_ = QDir::currentPath();

private slots:
    void initTestCase() { QVERIFY(gui::InstallExitSignalHandlers()); }
    void init() {
        dir_.emplace();
        QDir::setCurrent(dir_->path());
    }
    void cleanup() {
        QDir::setCurrent(home_);
        dir_.reset();
    }

    void dialogShowsCommCfg_data() {
        QTest::addColumn<int>("port");  // 0: no comm.cfg
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<uint>("connected");
        QTest::newRow("no comm.cfg") << 0 << QStringList{"COM2", "9600", "8", "None", "1"} << 0u;
        QTest::newRow("COM4 2400 7 even 2") << 4 << QStringList{"COM4", "2400", "7", "Even", "2"} << 0u;
        QTest::newRow("COM1 110 5 odd 1.5, line open") << 1 << QStringList{"COM1", "110", "5", "Odd", "1.5"} << 1u;
    }
    void dialogShowsCommCfg() {
        QFETCH(int, port);
        QFETCH(QStringList, shown);
        QFETCH(uint, connected);
        if (port) {
            CommSettings s;
            s.port = uint8_t(port);
            s.baudRate = shown[1].toUInt();
            s.dataBits = uint8_t(shown[2].toInt());
            s.parity = shown[3] == "Even" ? 2 : 1;
            s.stopBits = shown[4] == "2" ? 2 : 1;
            QVERIFY(SaveCommSettings(kCommFileName, s, 9, nullptr));
        }
        TestProgram p;
        LoadCommSettings(p.state);
        p.state.link.settings.connected = connected;
        gui::CommSetDialog dialog(p.state.link);
        const char* names[] = {"Port:", "Baud Rate:", "Data Bits:", "Parity:", "Stop Bits:"};
        for (int i = 0; i < 5; ++i) {
            QComboBox* combo = List(dialog, names[i]);
            QVERIFY2(combo, names[i]);
            QCOMPARE(combo->currentText(), shown[i]);
            // The port only while the line is closed, the baud rate always, the rest never.
            QCOMPARE(combo->isEnabled(), i == 1 || (i == 0 && !connected));
        }
    }

    void dialogShowsWhereThePortLeads() {
        QFile map(QString::fromLatin1(kComPortMapFileName));
        QVERIFY(map.open(QIODevice::WriteOnly) && map.write("COM3 = tcp://127.0.0.1:4003\n") > 0);
        map.close();
        TestProgram p;
        LoadCommSettings(p.state);
        gui::CommSetDialog dialog(p.state.link);
        auto* path = dialog.findChild<QComboBox*>(QStringLiteral("portPath"));
        QCOMPARE(path->currentText(), QStringLiteral("/dev/ttyS1"));
        List(dialog, "Port:")->setCurrentIndex(2);
        QCOMPARE(path->currentText(), QStringLiteral("tcp://127.0.0.1:4003"));
    }

    // A device typed for one port and a default chosen for another reach comports.cfg on
    // OK, one line each, and the user's comments stay.
    void dialogWritesThePortMapping() {
        QFile map(QString::fromLatin1(kComPortMapFileName));
        QVERIFY(map.open(QIODevice::WriteOnly) &&
                map.write("# the hall\nCOM3 = tcp://127.0.0.1:4003\nCOM4 = /dev/ttyUSB7\n") > 0);
        map.close();
        TestProgram p;
        LoadCommSettings(p.state);
        gui::CommSetDialog dialog(p.state.link);
        auto* path = dialog.findChild<QComboBox*>(QStringLiteral("portPath"));
        List(dialog, "Port:")->setCurrentIndex(2);
        path->setCurrentText(QStringLiteral("tcp://127.0.0.1:5000"));
        List(dialog, "Port:")->setCurrentIndex(3);
        path->setCurrentText(QStringLiteral("/dev/ttyS3"));
        List(dialog, "Port:")->setCurrentIndex(2);
        QCOMPARE(path->currentText(), QStringLiteral("tcp://127.0.0.1:5000"));
        dialog.accept();
        QVERIFY(map.open(QIODevice::ReadOnly));
        QCOMPARE(map.readAll(), QByteArray("# the hall\nCOM3 = tcp://127.0.0.1:5000\n"));
        QCOMPARE(QString::fromStdString(p.state.link.portMap.Resolve(3)), QStringLiteral("tcp://127.0.0.1:5000"));
        QCOMPARE(p.state.link.settings.port, 3);
    }

    void dialogOkAndCancel_data() {
        QTest::addColumn<QDialogButtonBox::StandardButton>("press");
        QTest::addColumn<int>("port");
        QTest::addColumn<uint>("baud");
        QTest::newRow("OK: COM1 110") << QDialogButtonBox::Ok << 1 << 110u;
        QTest::newRow("OK: COM4 4800") << QDialogButtonBox::Ok << 4 << 4800u;
        QTest::newRow("Cancel") << QDialogButtonBox::Cancel << 2 << 9600u;
    }
    void dialogOkAndCancel() {
        QFETCH(QDialogButtonBox::StandardButton, press);
        QFETCH(int, port);
        QFETCH(uint, baud);
        TestProgram p;
        LoadCommSettings(p.state);
        p.state.link.currentAddress = 42;
        gui::CommSetDialog dialog(p.state.link);
        List(dialog, "Port:")->setCurrentIndex(press == QDialogButtonBox::Ok ? port - 1 : 0);
        List(dialog, "Baud Rate:")->setCurrentText(press == QDialogButtonBox::Ok ? QString::number(baud) : "110");
        dialog.findChild<QDialogButtonBox*>()->button(press)->click();

        QCOMPARE(int(p.state.link.settings.port), port);
        QCOMPARE(p.state.link.settings.baudRate, baud);
        const QByteArray file = ReadFile(kCommFileName);
        if (press == QDialogButtonBox::Cancel) {
            QVERIFY(!QFile::exists(QString::fromLatin1(kCommFileName)));
            return;
        }
        QCOMPARE(file.size(), 25);
        QCOMPARE(int(file[4]), port);
        QCOMPARE(Le32(file, 20), baud);
        QCOMPARE(int(file[16]), 8);
        QCOMPARE(int(file[24]), 42);  // currentAddress is not the dialog's
    }

    void boxesFromAnyThread_data() {
        QTest::addColumn<int>("icon");  // -1: AskYesNo
        QTest::addColumn<bool>("worker");
        QTest::addColumn<QMessageBox::StandardButton>("click");
        QTest::addColumn<int>("shownIcon");
        QTest::newRow("stop, GUI thread") << int(BoxIcon::Stop) << false << QMessageBox::Ok << int(QMessageBox::Critical);
        QTest::newRow("exclamation, worker") << int(BoxIcon::Exclamation) << true << QMessageBox::Ok << int(QMessageBox::Warning);
        QTest::newRow("information, worker") << int(BoxIcon::Information) << true << QMessageBox::Ok << int(QMessageBox::Information);
        QTest::newRow("yes/no: yes, worker") << -1 << true << QMessageBox::Yes << int(QMessageBox::Question);
        QTest::newRow("yes/no: no, GUI thread") << -1 << false << QMessageBox::No << int(QMessageBox::Question);
    }
    void boxesFromAnyThread() {
        QFETCH(int, icon);
        QFETCH(bool, worker);
        QFETCH(QMessageBox::StandardButton, click);
        QFETCH(int, shownIcon);
        // Trailing blanks and markup characters are text.
        const std::string caption = "Projector RS232 ", text = "Connection Failed. <b>(in SetupConnection)</b> ";
        struct Seen {
            QString caption, text;
            Qt::TextFormat format;
            int icon;
            bool owned, yesNo, onGuiThread;
        };
        std::optional<Seen> seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible() || seen) continue;
                seen = Seen{box->windowTitle(), box->text(), box->textFormat(), int(box->icon()),
                            box->parent() != nullptr, box->standardButtons().testFlag(QMessageBox::No),
                            box->thread() == QThread::currentThread()};
                box->button(click)->click();
            }
        });
        poll.start(10);
        gui::QtUi ui;
        std::atomic<bool> done = false, yes = false;
        auto run = [&] {
            if (icon < 0) yes = ui.AskYesNo(caption, text);
            else ui.ShowBox(caption, text, BoxIcon(icon));
            done = true;
        };
        std::thread thread;
        if (worker) thread = std::thread(run);
        else run();
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, 5000);
        if (thread.joinable()) finished ? thread.join() : thread.detach();  // detached: stuck in a box
        QVERIFY(finished);
        QVERIFY(seen);
        QCOMPARE(seen->caption, QString::fromStdString(caption));
        QCOMPARE(seen->text, QString::fromStdString(text));
        QCOMPARE(seen->format, Qt::PlainText);
        QCOMPARE(seen->icon, shownIcon);
        QVERIFY(!seen->owned);
        QCOMPARE(seen->yesNo, icon < 0);
        QVERIFY(seen->onGuiThread);
        QCOMPARE(yes.load(), click == QMessageBox::Yes);
    }

    void frameWithAndWithoutImages_data() {
        QTest::addColumn<bool>("images");
        QTest::newRow("image library present") << true;
        QTest::newRow("image library missing") << false;
    }
    void frameWithAndWithoutImages() {
        QFETCH(bool, images);
        CommSettings saved;
        saved.port = 3;
        saved.connected = 1;
        QVERIFY(SaveCommSettings(kCommFileName, saved, 17, nullptr));
        TestProgram p;
        p.loader.images = images;
        StartProgram(p.state);
        gui::MainFrame frame(p.state);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Lumenar - Standard Edition"));
        QCOMPARE(frame.objectName(), QStringLiteral("OBX"));
        QCOMPARE(!frame.windowIcon().isNull(), images);
        for (QAction* a : frame.findChild<QToolBar*>()->actions()) {
            if (!a->isSeparator()) QCOMPARE(!a->icon().isNull(), images);
        }
        // The frame reads comm.cfg, and never takes the line as open.
        QCOMPARE(int(p.state.link.settings.port), 3);
        QCOMPARE(int(p.state.link.settings.connected), 0);
        QCOMPARE(int(p.state.link.currentAddress), 17);
        // Each dialog of the main menu can be reached by its accelerator.
        const std::pair<QKeySequence, QString> dialogs[] = {
            {QKeySequence(Qt::ALT | Qt::Key_S), QStringLiteral("COMMSETBOX")},
            {QKeySequence(Qt::ALT | Qt::Key_V), QStringLiteral("VIEWADDRESSSETBOX")},
        };
        for (const auto& [key, name] : dialogs) {
            QString opened;
            QTimer::singleShot(20, [&] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    opened = modal->objectName();
                    modal->close();
                }
            });
            QAction* command = MenuCommand(frame, key);
            QVERIFY(command && command->isEnabled());
            command->trigger();
            QCOMPARE(opened, name);
        }
    }

    void clockText_data() {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("shown");
        QTest::newRow("midnight hour is 12 AM") << QTime(0, 5, 9) << "12:05:09 AM";
        QTest::newRow("one-digit hour padded") << QTime(9, 0, 0) << " 9:00:00 AM";
        QTest::newRow("noon hour is 12 PM") << QTime(12, 30, 0) << "12:30:00 PM";
        QTest::newRow("last second of the day") << QTime(23, 59, 59) << "11:59:59 PM";
    }
    void clockText() {
        QFETCH(QTime, time);
        QFETCH(QString, shown);
        QCOMPARE(gui::ClockText(time), shown);
    }

    void everyExitSavesOptionsFirst_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stubbornChild");
        QTest::newRow("File > Exit (Ctrl+Q)") << "Ctrl+Q" << false;
        QTest::newRow("close box") << "close" << false;
        QTest::newRow("SIGTERM") << "SIGTERM" << false;
        QTest::newRow("SIGINT") << "SIGINT" << false;
        QTest::newRow("child refuses to close") << "Ctrl+Q" << true;
    }
    void everyExitSavesOptionsFirst() {
        QFETCH(QString, how);
        QFETCH(bool, stubbornChild);
        TestProgram p;
        LoadOptions(p.state);
        p.state.options.searchLimit = 128;
        gui::MainFrame frame(p.state);
        gui::ExitSignalNotifier exitSignals;
        connect(&exitSignals, &gui::ExitSignalNotifier::exitRequested, &frame, &gui::MainFrame::Exit);
        QSignalSpy closed(&frame, &gui::MainFrame::closed);
        frame.show();
        frame.MdiArea()->addSubWindow(stubbornChild ? new StubbornChild : new QWidget)->show();

        if (how == "Ctrl+Q") MenuCommand(frame, QKeySequence(Qt::CTRL | Qt::Key_Q))->trigger();
        else if (how == "close") frame.close();
        else std::raise(how == "SIGTERM" ? SIGTERM : SIGINT);

        QVERIFY(QTest::qWaitFor([&] { return Le32(ReadFile(kOptionsFileName), 0) == 128; }, 2000));
        QCOMPARE(closed.count(), stubbornChild ? 0 : 1);
        QCOMPARE(frame.isVisible(), stubbornChild);
        QCOMPARE(frame.MdiArea()->subWindowList().size(), stubbornChild ? 1 : 0);
    }
};

OMBRIX_QTEST_MAIN(gui_test, GuiTest);
#include "gui_test.moc"
