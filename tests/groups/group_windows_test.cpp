// The group windows offscreen on the demo bus in the in-process simulator: F2 on a group
// node, what a press on a group says of the members it left out, and the comparison
// after a Match.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../gui/GuiSupport.h"
#include "../support/BlockBench.h"
#include "directaccess/DirectAccess.h"
#include "discovery/Search.h"
#include "gui/app/MainFrame.h"
#include "gui/comm/CommWindow.h"
#include "gui/comm/ProjectorTreeModel.h"
#include "gui/comm/ProjectorTreeView.h"
#include "gui/directaccess/CompareWindow.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/PageWindow.h"
#include "gui/platform/ListTableModel.h"

namespace ombrix {
namespace {

// The demo bus: 1 (type 5) and 4 (type 8) operating, 7 in standby, 12 operating; the
// description files beside it are copied into the working directory.
struct DemoBus {
    DemoBus() {
        for (const auto& e : std::filesystem::directory_iterator(OMBRIX_DATA_DIR))
            if (e.path().extension() == ".dsc") std::filesystem::copy_file(e.path(), e.path().filename());
        std::string error;
        EXPECT_TRUE(sim::LoadBusFile(std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg", &bus, &error)) << error;
        StartProgram(state);
        state.options.checkEnabled = 0;
    }
    void Connect(const std::vector<int>& addresses) {
        SetupConnection(state.env, state.link, kOwnerCommWindow);
        for (int a : addresses) {
            ProjectorRecord r;
            EXPECT_TRUE(ProbeAddress(state.link, state.env, a, &r, &state.statusFlags, false).answered) << a;
            state.projectors.records[static_cast<size_t>(state.projectors.connectedCount++)] = r;
        }
        state.link.currentAddress = 1;
        state.projectors.currentProjectorIndex = 0;
    }
    int Live(uint8_t address, uint8_t code) {
        int v = -1;
        bus.With(address, [&](sim::SimProjector& p) { v = p.params[code].value; });
        return v;
    }

    testing::TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    DlLibraryLoader loader;
    ProgramState state{clock, ui, loader, opener};
};

TEST(GroupWindows, F2OnAGroupNodeRenamesItAndPutsNothingOnTheLine) {
    DemoBus d;
    std::ofstream(kGroupsFileName) << R"({"version": 1, "groups": [{"name": "Dome", "members": [1, 4, 12]}]})";
    SetSearchMode(d.state.options, kCmdCheckTo16);
    gui::MainFrame frame(d.state);
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    testing::MenuCommand(frame, QKeySequence(Qt::Key_F2))->trigger();
    gui::CommWindow* comm = frame.Communication();
    ASSERT_NE(comm, nullptr);
    ASSERT_FALSE(comm->Busy());
    auto* model = static_cast<gui::ProjectorTreeModel*>(comm->Tree()->model());
    comm->Tree()->setCurrentIndex(model->IndexOfPath({1}));
    comm->Tree()->setFocus();
    d.bus.ClearTranscript();

    QTest::keyClick(comm->Tree(), Qt::Key_F2);
    EXPECT_EQ(frame.Communication(), comm) << "F2 opened the window again";
    const QModelIndex dome = model->IndexOfPath({1});
    auto* editor = qobject_cast<QLineEdit*>(comm->Tree()->indexWidget(dome));
    ASSERT_NE(editor, nullptr) << "F2 began no edit of the group's name";
    EXPECT_EQ(editor->text(), QStringLiteral("Dome"));
    editor->setText(QStringLiteral("Dome West"));
    comm->Tree()->itemDelegate()->setModelData(editor, model, dome);
    EXPECT_EQ(d.state.groups.groups[0].name, "Dome West");
    EXPECT_TRUE(testing::Requests(d.bus).empty()) << testing::Requests(d.bus).size() << " frames on the line";
    EXPECT_FALSE(comm->Busy());
}

// Projector 7 is in standby, 9 not on the bus.
TEST(GroupWindows, APressOnAGroupSaysWhichMembersItLeftOutAndWhy) {
    DemoBus d;
    d.Connect({1, 4, 7});
    d.state.groups.groups.push_back(UserGroup{"Dome", {1, 4, 7, 9}, {}});
    d.state.direct.selection = {SelectionKind::Group, "Dome"};
    for (uint8_t address : {1, 4}) d.bus.With(address, [](sim::SimProjector& p) { p.params[0x31].value = 50; });
    gui::InfoStrip strip(d.state, "Active source");
    gui::PageWindow page(d.state, kPagePicture, &strip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.ValueField(1)->text().isEmpty(); }));
    page.Button(1, 2)->click();  // Contrast +1
    EXPECT_EQ(d.Live(1, 0x31), 51);
    EXPECT_EQ(d.Live(4, 0x31), 51);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !strip.ProgressText().isEmpty(); }));
    EXPECT_EQ(strip.ProgressText().toStdString(),
              "2 of 4 done; projector 7 skipped: in standby; projector 9 skipped: not connected");
    // The whole outcome shows in a strip of a narrow window.
    strip.setFixedWidth(420);
    strip.setFixedHeight(strip.heightForWidth(420) > 0 ? strip.heightForWidth(420) : strip.sizeHint().height());
    strip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));
    auto* text = strip.findChild<QLabel*>(QStringLiteral("progressText"));
    ASSERT_NE(text, nullptr);
    const QRect need = text->fontMetrics().boundingRect(QRect(0, 0, text->width(), 100000), Qt::TextWordWrap, text->text());
    EXPECT_LE(need.width(), text->width());
    EXPECT_LE(need.height(), text->height());
}

TEST(GroupWindows, AfterAMatchTheComparisonShowsWhatTheProjectorsHold) {
    DemoBus d;
    d.Connect({1, 4, 12});
    d.state.groups.groups.push_back(UserGroup{"Dome", {1, 4, 12}, {}});
    d.state.direct.selection = {SelectionKind::Group, "Dome"};
    d.state.direct.compareMode = 1;
    // Saturation (0x32) set apart on each projector, as a session of presses leaves it.
    const std::pair<uint8_t, int> set[] = {{1, 7}, {4, 55}, {12, 63}};
    for (const auto& [address, value] : set) {
        d.bus.With(address, [&](sim::SimProjector& p) {
            p.params[0x32].value = value;
            p.StoreLiveValue(p.params[0x32]);
        });
    }
    gui::InfoStrip strip(d.state, "Active source");
    gui::CompareWindow compare(d.state, kPagePicture, &strip);
    bool filled = false;
    QObject::connect(&compare, &gui::CompareWindow::filled, [&](bool) { filled = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return filled; }));
    const int row = 2;  // Saturation
    auto cell = [&](int member) {
        return compare.Model()->data(compare.Model()->index(row, 1 + 3 * member), Qt::DisplayRole).toInt();
    };
    EXPECT_EQ(cell(1), 55);
    compare.Reference()->setCurrentIndex(0);  // Projector [1]
    compare.Table()->setCurrentIndex(compare.Model()->index(row, 0));
    filled = false;
    compare.Match(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return filled; }));
    for (int member = 0; member < 3; ++member) {
        const uint8_t address = set[member].first;
        EXPECT_EQ(cell(member), 7) << int(address);
        EXPECT_EQ(d.Live(address, 0x32), 7) << int(address);
    }
    // The box lists each member, and then the count.
    ASSERT_FALSE(d.ui.Boxes().empty());
    EXPECT_NE(d.ui.Boxes().back().text.find("3 of 3 done"), std::string::npos) << d.ui.Boxes().back().text;
}

}  // namespace
}  // namespace ombrix
