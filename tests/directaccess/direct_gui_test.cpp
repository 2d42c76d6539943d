// The direct-access view offscreen, on the demo bus's projectors in the in-process
// simulator: tabs, a slot press reaching the projector, compare mode, the panels.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "../gui/GuiSupport.h"
#include "InProcessDevice.h"
#include "SimBus.h"
#include "core/directaccess/DirectAccess.h"
#include "core/directaccess/Iris.h"
#include "core/directaccess/Sources.h"
#include "core/discovery/Search.h"
#include "gui/directaccess/CompareWindow.h"
#include "gui/directaccess/DirectAccessView.h"
#include "gui/directaccess/ForcePanel.h"
#include "gui/directaccess/GeneralWindow.h"
#include "gui/directaccess/IrisPanel.h"
#include "gui/platform/ListTableModel.h"
#include "gui/directaccess/PageHost.h"
#include "gui/directaccess/PageWindow.h"

using namespace ombrix;
using namespace ombrix::gui;
using namespace ombrix::testing;

namespace {

struct SimProgram {
    SimProgram() {
        loader.images = true;
        loader.strings = true;
        // The libraries only: options.cfg of the working directory stays untouched.
        state.imagesLibrary = loader.Load("kelvanebmp", nullptr);
        state.stringsLibrary = loader.Load("kelvaneproj", nullptr);
        state.env.strings = state.stringsLibrary.get();
        state.startDirectory = OMBRIX_DATA_DIR;
        std::string error;
        if (!sim::LoadBusFile(std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg", &bus, &error)) qWarning("%s", error.c_str());
        SetupConnection(state.env, state.link, kOwnerCommWindow);
        for (int address : {1, 7}) {
            ProjectorRecord r;
            ProbeAddress(state.link, state.env, address, &r, &state.statusFlags, false);
            state.projectors.records[static_cast<size_t>(state.projectors.connectedCount++)] = r;
        }
    }
    void MakeCurrent(uint8_t address) {
        state.link.currentAddress = address;
        bus.ClearTranscript();
    }

    VirtualClock clock;
    RecordingUi ui;
    LibrariesOnRequest loader;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    ProgramState state{clock, ui, loader, opener};
};

QString Read(QObject* object, QAccessible::Text what = QAccessible::Name) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(object);
    return a ? a->text(what) : QStringLiteral("<none>");
}

template <typename T>
T* FindNamed(QWidget* root, const QString& name) {
    for (T* w : root->findChildren<T*>())
        if (w->accessibleName() == name) return w;
    return nullptr;
}

}  // namespace

class DirectGuiTest : public QObject {
    Q_OBJECT
private slots:
    void AProjectorInStandbyGetsNoView() {
        SimProgram p;
        p.MakeCurrent(7);
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        QVERIFY(!view);
        QCOMPARE(p.ui.Boxes().size(), size_t(1));
        QCOMPARE(QString::fromStdString(p.ui.Boxes()[0].caption), QStringLiteral("Warning  24"));
    }

    void ASlotPressStepsTheParameterOnTheProjector() {
        SimProgram p;
        p.MakeCurrent(1);
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        QVERIFY(view);
        auto* tabs = view->findChild<QTabBar*>();
        QCOMPARE(tabs->count(), 5);
        auto* general = view->findChild<GeneralWindow*>();
        QVERIFY(general);
        QCOMPARE(general->Options()->count(), 4);  // with IRIS

        tabs->setCurrentIndex(1);
        auto* page = view->findChild<PageWindow*>();
        QVERIFY(page);
        QVERIFY(!view->findChild<GeneralWindow*>());
        QTRY_VERIFY(!page->ValueField(1)->text().isEmpty());
        QCOMPARE(page->MaxField(1)->text(), QStringLiteral("127"));
        QVERIFY(page->Button(1, 0)->accessibleName() == QStringLiteral("Contrast -step"));
        int before = 0;
        p.bus.With(1, [&](sim::SimProjector& s) { before = s.params[0x31].value; });

        p.bus.ClearTranscript();
        page->StepList()->setCurrentIndex(4);
        QToolButton* plusStep = FindNamed<QToolButton>(view.get(), QStringLiteral("Contrast +step"));
        QVERIFY(plusStep);
        plusStep->click();
        int after = 0;
        p.bus.With(1, [&](sim::SimProjector& s) { after = s.params[0x31].value; });
        QCOMPARE(after, std::min(before + 5, 127));
        QCOMPARE(page->ValueField(1)->text(), QString::number(after));
        bool stepSent = false;
        for (const auto& e : p.bus.Transcript()) {
            if (e.fromHost && e.bytes.size() == 9 && uint8_t(e.bytes[3] - e.bytes[1]) == 'y' &&
                uint8_t(e.bytes[4] - e.bytes[1]) == 0x31)
                stepSent = true;
        }
        QVERIFY(stepSent);
    }

    void CompareModeShowsTheComparison() {
        SimProgram p;
        p.MakeCurrent(1);
        p.state.direct.compareMode = 1;
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        view->findChild<QTabBar*>()->setCurrentIndex(2);
        auto* compare = view->findChild<CompareWindow*>();
        QVERIFY(compare);
        QTRY_COMPARE(compare->Model()->rowCount(), 3);
        QCOMPARE(compare->Model()->columnCount(), 4);
        QCOMPARE(compare->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Projector [1]"));
        QCOMPARE(compare->Model()->data(compare->Model()->index(0, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("H Position"));
    }

    void ForcePanelShowsStatusAndIrisRunsToItsEnd() {
        SimProgram p;
        p.MakeCurrent(1);
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        auto* general = view->findChild<GeneralWindow*>();
        auto* force = qobject_cast<ForcePanel*>(general->Panel());
        QVERIFY(force);
        QTRY_COMPARE(force->StatusLine(0)->text(), QStringLiteral("On"));
        QCOMPARE(force->StatusLine(1)->text(), QStringLiteral("Off"));

        general->Choose(3);
        auto* iris = qobject_cast<IrisPanel*>(general->Panel());
        QVERIFY(iris);
        FindNamed<QPushButton>(iris, QStringLiteral("Autoconvergence"))->click();
        QTRY_VERIFY(iris->Control().WorkerActive() || !p.state.direct.irisBusy);
        QTRY_VERIFY(!p.state.direct.irisBusy);
        uint8_t state = 0xAA;
        p.bus.With(1, [&](sim::SimProjector& s) { state = s.irisState; });
        QCOMPARE(state, uint8_t(0x00));
    }

    void AfterADeletionEveryItemSelectsItsOwnSource() {
        SimProgram p;
        p.MakeCurrent(1);
        for (int slot : {3, 5, 7}) InsertSource(p.state, "S", slot);
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        auto* force = qobject_cast<ForcePanel*>(view->findChild<GeneralWindow*>()->Panel());
        QTreeWidgetItem* root = force->SourceTree()->topLevelItem(0);
        QCOMPARE(root->childCount(), 3);
        force->SourceTree()->setCurrentItem(root->child(0));
        p.ui.QueueAnswer(true);
        force->Delete();
        root = force->SourceTree()->topLevelItem(0);
        QCOMPARE(root->childCount(), 2);
        force->SourceTree()->setCurrentItem(root->child(1));
        force->Select();
        QCOMPARE(p.state.options.activeSource, 1);
        int input = 0;
        p.bus.With(1, [&](sim::SimProjector& s) { input = s.selectedInput; });
        QCOMPARE(input, 7);
    }

    void ARenamedSourceShowsTheNameAsStored() {
        SimProgram p;
        p.MakeCurrent(1);
        InsertSource(p.state, "S", 3);
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        auto* force = qobject_cast<ForcePanel*>(view->findChild<GeneralWindow*>()->Panel());
        QTreeWidgetItem* item = force->SourceTree()->topLevelItem(0)->child(0);
        item->setText(0, QString(40, QLatin1Char('y')));  // as the in-place editor ends
        const QString stored = QString::fromStdString(p.state.options.sources[0].Name());
        QCOMPARE(stored, QString(39, QLatin1Char('y')));
        QCOMPARE(item->text(0), stored);
    }

    void ClosingTheViewDuringAnIrisRunStopsTheWorker() {
        SimProgram p;
        p.MakeCurrent(1);
        p.bus.With(1, [](sim::SimProjector& s) { s.irisRunMs = 1000000000; });
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        auto* general = view->findChild<GeneralWindow*>();
        general->Choose(3);
        auto* iris = qobject_cast<IrisPanel*>(general->Panel());
        FindNamed<QPushButton>(iris, QStringLiteral("Focus"))->click();
        QTRY_VERIFY(iris->Control().WorkerActive());
        // A tab change is refused while the command runs.
        view->findChild<QTabBar*>()->setCurrentIndex(1);
        QVERIFY(view->findChild<GeneralWindow*>());
        view.reset();
        QCoreApplication::processEvents();
        QVERIFY(!p.state.direct.irisBusy);
    }

    // A screen reader reads each text that changes as it stands now: the force status
    // lines, the strip's values, the IRIS info; the page's numbers have headings.
    void ChangingTextsAreReadAsTheyStand() {
        SimProgram p;
        p.MakeCurrent(1);
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        auto* general = view->findChild<GeneralWindow*>();
        auto* force = qobject_cast<ForcePanel*>(general->Panel());
        QTRY_COMPARE(force->StatusLine(0)->text(), QStringLiteral("On"));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(Read(force->StatusLine(i)), force->StatusLine(i)->text());
            QVERIFY(Read(force->StatusLine(i), QAccessible::Description).endsWith(QStringLiteral(" status")));
        }
        struct Field {
            const char* object;
            const char* role;
        } fields[] = {{"projectorSelection", "Projector Selection"},
                      {"sourceSelection", "Source Selection"},
                      {"mode", "Mode"}};
        for (const Field& f : fields) {
            auto* label = view->findChild<QLabel*>(QString::fromLatin1(f.object));
            QVERIFY2(label, f.object);
            QVERIFY2(!label->text().isEmpty(), f.object);
            QCOMPARE(Read(label), label->text());
            QCOMPARE(Read(label, QAccessible::Description), QString::fromLatin1(f.role));
        }

        // A function that runs long, so its line can be read while it stands.
        p.bus.With(1, [](sim::SimProjector& s) { s.irisRunMs = 1000000000; });
        general->Choose(3);
        auto* iris = qobject_cast<IrisPanel*>(general->Panel());
        FindNamed<QPushButton>(iris, QStringLiteral("Focus"))->click();
        QTRY_VERIFY(iris->Control().WorkerActive());
        QTRY_VERIFY(!iris->InfoLine(1)->text().isEmpty());
        QCOMPARE(Read(iris->InfoLine(1)), iris->InfoLine(1)->text());
        QCOMPARE(Read(iris->InfoLine(1), QAccessible::Description), QStringLiteral("Command progress"));
        FindNamed<QPushButton>(iris, QStringLiteral("Exit"))->click();
        QTRY_VERIFY(!p.state.direct.irisBusy);

        view->findChild<QTabBar*>()->setCurrentIndex(1);
        auto* page = view->findChild<PageWindow*>();
        QVERIFY(page);
        QStringList texts;
        for (QLabel* label : page->findChildren<QLabel*>()) texts << label->text();
        for (const char* heading : {"Min", "Max", "Value"}) QVERIFY2(texts.contains(QLatin1String(heading)), heading);
    }

    // With OMBRIX_SHOTS=DIR every tab and panel is saved there as a picture, to look at.
    void Pictures() {
        const QString dir = qEnvironmentVariable("OMBRIX_SHOTS");
        if (dir.isEmpty()) QSKIP("OMBRIX_SHOTS not set");
        SimProgram p;
        p.MakeCurrent(1);
        InsertSource(p.state, "DVD player", 1);
        InsertSource(p.state, "Workstation", 12);
        std::unique_ptr<QWidget> view(CreateDirectAccessView(p.state, nullptr, nullptr));
        view->resize(900, 560);
        view->show();
        auto shot = [&](const QString& name) {
            QTest::qWait(300);
            view->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
        };
        shot(QStringLiteral("general"));
        auto* general = view->findChild<GeneralWindow*>();
        general->Choose(2);
        shot(QStringLiteral("forceblock"));
        general->Choose(3);
        shot(QStringLiteral("iris"));
        for (int tab = 1; tab <= 4; ++tab) {
            view->findChild<QTabBar*>()->setCurrentIndex(tab);
            shot(QStringLiteral("page%1").arg(tab));
        }
        p.state.direct.compareMode = 1;
        view->findChild<QTabBar*>()->setCurrentIndex(1);
        shot(QStringLiteral("compare"));
    }
};

OMBRIX_QTEST_MAIN(direct_gui_test, DirectGuiTest);
#include "direct_gui_test.moc"
