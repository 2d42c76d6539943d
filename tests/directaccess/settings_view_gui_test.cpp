// The settings view offscreen against the simulator: tabs, fields by their parameter
// names, a colour choice renumbering the fields, the control panel's bar, the comparison
// and back, and the block written to the projector when the view goes.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTreeView>
#include <memory>

#include "PaneBench.h"
#include "gui/app/WorkingWindow.h"
#include "gui/directaccess/SettingsView.h"

namespace ombrix {
namespace {

using testing::PaneBench;
using testing::Request;

template <typename Pred>
bool WaitFor(Pred done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

template <typename W>
W* Named(QWidget* root, const QString& name) {
    for (W* w : root->findChildren<W*>())
        if (w->accessibleName() == name && w->isVisible()) return w;
    return nullptr;
}

QStringList FieldTexts(QWidget* root) {
    QStringList out;
    for (int id = kFirstFieldId; id < kFirstFieldId + 10; ++id) {
        if (auto* f = root->findChild<QLineEdit*>(QString::number(id))) out << f->accessibleName() + "=" + f->text();
    }
    return out;
}

TEST(SettingsView, EditsAStoredBlock) {
    PaneBench b;
    b.Select(BlockListKind::Projector, {0});
    SelectForReference(b.state, b.view, BlockListKind::Projector);
    b.Adjust(BlockListKind::Projector, 1);

    QWidget* view = gui::CreateSettingsView(b.state, nullptr, nullptr);
    ASSERT_NE(view, nullptr);
    auto* target = dynamic_cast<gui::CommandTarget*>(view);
    ASSERT_NE(target, nullptr);
    view->resize(1000, 520);
    view->show();

    auto* tabs = view->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    QStringList names;
    for (int i = 0; i < tabs->count(); ++i) names << tabs->tabText(i);
    EXPECT_EQ(names, (QStringList{"Picture", "Convergence", "Audio", "Empty"}));
    EXPECT_FALSE(target->CommandEnabled(kCmdSettingsGroupFirst + 3));  // the Common group has no tab

    ASSERT_TRUE(WaitFor([&] { return !FieldTexts(view).isEmpty(); }));
    EXPECT_EQ(FieldTexts(view), (QStringList{"Brightness=28", "Sharpness=32", "Gain=29"}));

    // Compare and back.
    QRadioButton* compare = Named<QRadioButton>(view, "Compare");
    ASSERT_NE(compare, nullptr);
    compare->click();
    EXPECT_FALSE(Named<QPushButton>(view, "Save"));
    auto* list = view->findChild<QTreeView*>();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 4; }));
    EXPECT_EQ(list->model()->headerData(4, Qt::Horizontal).toString(), "Reference Block");
    EXPECT_EQ(list->model()->index(0, 4).data().toString(), "8");
    Named<QPushButton>(view, "<< Back")->click();
    ASSERT_TRUE(WaitFor([&] { return Named<QPushButton>(view, "Save") != nullptr; }));
    EXPECT_EQ(FieldTexts(view).size(), 3);

    // Convergence: the colour choice renumbers the fields.
    EXPECT_TRUE(target->HandleCommand(kCmdSettingsGroupFirst + 1));
    ASSERT_TRUE(WaitFor([&] { return FieldTexts(view).value(0).startsWith("Green H"); }));
    Named<QRadioButton>(view, "Red")->click();
    ASSERT_TRUE(WaitFor([&] { return FieldTexts(view).value(0).startsWith("Red H"); }));
    EXPECT_EQ(FieldTexts(view), (QStringList{"Red H=34", "Common H=37"}));

    // The control panel moves the current (last) parameter.
    QCheckBox* toggle = Named<QCheckBox>(view, "Indirect Access");
    ASSERT_NE(toggle, nullptr);
    toggle->click();
    QScrollBar* bar = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (bar = Named<QScrollBar>(view, "Indirect Access : Common H")) != nullptr; }));
    EXPECT_EQ(bar->value(), 37);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    ASSERT_TRUE(WaitFor([&] { return FieldTexts(view).value(1) == "Common H=53"; }));
    EXPECT_EQ(bar->value(), 53);

    b.bus.ClearTranscript();
    delete view;
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'q', {0x00, 0x02, 0x21, 0x36}}}));
    EXPECT_EQ(b.SimData(1, 1)[17], 53);
}

TEST(SettingsView, SaysWhatItReadsAndHoldsTheTabsUntilItIsDone) {
    PaneBench b;
    b.Adjust(BlockListKind::Projector, 1);
    std::unique_ptr<QWidget> view(gui::CreateSettingsView(b.state, nullptr, nullptr));
    ASSERT_NE(view, nullptr);
    view->resize(1000, 520);
    view->show();
    auto* tabs = view->findChild<QTabBar*>();
    auto* reading = view->findChild<QLabel*>("reading");
    ASSERT_NE(reading, nullptr);
    EXPECT_EQ(reading->text(), "Reading Picture from projector 1 ...");
    EXPECT_TRUE(reading->isVisible());
    EXPECT_FALSE(tabs->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !FieldTexts(view.get()).isEmpty(); }));
    EXPECT_TRUE(tabs->isEnabled());
    EXPECT_FALSE(reading->isVisible());
}

TEST(SettingsView, NotWithoutAnAdjustmentBlock) {
    PaneBench b;
    EXPECT_EQ(gui::CreateSettingsView(b.state, nullptr, nullptr), nullptr);
    EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Warning  35"}));
}

}  // namespace
}  // namespace ombrix
