#include "comm/CommLayout.h"

#include <algorithm>
#include <cmath>

namespace ombrix {
namespace {

PaneRect Rect(int x, int y, int w, int h) { return {x, y, std::max(0, w), std::max(0, h)}; }

}  // namespace

SplitState InitialSplit(const PaneRect& client) {
    SplitState s;
    s.splitX = client.x + client.width / 3;
    s.splitY = client.y + client.height / 2;
    s.splitRatio = 0.5;
    return s;
}

void ResizeSplit(SplitState& split, const PaneRect& client) {
    split.splitX = client.x + client.width / 3;
    split.splitY = client.y + static_cast<int>(std::floor(client.height * split.splitRatio));
}

void MoveSplitter(SplitState& split, const PaneRect& client, Splitter which, int pos) {
    if (which == Splitter::Vertical) {
        split.splitX = std::clamp(pos, client.x, std::max(client.x, client.x + client.width - kSplitBarWidth));
    } else if (which == Splitter::Horizontal) {
        split.splitY = std::clamp(pos, client.y, std::max(client.y, client.y + client.height - kSplitBarWidth));
        split.splitRatio = client.height > 0 ? static_cast<double>(split.splitY) / client.height : 0.5;
    }
}

int BlockColumnWidth(int clientWidth) { return std::max(0, clientWidth - clientWidth / 3) / 6; }

std::vector<int> FitColumns(int available, const std::vector<int>& needed) {
    const int n = static_cast<int>(needed.size());
    std::vector<int> widths(needed.size(), 0);
    if (n == 0) return widths;
    available = std::max(available, 0);
    const int share = available / n;
    int spare = available - share * n;
    for (int i = 0; i < n; ++i) {
        const int need = std::max(needed[static_cast<size_t>(i)], 0);
        widths[static_cast<size_t>(i)] = std::min(share, need);
        spare += share - widths[static_cast<size_t>(i)];
    }
    for (int i = 0; i < n && spare > 0; ++i) {
        const int more = std::min(spare, std::max(needed[static_cast<size_t>(i)], 0) - widths[static_cast<size_t>(i)]);
        if (more > 0) {
            widths[static_cast<size_t>(i)] += more;
            spare -= more;
        }
    }
    // What nobody needs widens the columns evenly again, the rest going to the last.
    for (int i = 0; i < n && spare > 0; ++i) {
        const int more = std::min(spare, share - widths[static_cast<size_t>(i)]);
        if (more > 0) {
            widths[static_cast<size_t>(i)] += more;
            spare -= more;
        }
    }
    widths.back() += spare;
    return widths;
}

CommPanes LayOutCommWindow(const PaneRect& client, const SplitState& split, int titleHeight, bool tipShown,
                           CommView view) {
    CommPanes p;
    const int left = client.x, top = client.y, w = client.width, h = client.height;
    const int right = left + w, bottom = top + h;
    const int treeWidth = split.splitX - left;
    if (tipShown) {
        const int fifth = h / 5;
        p.tree = Rect(left, top, treeWidth, fifth * 4);
        p.tip = Rect(left, top + fifth * 4, treeWidth, fifth);
    } else {
        p.tree = Rect(left, top, treeWidth, h);
    }
    p.verticalBar = Rect(split.splitX, top, kSplitBarWidth, h);
    const int rx = split.splitX + kSplitBarWidth;
    const int rw = right - rx;
    p.columnWidth = BlockColumnWidth(w);
    p.ramPaneShown = view != CommView::DirectAccess && view != CommView::Settings && view != CommView::History;
    if (!p.ramPaneShown) {
        p.tabs = Rect(rx, top, rw, h);
        return p;
    }
    p.horizontalBar = Rect(rx, split.splitY, rw, kSplitBarWidth);
    p.upperTitle = Rect(rx, top, rw, std::min(titleHeight, split.splitY - top));
    p.projectorList = Rect(rx, top + titleHeight, rw, split.splitY - top - titleHeight);
    if (view == CommView::Info) p.tabs = Rect(rx, top, rw, split.splitY - top);
    const int lowerTop = split.splitY + kSplitBarWidth;
    p.lowerTitle = Rect(rx, lowerTop, rw, std::min(titleHeight, bottom - lowerTop));
    p.ramList = Rect(rx, lowerTop + titleHeight, rw, bottom - lowerTop - titleHeight);
    return p;
}

Splitter SplitterAt(const CommPanes& panes, int x, int y) {
    if (panes.verticalBar.Contains(x, y)) return Splitter::Vertical;
    if (panes.horizontalBar.Contains(x, y)) return Splitter::Horizontal;
    return Splitter::None;
}

}  // namespace ombrix
