// The communication window offscreen against the in-process simulator: real mouse
// drags between the block lists and the frames they put on the line, the copy and
// delete dialogs' answers, the keys, the tree and its views, the splitters, the file
// and listing commands.
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>
#include <map>
#include <sstream>

#include "../support/BlockBench.h"
#include "blocks/BlockOperations.h"
#include "comm/CommSession.h"
#include "data/SettingsFile.h"
#include "gui/comm/BlockListView.h"
#include "gui/comm/BlockPanes.h"
#include "gui/comm/BlockTableModel.h"
#include "gui/comm/CommWindow.h"
#include "gui/comm/PaneTitle.h"
#include "gui/comm/ProjectorInfoPage.h"
#include "gui/comm/ProjectorTreeModel.h"
#include "gui/comm/ProjectorTreeView.h"
#include "gui/directaccess/GeneralWindow.h"
#include "gui/directaccess/IrisPanel.h"
#include "directaccess/Iris.h"
#include "discovery/BackgroundCheck.h"

namespace ombrix {
namespace {

using testing::MakeDescription;
using testing::Request;

// Projector 1 (type 5, short headers): rows 0-1 in use, 2-4 free, row 5 special.
const char* const kBus = testing::kTwoTypesBus;

constexpr BlockListKind kProjector = BlockListKind::Projector;
constexpr BlockListKind kRam = BlockListKind::Ram;

// Projector 1 of kBus with sound and IRIS.
std::string IrisBus() {
    std::string text = kBus;
    const std::string plain = "status = 00 00 90 00";
    text.replace(text.find(plain), plain.size(), "status = 00 00 90 21");
    return text;
}

struct Window {
    explicit Window(int searchMode = kCmdCheckTo16, const std::string& busText = kBus) {
        testing::WriteDescription("type5.dsc", MakeDescription(5, 'V', 20, 5, 0, {{0xef, 0x7f, 0, 0}}));
        testing::WriteDescription("type25.dsc", MakeDescription(25, 'V', 20, 4, 2, {{0xef, 0, 0x7f, 0}}, 6.25e-7f));
        testing::WriteDescription(kDefaultDescriptionName, MakeDescription(255, 'X', 20, 5, 0));
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(busText, &bus, &error)) << error;
        StartProgram(state);
        state.options.checkEnabled = 0;
        SetSearchMode(state.options, searchMode);
        window.pickFile = [this](QWidget*, gui::FileAsk ask) {
            asked.push_back(ask);
            return files[ask];
        };
        window.showStatus = [this](int part, const QString& text) { status.emplace_back(part, text); };
        window.resize(900, 600);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.Open();
        bus.ClearTranscript();
        ui.Clear();
    }

    gui::BlockListView* List(BlockListKind kind) const { return window.Blocks()->List(kind); }
    int Rows(BlockListKind kind) const { return List(kind)->model()->rowCount(); }
    std::vector<Request> Sent() const { return testing::Requests(bus); }
    std::vector<RecordedBox> Boxes() const { return ui.Boxes(); }
    QPoint RowCenter(BlockListKind kind, int row) const {
        return List(kind)->visualRect(List(kind)->model()->index(row, 1)).center();
    }
    // Press on a row, move over the other list (or a point of the window) and release, as
    // the mouse does: every event goes to the list the press was in.
    void Drag(BlockListKind from, int row, BlockListKind to, int dropRow, QPoint elsewhere = {}) {
        QWidget* source = List(from)->viewport();
        const QPoint start = RowCenter(from, row);
        const QPoint global = dropRow >= 0 ? List(to)->viewport()->mapToGlobal(RowCenter(to, dropRow))
                                           : window.mapToGlobal(elsewhere);
        const QPoint end = source->mapFromGlobal(global);
        QTest::mousePress(source, Qt::LeftButton, {}, start);
        QTest::mouseMove(source, start + QPoint(0, QApplication::startDragDistance() + 2));
        QTest::mouseMove(source, end);
        if (dropRow >= 0) {
            dropHighlight = List(to)->TableModel()->DropRow();
            dragImageShown = window.findChild<QLabel*>("dragImage")->isVisible();
        }
        QTest::mouseRelease(source, Qt::LeftButton, {}, end);
    }
    void Click(BlockListKind kind, int row) {
        QTest::mouseClick(List(kind)->viewport(), Qt::LeftButton, {}, RowCenter(kind, row));
    }
    // The first block of the projector read into the RAM container of its type.
    void ReadFirstBlockIntoRam() {
        ui.QueueAnswer(true);
        Drag(kProjector, 0, kRam, 0);
        bus.ClearTranscript();
        ui.Clear();
    }
    void ClickNode(uint32_t data) {
        auto* model = static_cast<gui::ProjectorTreeModel*>(window.Tree()->model());
        const QModelIndex index = model->IndexOfPath(FindNode(groups(), data));
        window.Tree()->scrollTo(index);
        QTest::mouseClick(window.Tree()->viewport(), Qt::LeftButton, {}, window.Tree()->visualRect(index).center());
    }
    const GroupTable& groups() const { return groups_; }
    QModelIndex NodeIndex(uint32_t data) const {
        auto* model = static_cast<gui::ProjectorTreeModel*>(window.Tree()->model());
        return model->IndexOfPath(FindNode(groups(), data));
    }
    QString StatusText(int part) const {
        for (auto it = status.rbegin(); it != status.rend(); ++it)
            if (it->first == part) return it->second;
        return {};
    }
    // The IRIS panel of projector 1's direct access.
    gui::IrisPanel* OpenIris() {
        FillProjectorTree(state, groups_);
        ClickNode(NodeData(kNodeDirectAccess, 1));
        if (!window.AccessView()) return nullptr;
        auto* general = window.AccessView()->findChild<gui::GeneralWindow*>();
        if (!general) return nullptr;
        general->Choose(3);
        return qobject_cast<gui::IrisPanel*>(general->Panel());
    }

    testing::TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    DlLibraryLoader loader;
    ProgramState state{clock, ui, loader, opener};
    gui::CommWindow window{state, nullptr};
    std::map<gui::FileAsk, QString> files;
    std::vector<gui::FileAsk> asked;
    int dropHighlight = -1;
    bool dragImageShown = false;
    GroupTable groups_;
    std::vector<std::pair<int, QString>> status;
};

QPushButton* ButtonOf(QWidget* parent, const QString& text) {
    for (QPushButton* b : parent->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

size_t CommErrors(const RecordingUi& ui) {
    size_t n = 0;
    for (const RecordedBox& box : ui.Boxes()) n += box.caption == "Error in communication";
    return n;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CommWindow, OpensOnTheFirstDescribedProjector) {
    Window w;
    EXPECT_EQ(w.state.link.currentAddress, 1);
    EXPECT_EQ(w.Rows(kProjector), 6);  // five ordinary blocks and the special one
    EXPECT_EQ(w.Rows(kRam), 2);        // a title row per type
    EXPECT_EQ(w.window.Blocks()->Title(kProjector)->Caption(), "Overview Blocks in Projector with address 1");
    EXPECT_EQ(w.window.Blocks()->Title(kRam)->Caption(), "Overview Blocks in RAM-container");
    EXPECT_EQ(w.window.Tree()->accessibleName(), "Connected Projectors");
    EXPECT_EQ(w.List(kProjector)->accessibleName(), "Listing Blocks in Projector");
    EXPECT_EQ(w.List(kProjector)->model()->index(0, 1).data().toString().isEmpty(), false);
    for (int id : {kCmdSaveRam, kCmdLoadRam, kCmdAppendRam, kCmdListProjectorBlocks, kCmdListRamBlocks})
        EXPECT_TRUE(w.window.CommandEnabled(id)) << id;
    EXPECT_FALSE(w.window.CommandEnabled(kCmdSettings));
}

TEST(CommWindow, SkippedSearchOpensEmptyWithItsCommandsGreyed) {
    Window w(kCmdSkipSearch);
    EXPECT_EQ(w.window.Tree()->model()->rowCount(w.window.Tree()->model()->index(0, 0)), 0);
    EXPECT_EQ(w.Rows(kProjector), 0);
    EXPECT_EQ(w.Rows(kRam), 0);
    for (int id : {kCmdSaveRam, kCmdListProjectorBlocks, kCmdListRamBlocks, kCmdSettings})
        EXPECT_FALSE(w.window.CommandEnabled(id)) << id;
    EXPECT_TRUE(w.window.CommandEnabled(kCmdLoadRam));
    EXPECT_TRUE(w.opener.lastPath.empty());
    // Greyed commands do nothing even when they arrive.
    w.files[gui::FileAsk::Listing] = QStringLiteral("ram.txt");
    w.window.HandleCommand(kCmdListRamBlocks);
    EXPECT_TRUE(w.asked.empty());
}

TEST(CommWindow, DragAProjectorBlockIntoRamAndBack) {
    Window w;
    w.ui.QueueAnswer(true);
    w.Drag(kProjector, 0, kRam, 0);
    EXPECT_EQ(w.dropHighlight, 0);
    EXPECT_TRUE(w.dragImageShown);
    EXPECT_EQ(w.Sent(), (std::vector<Request>{{'r', {0x40, 0x01, 0x20, 0x34}}}));
    ASSERT_EQ(w.Rows(kRam), 3);
    EXPECT_EQ(w.List(kRam)->TableModel()->DropRow(), -1);
    EXPECT_FALSE(w.window.findChild<QLabel*>("dragImage")->isVisible());
    ASSERT_EQ(w.Boxes().size(), 1u);
    EXPECT_EQ(w.Boxes()[0].text, "Are you sure you want to add this item ?");

    // Back onto a free block, its own header kept.
    w.bus.ClearTranscript();
    w.ui.QueueChoice(kButtonOverwriteSettings);
    w.Drag(kRam, 1, kProjector, 2);
    EXPECT_EQ(w.dropHighlight, 2);
    EXPECT_EQ(w.Sent(), (std::vector<Request>{{'q', {0xff, 0x83, 0x41, 0x3c}}}));
    std::vector<uint8_t> read, written;
    w.bus.With(1, [&](sim::SimProjector& p) {
        read = p.blocks[0].data;
        written = p.blocks[2].data;
    });
    EXPECT_EQ(written, read);
}

TEST(CommWindow, SelectAllThenADragTakesEveryProjectorRow) {
    Window w;
    w.Click(kProjector, 0);
    QTest::keyClick(w.List(kProjector), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w.List(kProjector)->selectionModel()->selectedRows().size(), 6);
    w.ui.QueueAnswer(true);
    w.Drag(kProjector, 2, kRam, 0);
    // Six rows stacked 15 pixels apart.
    const QPixmap image = w.window.findChild<QLabel*>("dragImage")->pixmap();
    EXPECT_EQ(image.height(), 5 * 15 + w.List(kProjector)->visualRect(w.List(kProjector)->model()->index(5, 0)).height());
    EXPECT_EQ(w.Sent().size(), 6u);
    EXPECT_EQ(w.Rows(kRam), 8);
}

TEST(CommWindow, DragsThatDoNothing) {
    struct Case {
        const char* label;
        BlockListKind from;
        int row;
        bool multiSelect;
        int dropRow;  // -1: released over the tree
    };
    const Case cases[] = {{"a_title_row", kRam, 0, false, 0},
                          {"one_row_in_multi_select_mode", kProjector, 1, true, 0},
                          {"released_elsewhere", kProjector, 1, false, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Window w;
        if (c.multiSelect) {
            w.Click(c.from, c.row);
            QTest::keyClick(w.List(c.from), Qt::Key_Control, Qt::ControlModifier);
        }
        const BlockListKind to = c.from == kRam ? kProjector : kRam;
        w.Drag(c.from, c.row, to, c.dropRow, QPoint(40, 40));
        EXPECT_TRUE(w.Sent().empty());
        EXPECT_TRUE(w.Boxes().empty());
        EXPECT_EQ(w.Rows(kRam), 2);
        EXPECT_FALSE(w.window.findChild<QLabel*>("dragImage")->isVisible());
        EXPECT_EQ(w.List(to)->TableModel()->DropRow(), -1);
    }
}

TEST(CommWindow, CopyDialogAnswers) {
    struct Case {
        const char* label;
        int choice;
        std::vector<Request> sent;
    };
    const Case cases[] = {
        {"overwrite_all_frees_then_writes", kButtonOverwriteAll,
         {{'s', {0x40, 0x01, 0x20, 0x34}}, {'q', {0x50, 0x05, 0x20, 0x3a}}}},
        {"overwrite_settings_writes_under_the_block_header", kButtonOverwriteSettings,
         {{'q', {0x40, 0x01, 0x20, 0x34}}}},
        {"cancel", kButtonCancel, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Window w;
        w.ReadFirstBlockIntoRam();
        // A header the projector does not hold yet.
        w.state.blocks.ramBlocks[1].header = {0x50, 0x3a, 0x05, 0x20, 0, 0, 0};
        w.ui.QueueChoice(c.choice);
        w.Drag(kRam, 1, kProjector, 0);
        EXPECT_EQ(w.Sent(), c.sent);
        ASSERT_EQ(w.Boxes().size(), 1u);
        EXPECT_EQ(w.Boxes()[0].dialog, "COPYBOX");
        EXPECT_EQ(w.Boxes()[0].caption, "Confirmation");
    }
}

TEST(CommWindow, DeleteDialogAnswersOnTheDeleteKey) {
    struct Case {
        const char* label;
        int choice;
        int ramRows;
        bool freed;
    };
    const Case cases[] = {{"delete_removes_the_row", kButtonDelete, 2, false},
                          {"free_marks_it_free", kButtonFree, 3, true},
                          {"cancel", kButtonCancel, 3, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Window w;
        w.ReadFirstBlockIntoRam();
        w.Click(kRam, 1);
        w.ui.QueueChoice(c.choice);
        QTest::keyClick(w.List(kRam), Qt::Key_Delete);
        EXPECT_EQ(w.Rows(kRam), c.ramRows);
        EXPECT_EQ(w.state.blocks.ramRowCount, c.ramRows);
        ASSERT_EQ(w.Boxes().size(), 1u);
        EXPECT_EQ(w.Boxes()[0].dialog, "DELETEBOX");
        EXPECT_EQ(w.Boxes()[0].caption, "Delete block");
        if (c.ramRows == 3) {
            const RAMBlock& row = w.state.blocks.ramBlocks[1];
            EXPECT_EQ(HeaderIsFree(row.header, false), c.freed);
            EXPECT_EQ(w.List(kRam)->model()->index(1, 0).data(Qt::ToolTipRole).toString() == "Free block", c.freed);
        }
        EXPECT_TRUE(w.Sent().empty());
    }
}

TEST(CommWindow, EnterMarksTheAdjustmentBlockAndSettingsFollows) {
    Window w;
    w.Click(kProjector, 1);
    QTest::keyClick(w.List(kProjector), Qt::Key_Return);
    EXPECT_TRUE(w.window.CommandEnabled(kCmdSettings));
    EXPECT_EQ(w.List(kProjector)->model()->index(1, 0).data(Qt::ToolTipRole).toString(), "Selected for adjustment");
    EXPECT_TRUE(w.window.HandleCommand(kCmdSettings));
    EXPECT_EQ(w.window.View(), CommView::Settings);
    EXPECT_FALSE(w.List(kRam)->isVisible());
    EXPECT_TRUE(w.window.HandleCommand(kCmdSettings));
    EXPECT_EQ(w.window.View(), CommView::Overview);
    EXPECT_TRUE(w.List(kRam)->isVisible());
    w.Click(kProjector, 1);
    QTest::keyClick(w.List(kProjector), Qt::Key_Return);
    EXPECT_FALSE(w.window.CommandEnabled(kCmdSettings));
}

TEST(CommWindow, ListingsGoToTheChosenFile) {
    Window w;
    w.files[gui::FileAsk::Listing] = QStringLiteral("ram.txt");
    EXPECT_TRUE(w.window.HandleCommand(kCmdListRamBlocks));
    const std::string ram = ReadText("ram.txt");
    EXPECT_NE(ram.find("Listing type    :Listing RAM blocks\n"), std::string::npos);
    EXPECT_NE(ram.find("Additional Info :Overview Blocks in RAM-container\n"), std::string::npos);

    w.files[gui::FileAsk::Listing] = QStringLiteral("projector.txt");
    w.window.Blocks()->PopupCommand(kProjector, kCmdPopupConvert);
    const std::string projector = ReadText("projector.txt");
    EXPECT_NE(projector.find("Listing type    :Listing projector blocks\n"), std::string::npos);
    EXPECT_NE(projector.find("Additional Info :Overview Blocks in Projector with address 1\n"), std::string::npos);

    // The dialog cancelled: nothing written, nothing shown.
    w.files[gui::FileAsk::Listing] = QString();
    EXPECT_TRUE(w.window.HandleCommand(kCmdListProjectorBlocks));
    EXPECT_TRUE(w.Boxes().empty());
    EXPECT_EQ(w.asked.size(), 3u);
}

TEST(CommWindow, SaveAndLoadTheRamContainer) {
    Window w;
    w.ReadFirstBlockIntoRam();
    const RAMBlock saved = w.state.blocks.ramBlocks[1];
    w.files[gui::FileAsk::SaveSettings] = QStringLiteral("ram.set");
    EXPECT_TRUE(w.window.HandleCommand(kCmdSaveRam));
    EXPECT_EQ(testing::ReadBytes("ram.set").size(), 4u + 8u * 2 + 287u * 3);

    // Another block in, then the file loaded over it.
    w.ui.QueueAnswer(true);
    w.Drag(kProjector, 1, kRam, 0);
    ASSERT_EQ(w.Rows(kRam), 4);
    w.files[gui::FileAsk::LoadSettings] = QStringLiteral("ram.set");
    EXPECT_TRUE(w.window.HandleCommand(kCmdLoadRam));
    EXPECT_EQ(w.Rows(kRam), 3);
    EXPECT_EQ(w.state.blocks.ramBlocks[1].header, saved.header);
    EXPECT_EQ(w.state.blocks.ramBlocks[1].body, saved.body);

    // Appended: its block joins the container of its type.
    w.files[gui::FileAsk::AppendSettings] = QStringLiteral("ram.set");
    EXPECT_TRUE(w.window.HandleCommand(kCmdAppendRam));
    EXPECT_EQ(w.Rows(kRam), 4);
    EXPECT_FALSE(w.state.blocks.ramBlocks[2].containerTitle);
    EXPECT_TRUE(w.window.CommandEnabled(kCmdSaveRam));
}

TEST(CommWindow, SplittersAndColumnWidths) {
    Window w;
    gui::CommWindow& win = w.window;
    // The six columns share the list's width, never more than (W - W/3) / 6 each where
    // nothing needs more, and end at its edge, so the last one is never cut off.
    auto fits = [&](int clientWidth) {
        auto* list = w.List(kProjector);
        int total = 0;
        for (int c = 0; c < 6; ++c) total += list->columnWidth(c);
        EXPECT_EQ(total, std::min(list->viewport()->width(), 6 * ((clientWidth - clientWidth / 3) / 6)));
        EXPECT_LE(list->columnWidth(3), (clientWidth - clientWidth / 3) / 6);
        EXPECT_GE(list->columnWidth(3), (clientWidth - clientWidth / 3) / 6 - 10);
    };
    fits(900);
    QTest::mousePress(&win, Qt::LeftButton, {}, QPoint(303, 100));
    QTest::mouseMove(&win, QPoint(450, 120));
    QTest::mouseRelease(&win, Qt::LeftButton, {}, QPoint(450, 120));
    EXPECT_EQ(win.Tree()->width(), 450);
    QTest::mousePress(&win, Qt::LeftButton, {}, QPoint(700, 303));
    QTest::mouseRelease(&win, Qt::LeftButton, {}, QPoint(700, 150));
    EXPECT_EQ(w.List(kRam)->geometry().top(), 150 + kSplitBarWidth + win.TitleHeight());
    win.resize(1200, 800);
    EXPECT_EQ(win.Tree()->width(), 400);
    EXPECT_EQ(win.Split().splitY, 200);
    fits(1200);
}

TEST(CommWindow, TreeViewsAreShownWhenANodeIsClicked) {
    Window w;
    FillProjectorTree(w.state, w.groups_);
    // Moving through the tree with the keys shows nothing.
    w.window.Tree()->setFocus();
    QTest::keyClick(w.window.Tree(), Qt::Key_Down);
    QTest::keyClick(w.window.Tree(), Qt::Key_Down);
    EXPECT_EQ(w.window.View(), CommView::Overview);

    w.ClickNode(NodeData(kNodeInfo, 3));
    ASSERT_NE(w.window.Info(), nullptr);
    EXPECT_EQ(w.window.View(), CommView::Info);
    EXPECT_EQ(w.state.link.currentAddress, 3);
    EXPECT_FALSE(w.List(kProjector)->isVisible());
    EXPECT_TRUE(w.List(kRam)->isVisible());
    auto* page = w.window.findChild<gui::ProjectorInfoPage*>("PROJINFOBOX");
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page->findChild<QLabel*>("address")->text().isEmpty(); }, 5000));
    EXPECT_EQ(page->findChild<QLabel*>("address")->text(), "3");
    // A screen reader reads each value as shown ("Type : VZG-011"), not its caption twice.
    for (const char* value : {"type", "version", "serial", "address", "status", "runtime"}) {
        auto* label = page->findChild<QLabel*>(value);
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(read, nullptr) << value;
        if (!label->text().isEmpty()) {
            EXPECT_EQ(read->text(QAccessible::Name), label->text()) << value;
        }
        EXPECT_FALSE(read->text(QAccessible::Description).isEmpty()) << value;
    }
    w.window.Info()->setCurrentIndex(1);
    EXPECT_EQ(w.window.findChild<QWidget*>("PROJINFOBOX"), nullptr);
    EXPECT_NE(w.window.findChild<QWidget*>("OPTIONINFO"), nullptr);

    w.ClickNode(NodeData(kNodeDirectAccess, 3));
    EXPECT_EQ(w.window.View(), CommView::DirectAccess);
    EXPECT_EQ(w.window.Info(), nullptr);
    EXPECT_NE(w.window.AccessView(), nullptr);
    EXPECT_FALSE(w.List(kRam)->isVisible());

    w.ClickNode(NodeData(kNodeOverview, 1));
    EXPECT_EQ(w.window.View(), CommView::Overview);
    EXPECT_EQ(w.window.AccessView(), nullptr);
    EXPECT_TRUE(w.List(kRam)->isVisible());
    EXPECT_TRUE(w.List(kProjector)->isVisible());
    EXPECT_EQ(w.Rows(kProjector), 6);
    EXPECT_EQ(w.state.link.currentAddress, 1);
}

TEST(CommWindow, LabelsAreEditedOnGroupAndProjectorNodesOnly) {
    Window w;
    auto* model = static_cast<gui::ProjectorTreeModel*>(w.window.Tree()->model());
    const QModelIndex group = model->index(0, 0);
    const QModelIndex projector = model->index(1, 0, group);
    const QModelIndex info = model->index(0, 0, projector);
    EXPECT_FALSE(model->flags(info) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->setData(info, QStringLiteral("x"), Qt::EditRole));

    w.window.Tree()->edit(projector);
    auto* editor = w.window.Tree()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->maxLength(), 40);
    editor->setText(QStringLiteral("Stage left"));
    w.window.Tree()->itemDelegate()->setModelData(editor, model, projector);
    EXPECT_EQ(model->index(1, 0, model->index(0, 0)).data().toString(), "Stage left");
    // The main group keeps the name it is rebuilt with.
    EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->setData(model->index(0, 0), QStringLiteral("Hall"), Qt::EditRole));
    EXPECT_NE(model->index(0, 0).data().toString(), "Hall");
    EXPECT_TRUE(w.Boxes().empty());
}

constexpr int kStatusTextPart = 0;
constexpr int kStatusAddressPart = 2;

TEST(CommWindow, AnIrisStartOnAProjectorThatFallsSilentLeavesTheTreeWorking) {
    Window w(kCmdCheckTo16, IrisBus());
    gui::IrisPanel* iris = w.OpenIris();
    ASSERT_NE(iris, nullptr);
    // The state query and the start command are answered, then nothing more.
    w.bus.SetFault(1, sim::Fault{sim::FaultKind::Silence, 0, -1, 2});
    w.ui.Clear();
    ButtonOf(iris, QStringLiteral("Autoconvergence"))->click();
    EXPECT_FALSE(w.state.direct.irisBusy);
    EXPECT_TRUE(QTest::qWaitFor([&] { return iris->InfoLine(1)->text() == ">> Startup IRIS failed"; }, 5000));
    EXPECT_EQ(CommErrors(w.ui), 1u);

    w.ClickNode(NodeData(kNodeInfo, 3));
    EXPECT_EQ(w.window.View(), CommView::Info);
    EXPECT_NE(w.window.Info(), nullptr);
    EXPECT_EQ(w.state.link.currentAddress, 3);
}

TEST(CommWindow, WhileAnIrisCommandRunsTheTreeSaysWhyItRefuses) {
    Window w(kCmdCheckTo16, IrisBus());
    w.bus.With(1, [](sim::SimProjector& p) { p.irisRunMs = 1000000000; });
    gui::IrisPanel* iris = w.OpenIris();
    ASSERT_NE(iris, nullptr);
    ButtonOf(iris, QStringLiteral("Focus"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return iris->Control().WorkerActive(); }, 5000));

    w.ClickNode(NodeData(kNodeInfo, 3));
    EXPECT_EQ(w.window.View(), CommView::DirectAccess);
    EXPECT_EQ(w.state.link.currentAddress, 1);
    EXPECT_EQ(w.StatusText(kStatusTextPart), QString::fromLatin1(kIrisBusyText));
    EXPECT_EQ(w.window.Tree()->currentIndex(), w.NodeIndex(NodeData(kNodeDirectAccess, 1)));

    iris->ExitButton()->click();
    EXPECT_FALSE(w.state.direct.irisBusy);
    w.ClickNode(NodeData(kNodeInfo, 3));
    EXPECT_EQ(w.window.View(), CommView::Info);
}

TEST(CommWindow, AnIrisRunEndsWhenTheBackgroundCheckLosesItsProjector) {
    Window w(kCmdCheckTo16, IrisBus());
    w.bus.With(1, [](sim::SimProjector& p) { p.irisRunMs = 1000000000; });
    gui::IrisPanel* iris = w.OpenIris();
    ASSERT_NE(iris, nullptr);
    ButtonOf(iris, QStringLiteral("Focus"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return iris->Control().WorkerActive(); }, 5000));

    // A check in which projector 1 no longer answered.
    std::vector<CheckFinding> findings(2);
    findings[0].address = 1;
    findings[1].address = 3;
    findings[1].answered = true;
    findings[1].record = w.state.projectors.records[1];
    ApplyCheckFindings(w.state, findings);
    w.window.ProjectorsChanged();
    EXPECT_FALSE(w.state.direct.irisBusy);
    EXPECT_EQ(w.window.AccessView(), nullptr);
    EXPECT_EQ(w.StatusText(kStatusTextPart), QString::fromStdString(IrisEndedText(1)));

    FillProjectorTree(w.state, w.groups_);
    w.ClickNode(NodeData(kNodeInfo, 3));
    EXPECT_EQ(w.window.View(), CommView::Info);
}

TEST(CommWindow, TheCurrentProjectorIsOpenAndTheChosenViewKeepsItsHighlight) {
    Window w;
    FillProjectorTree(w.state, w.groups_);
    QTreeView* tree = w.window.Tree();
    EXPECT_TRUE(tree->isExpanded(w.NodeIndex(NodeData(kNodeGroupOrProjector, 1))));
    EXPECT_FALSE(tree->isExpanded(w.NodeIndex(NodeData(kNodeGroupOrProjector, 3))));

    w.ClickNode(NodeData(kNodeInfo, 3));
    w.window.ProjectorsChanged();  // as after a background check
    EXPECT_TRUE(tree->isExpanded(w.NodeIndex(NodeData(kNodeGroupOrProjector, 3))));
    EXPECT_EQ(tree->currentIndex(), w.NodeIndex(NodeData(kNodeInfo, 3)));
    EXPECT_TRUE(tree->selectionModel()->isSelected(w.NodeIndex(NodeData(kNodeInfo, 3))));

    // With the settings view open a view node is refused, and the highlight stays.
    w.ClickNode(NodeData(kNodeOverview, 1));
    w.Click(kProjector, 1);
    QTest::keyClick(w.List(kProjector), Qt::Key_Return);
    ASSERT_TRUE(w.window.HandleCommand(kCmdSettings));
    ASSERT_EQ(w.window.View(), CommView::Settings);
    w.ClickNode(NodeData(kNodeInfo, 3));
    EXPECT_EQ(w.window.View(), CommView::Settings);
    EXPECT_EQ(w.state.link.currentAddress, 1);
    EXPECT_EQ(tree->currentIndex(), w.NodeIndex(NodeData(kNodeOverview, 1)));
    EXPECT_EQ(w.StatusText(kStatusTextPart), QString::fromLatin1(kSettingsShownText));
}

TEST(CommWindow, AWindowWithoutProjectorsListsNoneOfTheLastOnesBlocks) {
    struct Case {
        const char* label;
        int searchMode;
        bool silent;
        bool cancel;
    };
    const Case cases[] = {{"search_skipped", kCmdSkipSearch, false, false},
                          {"nobody_found", kCmdCheckTo16, true, false},
                          {"search_cancelled", kCmdCheckTo16, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Window w;
        ASSERT_EQ(w.Rows(kProjector), 6);
        w.window.close();
        if (c.silent) w.bus.SetBusFault(sim::Fault{sim::FaultKind::Silence, 0, -1, 0});
        if (c.cancel) w.ui.CancelAfter(0);
        SetSearchMode(w.state.options, c.searchMode);

        gui::CommWindow second(w.state, nullptr);
        // What the address part and the pane title show from the first moment on.
        std::vector<std::pair<QString, QString>> shown;
        second.showStatus = [&](int part, const QString& text) {
            if (part == kStatusAddressPart) shown.emplace_back(text, second.Blocks()->Title(kProjector)->Caption());
        };
        second.resize(900, 600);
        second.show();
        second.Open();
        EXPECT_EQ(second.Blocks()->List(kProjector)->model()->rowCount(), 0);
        EXPECT_EQ(second.Blocks()->Title(kProjector)->Caption(), "");
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.front().first, "");
        EXPECT_EQ(shown.front().second, "");
        second.close();
    }
}

}  // namespace
}  // namespace ombrix
