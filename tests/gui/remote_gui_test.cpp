// The remote-control windows offscreen, beside a communication window, on the in-process
// simulator: a click sends the key's frame, the keyboard types an address, windows open
// side by side up to nine and close together.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QAccessible>
#include <QtTest>
#include <functional>
#include <optional>

#include "GuiSupport.h"
#include "InProcessDevice.h"
#include "SimBus.h"
#include "core/discovery/Search.h"
#include "core/link/Frame.h"
#include "gui/comm/CommWindow.h"
#include "gui/remote/HandsetKey.h"
#include "gui/remote/RemoteControl.h"
#include "gui/remote/RemoteWindow.h"

using namespace ombrix;
using namespace ombrix::testing;

namespace {

const char* kTwoProjectors = R"(
[projector]
address = 1
type = 5 V
version = 3.05
status = 40 00 90 21
block-length = 16

[projector]
address = 7
type = 16 D
version = 2.10
status = 00 00 80 00
block-length = 16
)";

struct RemoteProgram {
    RemoteProgram() {
        std::string error;
        parsed = sim::ParseBusText(kTwoProjectors, &bus, &error);
        loader.images = true;
        loader.strings = true;
        StartProgram(state);
        SetupConnection(state.env, state.link, kOwnerTool);
        for (int a : {1, 7}) {
            ProjectorRecord r;
            ProbeAddress(state.link, state.env, a, &r, &state.statusFlags, false);
            state.projectors.records[static_cast<size_t>(state.projectors.connectedCount++)] = r;
        }
        state.link.currentAddress = 1;
        bus.ClearTranscript();
        comm = new gui::CommWindow(state, nullptr, &frame);
    }
    ~RemoteProgram() {
        gui::CloseAllRemoteControls();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        CloseConnectionAll(state.link);
    }
    void Open() {
        gui::OpenRemoteControl(state, nullptr, &frame, [this] { ++treeRefreshes; });
    }
    // The request frames so far, decoded: address, command and the four data bytes.
    QList<QList<int>> Frames() const {
        QList<QList<int>> out;
        for (const auto& e : bus.Transcript()) {
            if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != kStartByte) continue;
            QList<int> f;
            for (int i = 2; i < 8; ++i) f << uint8_t(e.bytes[size_t(i)] - e.bytes[1]);
            out << f;
        }
        return out;
    }

    VirtualClock clock;
    RecordingUi ui;
    LibrariesOnRequest loader;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    ProgramState state{clock, ui, loader, opener};
    QWidget frame;
    gui::CommWindow* comm = nullptr;
    int treeRefreshes = 0;
    bool parsed = false;
};

QList<gui::RemoteWindow*> Windows() {
    QList<gui::RemoteWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* r = qobject_cast<gui::RemoteWindow*>(w); r && r->isVisible()) out << r;
    std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->Id() < b->Id(); });
    return out;
}

QString Part(const QWidget* w, const char* name) {
    const auto* label = w->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

}  // namespace

class RemoteGuiTest : public QObject {
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

    void aClickSendsTheKeyFrame() {
        RemoteProgram p;
        QVERIFY(p.parsed);
        p.Open();
        const auto windows = Windows();
        QCOMPARE(windows.size(), 1);
        gui::RemoteWindow* w = windows[0];
        QCOMPARE(w->windowTitle(), QStringLiteral("Remote Control [1]"));
        QCOMPARE(Part(w, "connection"), QStringLiteral("Connected"));
        QCOMPARE(Part(w, "address"), QStringLiteral("1"));

        gui::HandsetKey* normal = w->Key(1043);
        QVERIFY(normal);
        QCOMPARE(normal->accessibleName(), QStringLiteral("Normal"));
        QTest::mouseClick(normal, Qt::LeftButton);
        QCOMPARE(p.Frames(), (QList<QList<int>>{{1, 0x1B, 0, 0, 0, 0}}));
        QVERIFY(!normal->isDown());

        // Power, with its status read back: the tree is told.
        p.bus.ClearTranscript();
        QTest::mouseClick(w->Key(1040), Qt::LeftButton);
        QCOMPARE(p.Frames(), (QList<QList<int>>{{1, 0x0E, 0, 0, 0, 0}, {1, 'K', 0, 0, 0, 0}}));
        QCOMPARE(p.treeRefreshes, 1);
        QCOMPARE(p.state.projectors.records[0].standby, uint8_t(1));
        QVERIFY(p.ui.Boxes().empty());
    }

    void theKeyboardTypesAnAddress() {
        RemoteProgram p;
        p.Open();
        gui::RemoteWindow* w = Windows().value(0);
        QVERIFY(w);
        QTest::mouseClick(w->Key(1013), Qt::LeftButton);
        QTest::keyClick(w, Qt::Key_7);
        QCOMPARE(w->windowTitle(), QStringLiteral("Remote Control [7]"));
        QCOMPARE(Part(w, "address"), QStringLiteral("7"));
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(p.Frames(), (QList<QList<int>>{{7, 0x08, 0, 0, 0, 0}}));
        // Digits are keys again once the address is typed.
        p.bus.ClearTranscript();
        QTest::keyClick(w, Qt::Key_3);
        QCOMPARE(p.Frames(), (QList<QList<int>>{{7, 0x13, 0, 0, 0, 0}}));

        // Down to the second pair, then its right key held by the arrow key.
        p.bus.ClearTranscript();
        QTest::keyClick(w, Qt::Key_Down);
        QTimer::singleShot(30, w, [w] { QTest::keyRelease(w, Qt::Key_Right); });
        QTest::keyPress(w, Qt::Key_Right);
        const auto frames = p.Frames();
        QVERIFY(!frames.isEmpty());
        QCOMPARE(frames.front(), (QList<int>{7, 0x2E, 0, 0, 0, 0}));
        QCOMPARE(frames.back(), frames.front());
    }

    // The release must get past the input hold, or the key would repeat for ever.
    void aHeldKeyRepeatsUntilTheButtonComesUp() {
        RemoteProgram p;
        p.Open();
        gui::RemoteWindow* w = Windows().value(0);
        QVERIFY(w);
        gui::HandsetKey* key = w->Key(1029);
        QTimer::singleShot(50, key, [key] { QTest::mouseRelease(key, Qt::LeftButton); });
        QTest::mousePress(key, Qt::LeftButton);
        // The hold begins once the press has been handled and ends with the release.
        QTRY_VERIFY_WITH_TIMEOUT(!key->isDown(), 5000);
        const auto frames = p.Frames();
        QVERIFY(frames.size() >= 2);
        for (const auto& f : frames) QCOMPARE(f, (QList<int>{1, 0x36, 0, 0, 0, 0}));
        QVERIFY(!key->isDown());
        QVERIFY(!p.state.link.repeatActive.load());
        QVERIFY(!p.state.link.lock.Held());
        QTest::qWait(20);
        QCOMPARE(p.Frames().size(), frames.size());
    }

    // A repeating key pressed and let go at once, by each way a user has, sends its code once.
    void aQuickPressOfARepeatingKeySendsItOnce() {
        RemoteProgram p;
        p.Open();
        gui::RemoteWindow* w = Windows().value(0);
        QVERIFY(w);
        struct Way {
            const char* label;
            std::function<void(gui::HandsetKey*)> press;
        };
        const Way ways[] = {
            {"mouse_click", [](gui::HandsetKey* k) { QTest::mouseClick(k, Qt::LeftButton); }},
            {"accessible_press",
             [](gui::HandsetKey* k) {
                 QAccessibleInterface* a = QAccessible::queryAccessibleInterface(k);
                 QVERIFY(a && a->actionInterface());
                 a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
             }},
            {"space", [](gui::HandsetKey* k) {
                 k->setFocus();
                 QTest::keyClick(k, Qt::Key_Space);
             }},
            {"enter", [](gui::HandsetKey* k) {
                 k->setFocus();
                 QTest::keyClick(k, Qt::Key_Return);
             }},
        };
        for (const Way& way : ways) {
            for (const RemoteKey& key : kRemoteKeys) {
                if (key.kind != RemoteKeyKind::Repeating) continue;
                // Every key by mouse; the other ways on the first pair.
                if (std::string(way.label) != "mouse_click" && key.control != 1028 && key.control != 1029) continue;
                p.bus.ClearTranscript();
                way.press(w->Key(key.control));
                const QList<QList<int>> once{{1, key.code, 0, 0, 0, 0}};
                QTRY_COMPARE_WITH_TIMEOUT(p.Frames(), once, 2000);
                QTest::qWait(20);
                if (p.Frames() != once) qWarning("%s %s", way.label, key.legend);
                QCOMPARE(p.Frames(), once);
                QVERIFY(!w->Key(key.control)->isDown());
            }
        }
        QVERIFY(p.ui.Boxes().empty());
    }

    void nineWindowsSideBySideThenAllClose() {
        RemoteProgram p;
        for (int i = 0; i < 10; ++i) p.Open();
        const auto windows = Windows();
        QCOMPARE(windows.size(), 9);
        QCOMPARE(gui::RemoteControlTable().count, 9);
        const auto boxes = p.ui.Boxes();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(QString::fromStdString(boxes[0].caption), QStringLiteral("Warning  44"));
        const QRect screen = windows[0]->screen()->availableGeometry();
        QCOMPARE(windows[0]->frameGeometry().top(), screen.top());
        QCOMPARE(windows[1]->frameGeometry().left() - windows[0]->frameGeometry().left(), 20);

        gui::CloseAllRemoteControls();
        QCOMPARE(gui::RemoteControlTable().count, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(Windows().isEmpty());
    }

    // Exit asks in "Quit": the active window alone, or every window.
    void quitClosesOneOrAll() {
        RemoteProgram p;
        for (int i = 0; i < 3; ++i) p.Open();
        auto answer = [](const char* choice) {
            QTimer::singleShot(0, [choice] {
                auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(box);
                QCOMPARE(box->windowTitle(), QStringLiteral("Quit"));
                box->findChild<QRadioButton*>(QString::fromLatin1(choice))->setChecked(true);
                QTest::keyClick(box, Qt::Key_Return);
            });
        };
        auto exitOf = [](gui::RemoteWindow* w) {
            for (QAction* a : w->findChildren<QAction*>())
                if (a->text() == QStringLiteral("E&xit")) return a;
            return static_cast<QAction*>(nullptr);
        };
        gui::RemoteWindow* middle = Windows().value(1);
        const int keptLast = Windows().value(2)->Id();
        answer("closeActive");
        exitOf(middle)->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(gui::RemoteControlTable().count, 2);
        QCOMPARE(gui::RemoteControlTable().entries[1].id, keptLast);
        QCOMPARE(Windows().size(), 2);

        answer("closeAll");
        exitOf(Windows().value(0))->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(gui::RemoteControlTable().count, 0);
        QVERIFY(Windows().isEmpty());
    }

    // A reader announces the handset as a window when it opens, and reads its status
    // parts as they stand.
    void theHandsetIsAWindowWithReadableParts() {
        RemoteProgram p;
        QVERIFY(p.parsed);
        p.Open();
        gui::RemoteWindow* w = Windows().value(0);
        QVERIFY(w);
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(w);
        QVERIFY(window);
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Remote Control [1]"));
        QTest::mouseClick(w->Key(1043), Qt::LeftButton);
        for (const char* part : {"connection", "address", "lastKey"}) {
            auto* label = w->findChild<QLabel*>(QString::fromLatin1(part));
            QVERIFY2(label && !label->text().isEmpty(), part);
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), label->text());
        }
        QCOMPARE(Part(w, "lastKey"), QStringLiteral("Normal"));
        // Tab runs row by row: Tint -, Tint +, Sharpness -, Sharpness +.
        const int rowByRow[] = {1034, 1036, 1035, 1037};
        for (int i = 0; i + 1 < 4; ++i)
            QCOMPARE(w->Key(rowByRow[i])->nextInFocusChain(), static_cast<QWidget*>(w->Key(rowByRow[i + 1])));
    }

    void nothingOpensWithoutTheCommunicationWindow() {
        RemoteProgram p;
        delete p.comm;
        p.Open();
        QVERIFY(Windows().isEmpty());
        QCOMPARE(gui::RemoteControlTable().count, 0);
    }

    void withoutPicturesTheKeysArePlainButtons() {
        RemoteProgram p;
        p.state.imagesLibrary.reset();
        p.loader.images = false;
        p.Open();
        gui::RemoteWindow* w = Windows().value(0);
        QVERIFY(w);
        QTest::qWait(10);  // the paint-time box comes after the window is shown
        QStringList shown;
        for (const RecordedBox& b : p.ui.Boxes()) shown << QString::fromStdString(b.caption);
        QCOMPARE(shown, (QStringList{"Error  41", "Error  41", "Error  47"}));
        QCOMPARE(w->Key(1040)->text(), QStringLiteral("Pwr"));
        QTest::mouseClick(w->Key(1018), Qt::LeftButton);
        QCOMPARE(p.Frames(), (QList<QList<int>>{{1, 0x19, 0, 0, 0, 0}}));
    }
};

OMBRIX_QTEST_MAIN(remote_gui_test, RemoteGuiTest);
#include "remote_gui_test.moc"
