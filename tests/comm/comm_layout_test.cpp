// Where the panes of the communication window go, for a client rectangle and the
// splitter state, and how the splitters move.
#include <gtest/gtest.h>

#include <vector>

#include "comm/CommLayout.h"

namespace ombrix {

void PrintTo(const PaneRect& r, std::ostream* o) { *o << r.x << ',' << r.y << ' ' << r.width << 'x' << r.height; }

namespace {

struct LayoutCase {
    const char* label;
    PaneRect client;
    bool tip;
    CommView view;
    PaneRect tree, tip_, projectorList, ramList, tabs;
    int columnWidth;
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

// Title height 30 throughout; the split is the initial one.
TEST_P(Layout, PanesForTheView) {
    const LayoutCase& c = GetParam();
    const CommPanes p = LayOutCommWindow(c.client, InitialSplit(c.client), 30, c.tip, c.view);
    EXPECT_EQ(p.tree, c.tree);
    EXPECT_EQ(p.tip, c.tip_);
    EXPECT_EQ(p.projectorList, c.projectorList);
    EXPECT_EQ(p.ramList, c.ramList);
    EXPECT_EQ(p.tabs, c.tabs);
    EXPECT_EQ(p.columnWidth, c.columnWidth);
}

INSTANTIATE_TEST_SUITE_P(
    Comm, Layout,
    ::testing::Values(
        // 900 x 600: splitX 300, splitY 300, right side from 307, 593 wide.
        LayoutCase{"overview", {0, 0, 900, 600}, false, CommView::Overview, {0, 0, 300, 600}, {},
                   {307, 30, 593, 270}, {307, 337, 593, 263}, {}, 100},
        LayoutCase{"tip_takes_the_lowest_fifth", {0, 0, 900, 603}, true, CommView::Overview, {0, 0, 300, 480},
                   {0, 480, 300, 120}, {307, 30, 593, 271}, {307, 338, 593, 265}, {}, 100},
        LayoutCase{"info_tabs_down_to_the_bar", {0, 0, 900, 600}, false, CommView::Info, {0, 0, 300, 600}, {},
                   {307, 30, 593, 270}, {307, 337, 593, 263}, {307, 0, 593, 300}, 100},
        LayoutCase{"direct_access_takes_the_whole_right_side", {0, 0, 900, 600}, false, CommView::DirectAccess,
                   {0, 0, 300, 600}, {}, {}, {}, {307, 0, 593, 600}, 100},
        // (1000 - 333) / 6 = 111, integer division throughout.
        LayoutCase{"odd_width", {0, 0, 1000, 401}, false, CommView::Overview, {0, 0, 333, 401}, {},
                   {340, 30, 660, 170}, {340, 237, 660, 164}, {}, 111},
        // A window smaller than its titles gives empty panes, never negative ones.
        LayoutCase{"tiny", {0, 0, 20, 40}, false, CommView::Overview, {0, 0, 6, 40}, {}, {13, 30, 7, 0},
                   {13, 57, 7, 0}, {}, 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Splitters, ResizeSendsTheVerticalBarBackAndKeepsTheHorizontalProportion) {
    const PaneRect before{0, 0, 900, 600};
    SplitState s = InitialSplit(before);
    MoveSplitter(s, before, Splitter::Vertical, 500);
    MoveSplitter(s, before, Splitter::Horizontal, 150);
    EXPECT_EQ(s.splitX, 500);
    EXPECT_DOUBLE_EQ(s.splitRatio, 0.25);
    ResizeSplit(s, {0, 0, 1200, 801});
    EXPECT_EQ(s.splitX, 400);
    EXPECT_EQ(s.splitY, 200);  // floor(801 * 0.25)
}

TEST(Splitters, ABarReleasedOutsideStaysInside) {
    const PaneRect client{0, 0, 900, 600};
    SplitState s = InitialSplit(client);
    MoveSplitter(s, client, Splitter::Vertical, -40);
    MoveSplitter(s, client, Splitter::Horizontal, 5000);
    EXPECT_EQ(s.splitX, 0);
    EXPECT_EQ(s.splitY, 600 - kSplitBarWidth);
    const CommPanes p = LayOutCommWindow(client, s, 30, false, CommView::Overview);
    EXPECT_EQ(p.ramList.height, 0);
    EXPECT_EQ(p.tree.width, 0);
}

TEST(Splitters, BarsUnderThePointer) {
    const PaneRect client{0, 0, 900, 600};
    const CommPanes overview = LayOutCommWindow(client, InitialSplit(client), 30, false, CommView::Overview);
    EXPECT_EQ(SplitterAt(overview, 303, 10), Splitter::Vertical);
    EXPECT_EQ(SplitterAt(overview, 600, 306), Splitter::Horizontal);
    EXPECT_EQ(SplitterAt(overview, 600, 307), Splitter::None);
    const CommPanes direct = LayOutCommWindow(client, InitialSplit(client), 30, false, CommView::Settings);
    EXPECT_EQ(SplitterAt(direct, 600, 303), Splitter::None);
}

// The block lists' columns fill the list exactly and give a long type name the room the
// short numbers leave.
TEST(Columns, FitTheListAndShareWhatTheShortOnesLeave) {
    struct Case {
        const char* label;
        int available;
        std::vector<int> needed;
        std::vector<int> widths;
    } cases[] = {
        {"all fit: equal shares", 600, {50, 50, 50, 50, 50, 50}, {100, 100, 100, 100, 100, 100}},
        {"a long type takes from the short columns", 600, {90, 50, 160, 60, 60, 100},
         {100, 100, 160, 80, 60, 100}},
        {"the rounding goes to the last column", 605, {10, 10, 10, 10, 10, 10}, {100, 100, 100, 100, 100, 105}},
        {"too narrow for everyone: equal shares", 300, {90, 50, 160, 60, 60, 100}, {50, 50, 50, 50, 50, 50}},
        {"nothing to share", 0, {10, 10}, {0, 0}},
        {"no columns", 100, {}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<int> widths = FitColumns(c.available, c.needed);
        EXPECT_EQ(widths, c.widths) << c.label;
        int total = 0;
        for (int w : widths) total += w;
        if (!c.needed.empty()) {
            EXPECT_EQ(total, c.available) << c.label;
        }
    }
}

}  // namespace
}  // namespace ombrix
