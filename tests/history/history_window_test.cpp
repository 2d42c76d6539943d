// The History view of the communication window offscreen, on the in-process simulator
// of the demo bus, found and worked as a screen reader does: through accessible names.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../support/BlockBench.h"
#include "blocks/ProjectorTree.h"
#include "frame/HelpTopics.h"
#include "gui/comm/CommWindow.h"
#include "gui/comm/ProjectorTreeModel.h"
#include "gui/comm/ProjectorTreeView.h"
#include "history/HistoryPane.h"

namespace ombrix {
namespace {

constexpr uint8_t kSaturation = 0x32;  // of type 5 V, byte 10 of its blocks

template <typename T = QWidget>
T* Named(QWidget* root, const QString& name) {
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->accessibleName() == name && w->isVisible()) return qobject_cast<T*>(w);
    return nullptr;
}

struct Bench {
    Bench() {
        for (const auto& e : std::filesystem::directory_iterator(OMBRIX_DATA_DIR)) {
            if (e.path().extension() == ".dsc") std::filesystem::copy_file(e.path(), e.path().filename());
        }
        std::stringstream text;
        text << std::ifstream(std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg").rdbuf();
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(text.str(), &bus, &error, OMBRIX_DATA_DIR)) << error;
        StartProgram(state);
        state.options.checkEnabled = 0;
        SetSearchMode(state.options, kCmdCheckTo16);
        // Kept before the window opens, as a nightly job or the command line keeps one.
        {
            ProgramState other{clock, ui, loader, opener};
            StartProgram(other);
            EXPECT_EQ(SetupConnection(other.env, other.link, kOwnerTool), 1);
            HistoryPane pane(other, 1);
            EXPECT_TRUE(pane.Take("before the show", 1000).ok);
            CloseConnection(other.link, kOwnerTool);
        }
        window.resize(1000, 700);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.Open();
        FillProjectorTree(state, groups);
        auto* model = static_cast<gui::ProjectorTreeModel*>(window.Tree()->model());
        const QModelIndex index = model->IndexOfPath(FindNode(groups, NodeData(kNodeHistory, 1)));
        window.Tree()->scrollTo(index);
        QTest::mouseClick(window.Tree()->viewport(), Qt::LeftButton, {}, window.Tree()->visualRect(index).center());
        view = Named(&window, "History of projector 1");
    }
    QTreeWidget* List() const { return Named<QTreeWidget>(view, "Snapshots"); }
    QString Result() const { return Named<QPlainTextEdit>(view, "Result")->toPlainText(); }
    void Press(const QString& name) {
        QPushButton* b = Named<QPushButton>(view, name);
        ASSERT_NE(b, nullptr) << name.toStdString();
        ASSERT_TRUE(b->isEnabled()) << name.toStdString();
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Space);
    }
    // Saturation of projector 1 moved by hand, as a technician would.
    int ChangeSaturation() {
        int now = 0;
        bus.With(1, [&](sim::SimProjector& p) {
            sim::SimParam& s = p.params[kSaturation];
            s.value += s.value + 3 <= s.max ? 3 : -3;
            p.StoreLiveValue(s);
            now = s.value;
        });
        return now;
    }

    testing::TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    DlLibraryLoader loader;
    ProgramState state{clock, ui, loader, opener};
    gui::CommWindow window{state, nullptr};
    GroupTable groups;
    QWidget* view = nullptr;
};

TEST(HistoryView, ListsCompareAndRestoreAfterAConfirmation) {
    Bench b;
    ASSERT_NE(b.view, nullptr);
    EXPECT_EQ(HelpPageFor({b.view->objectName().toStdString(), "MDIComm"}), "task-history.html");
    // Every control is named by what it shows.
    for (QPushButton* button : b.view->findChildren<QPushButton*>()) {
        EXPECT_EQ(button->accessibleName(), button->text().remove(QLatin1Char('&')));
        EXPECT_NE(button->focusPolicy() & Qt::TabFocus, 0) << button->text().toStdString();
    }
    QTreeWidget* list = b.List();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "by hand");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "before the show");
    EXPECT_EQ(list->topLevelItem(0)->text(3), "yes");

    int before = 0;
    b.bus.With(1, [&](sim::SimProjector& p) { before = p.params[kSaturation].value; });
    const int changed = b.ChangeSaturation();
    const std::string change = "Saturation " + std::to_string(before) + " → " + std::to_string(changed);
    list->setCurrentItem(list->topLevelItem(0));
    b.Press("Compare with now");
    EXPECT_NE(b.Result().toStdString().find(change), std::string::npos) << b.Result().toStdString();
    b.Press("Drift");
    EXPECT_NE(b.Result().toStdString().find(change), std::string::npos) << b.Result().toStdString();

    // Restore: the question names the block and the value it overwrites; No keeps all.
    struct Step {
        const char* label;
        bool answer;
        int saturation;
        int rows;
    };
    const Step steps[] = {{"answered No", false, changed, 1}, {"answered Yes", true, before, 3}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        b.ui.Clear();
        b.ui.QueueAnswer(s.answer);
        list->setCurrentItem(list->topLevelItem(list->topLevelItemCount() - 1));
        auto* what = Named<QComboBox>(b.view, "Restore what");
        ASSERT_NE(what, nullptr);
        ASSERT_GT(what->count(), 1);
        what->setCurrentIndex(1);  // block 1 alone
        b.Press("Restore");
        const std::vector<RecordedBox> boxes = b.ui.Boxes();
        ASSERT_FALSE(boxes.empty());
        const std::string& question = boxes.front().text;
        EXPECT_NE(question.find("restore 1 block of snapshot 1"), std::string::npos) << question;
        EXPECT_NE(question.find("Saturation " + std::to_string(changed) + " → " + std::to_string(before)),
                  std::string::npos)
            << question;
        EXPECT_NE(question.find("snapshot of the projector as it is now is taken first"), std::string::npos);
        int now = 0;
        b.bus.With(1, [&](sim::SimProjector& p) { now = p.params[kSaturation].value; });
        EXPECT_EQ(now, s.saturation);
        EXPECT_EQ(list->topLevelItemCount(), s.rows);
    }
    // Newest first: the restored settings, then what was there before.
    EXPECT_EQ(list->topLevelItem(0)->text(1), "restored");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "restored from snapshot 1");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "before restore");
    EXPECT_NE(b.Result().toStdString().find("restored"), std::string::npos) << b.Result().toStdString();

    // Take snapshot with a note, from the keyboard.
    auto* note = Named<QLineEdit>(b.view, "Note");
    ASSERT_NE(note, nullptr);
    b.ChangeSaturation();
    note->setFocus();
    QTest::keyClicks(note, "after the show");
    QTest::keyClick(note, Qt::Key_Return);
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(list->topLevelItem(0)->text(2), "after the show");
}

}  // namespace
}  // namespace ombrix
