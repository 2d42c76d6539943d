// The group windows offscreen: GROUPBOX, ADDPROJECTORBOX, dropping projector nodes on a
// group node, greyed members, the pop-up menus and the Projector Selection panel.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "../gui/GuiSupport.h"
#include "core/blocks/GroupTree.h"
#include "gui/comm/AddProjectorDialog.h"
#include "gui/comm/GroupDialog.h"
#include "gui/comm/ProjectorTreeModel.h"
#include "gui/comm/ProjectorTreeView.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/SelectionPanel.h"

Q_DECLARE_METATYPE(std::vector<uint8_t>)

using namespace ombrix;
using namespace ombrix::gui;
using namespace ombrix::testing;

namespace {

// Projectors 3 and 6 connected (type unknown); "Dome" holds 6 and 9, 9 being off.
void Connect(ProgramState& s) {
    for (uint8_t a : {3, 6}) {
        ProjectorRecord r;
        r.address = a;
        r.operating = 1;
        s.projectors.records[static_cast<size_t>(s.projectors.connectedCount++)] = r;
    }
    s.groups.groups.push_back(UserGroup{"Dome", {6, 9}, {}});
}

// The numbered boxes need the type library's texts.
void LoadStrings(TestProgram& p) {
    p.loader.strings = true;
    p.state.stringsLibrary = p.loader.Load("kelvaneproj", nullptr);
    p.state.env.strings = p.state.stringsLibrary.get();
}

}  // namespace

class GroupsGuiTest : public QObject {
    Q_OBJECT
private slots:
    void init() { dir_.Enter(); }
    void cleanup() { dir_.Leave(); }

    void NewGroupRefusesAndStaysOpenUntilANameIsGood() {
        TestProgram p;
        Connect(p.state);
        GroupDialog dialog([&](const std::string& name) { return NewGroup(p.state, name); });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("New group"));
        QCOMPARE(dialog.NameField()->accessibleName(), QStringLiteral("Group name"));
        QCOMPARE(dialog.NameField()->maxLength(), 31);
        dialog.show();
        struct Row {
            const char* typed;
            bool accepted;
        };
        for (const Row& row : {Row{"", false}, Row{"Dome", false}, Row{"Wall", true}}) {
            dialog.NameField()->setText(QString::fromLatin1(row.typed));
            dialog.Ok();
            QCOMPARE(dialog.result() == QDialog::Accepted, row.accepted);
            QCOMPARE(dialog.Refusal().isEmpty(), row.accepted);
            if (!row.accepted) QVERIFY(dialog.isVisible());
        }
        QCOMPARE(p.state.groups.groups.size(), size_t(2));
        Grouping onDisk;
        QVERIFY(LoadGroupsFile(kGroupsFileName, &onDisk).ok);
        QCOMPARE(QString::fromStdString(onDisk.groups[1].name), QStringLiteral("Wall"));
    }

    void AddProjectorListsTheConnectedAndTakesSeveral() {
        TestProgram p;
        LoadStrings(p);
        Connect(p.state);
        AddProjectorDialog dialog(AddProjectorChoices(p.state));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add projector"));
        QCOMPARE(dialog.List()->count(), 2);
        QCOMPARE(dialog.List()->item(0)->text(), QStringLiteral("Projector [3] : Unknown"));
        QVERIFY(dialog.Chosen().empty());
        dialog.List()->item(0)->setSelected(true);
        dialog.List()->item(1)->setSelected(true);
        QCOMPARE(dialog.Chosen(), (std::vector<uint8_t>{3, 6}));
        // 6 is in Dome already: error 5, nothing added.
        QVERIFY(!AddToTreeGroup(p.state, 1, dialog.Chosen()));
        QVERIFY(!p.ui.Boxes().empty());
        QCOMPARE(QString::fromStdString(p.ui.Boxes().back().caption), QStringLiteral("Error  5"));
        QCOMPARE(p.state.groups.groups[0].members, (std::vector<uint8_t>{6, 9}));
    }

    void ProjectorNodesDropOnAGroupNode() {
        TestProgram p;
        Connect(p.state);
        GroupTable groups;
        FillProjectorTree(p.state, groups);
        ProjectorTreeModel model;
        model.Sync(groups.roots);
        const QModelIndex main = model.IndexOfPath({0});
        const QModelIndex dome = model.IndexOfPath({1});
        const QModelIndex three = model.IndexOfPath({0, 0});
        QVERIFY(model.flags(three) & Qt::ItemIsDragEnabled);
        QVERIFY(model.flags(dome) & Qt::ItemIsDropEnabled);
        QVERIFY(!(model.flags(main) & Qt::ItemIsDropEnabled));
        QVERIFY(!(model.flags(model.IndexOfPath({1, 0})) & Qt::ItemIsDragEnabled));
        std::unique_ptr<QMimeData> mime(model.mimeData({three}));
        QVERIFY(mime);
        QVERIFY(!model.canDropMimeData(mime.get(), Qt::CopyAction, -1, 0, main));
        QSignalSpy dropped(&model, &ProjectorTreeModel::projectorsDropped);
        model.dropMimeData(mime.get(), Qt::CopyAction, -1, 0, dome);
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(dropped[0][0].toInt(), 1);
        const auto addresses = dropped[0][1].value<std::vector<uint8_t>>();
        QCOMPARE(addresses, (std::vector<uint8_t>{3}));
    }

    void AMemberThatIsOffShowsGreyedWithItsAddress() {
        TestProgram p;
        Connect(p.state);
        GroupTable groups;
        FillProjectorTree(p.state, groups);
        ProjectorTreeModel model;
        model.Sync(groups.roots);
        const QModelIndex off = model.IndexOfPath({1, 1});
        QCOMPARE(model.data(off, Qt::DisplayRole).toString(), QStringLiteral("Projector [9]"));
        QCOMPARE(model.data(off, Qt::AccessibleDescriptionRole).toString(), QStringLiteral("Not connected"));
        QVERIFY(model.data(off, Qt::ForegroundRole).isValid());
        QCOMPARE(model.rowCount(off), 0);
        QVERIFY(!model.data(model.IndexOfPath({1, 0}), Qt::ForegroundRole).isValid());
    }

    void PopUpMenusFollowTheNode() {
        TestProgram p;
        Connect(p.state);
        GroupTable groups;
        FillProjectorTree(p.state, groups);
        ProjectorTreeModel model;
        model.Sync(groups.roots);
        ProjectorTreeView view(&model);
        struct Row {
            std::vector<int> path;
            QStringList texts;
        };
        const Row rows[] = {
            {{0}, {"&New group", "&Back up group to RAM container"}},
            {{1},
             {"&Add projector ...", "&New group", "&Delete group", "&Rename group", "&Back up group to RAM container"}},
            {{1, 1}, {"&Remove from group"}},
            {{0, 0, 1}, {}},
        };
        for (const Row& row : rows) {
            QStringList texts;
            for (const auto& item : view.MenuFor(model.IndexOfPath(row.path))) texts << item.second;
            QCOMPARE(texts, row.texts);
        }
        // The Delete key on a member asks to take it out.
        QSignalSpy actions(&view, &ProjectorTreeView::groupAction);
        view.setCurrentIndex(model.IndexOfPath({1, 1}));
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions[0][0].toInt(), int(ProjectorTreeView::kRemoveFromGroup));
    }

    void ProjectorSelectionShowsTheChoiceInTheStrip() {
        TestProgram p;
        Connect(p.state);
        InfoStrip strip(p.state, "Active source");
        SelectionPanel panel(p.state, &strip);
        QListWidget* list = panel.Choices();
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(1)->text(), QStringLiteral("All connected projectors"));
        QCOMPARE(list->currentRow(), 0);
        list->setCurrentRow(2);
        QCOMPARE(p.state.direct.selection.group, std::string("Dome"));
        auto* field = strip.findChild<QLabel*>(QStringLiteral("projectorSelection"));
        QVERIFY(field);
        QCOMPARE(field->text(), QStringLiteral("Dome"));
        // A strip made later shows the choice kept.
        InfoStrip again(p.state, "Active source");
        QCOMPARE(again.findChild<QLabel*>(QStringLiteral("projectorSelection"))->text(), QStringLiteral("Dome"));
    }

private:
    ScratchDirectory dir_;
};

OMBRIX_QTEST_MAIN(groups_gui_test, GroupsGuiTest);
#include "groups_gui_test.moc"
