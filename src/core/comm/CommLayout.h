#pragma once
// Where the panes of the communication window go: the tree (and the tip window below it)
// left of the vertical splitter bar, the two block panes with their titles right of it,
// divided by the horizontal bar, or a tab control in their place. Pure functions of the
// client rectangle and the splitter state.
#include <cstdint>
#include <vector>

namespace ombrix {

struct PaneRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PaneRect&) const = default;
    bool Contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

constexpr int kSplitBarWidth = 7;

// What the right side shows: nothing chosen yet, or the view of a tree node kind.
enum class CommView { Overview = 2, Info = 1, DirectAccess = 3, Settings = 4, History = 5 };

enum class Splitter { None, Vertical, Horizontal };

struct SplitState {
    int splitX = 0;  // left edge of the vertical bar
    int splitY = 0;  // top edge of the horizontal bar
    double splitRatio = 0.5;
};

// One third of the width, half of the height.
SplitState InitialSplit(const PaneRect& client);
// On every resize the vertical bar goes back to one third of the width; the horizontal
// bar keeps its proportion.
void ResizeSplit(SplitState& split, const PaneRect& client);
// A bar released at pos (x for the vertical, y for the horizontal one), kept inside the
// client so that no pane gets a negative size.
void MoveSplitter(SplitState& split, const PaneRect& client, Splitter which, int pos);

// Every block-list column: (W - W/3) / 6.
int BlockColumnWidth(int clientWidth);
// The columns of a list `available` pixels wide, each needing `needed[i]` to show its
// longest text: each starts at an equal share; columns that need less give their spare
// to those that need more, left to right; the widths add up to `available`, so the last
// column is never cut off by the list's edge.
std::vector<int> FitColumns(int available, const std::vector<int>& needed);

struct CommPanes {
    PaneRect tree;
    PaneRect tip;  // empty without the tip window
    PaneRect verticalBar;
    PaneRect horizontalBar;  // empty when the tabs take the whole right side
    PaneRect upperTitle;
    PaneRect projectorList;
    PaneRect lowerTitle;
    PaneRect ramList;
    PaneRect tabs;  // the information or direct-access / settings tabs
    bool ramPaneShown = true;
    int columnWidth = 0;
};

CommPanes LayOutCommWindow(const PaneRect& client, const SplitState& split, int titleHeight, bool tipShown,
                           CommView view);

// The bar under a point; the horizontal one only where it is drawn.
Splitter SplitterAt(const CommPanes& panes, int x, int y);

}  // namespace ombrix
