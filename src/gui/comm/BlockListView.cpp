#include "gui/comm/BlockListView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <vector>

#include "core/comm/CommLayout.h"
#include "gui/comm/BlockTableModel.h"

namespace ombrix::gui {

namespace {
constexpr int kStackStep = 15;
}

BlockListView::BlockListView(BlockTableModel* model, BlockListHost* host, QWidget* parent)
    : QTreeView(parent), model_(model), host_(host) {
    const bool projector = model->Kind() == BlockListKind::Projector;
    setObjectName(projector ? QStringLiteral("projectorBlocks") : QStringLiteral("ramBlocks"));
    const QString name = projector ? QStringLiteral("Listing Blocks in Projector")
                                   : QStringLiteral("Listing Blocks in RAM-container");
    setWindowTitle(name);
    setAccessibleName(name);
    setModel(model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Pressing on a selected row keeps the selection until release, so it can be dragged.
    setDragEnabled(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    // The longest text of a column decides its share, so the widths follow the rows.
    connect(model, &QAbstractItemModel::modelReset, this, &BlockListView::FitColumnsToView);
    connect(model, &QAbstractItemModel::layoutChanged, this, &BlockListView::FitColumnsToView);
    connect(model, &QAbstractItemModel::rowsInserted, this, &BlockListView::FitColumnsToView);
    connect(model, &QAbstractItemModel::dataChanged, this, &BlockListView::FitColumnsToView);
}

BlockListKind BlockListView::Kind() const { return model_->Kind(); }

void BlockListView::SetColumnWidths(int width) {
    columnWidth_ = width;
    FitColumnsToView();
}

void BlockListView::FitColumnsToView() {
    const int count = model_->columnCount();
    if (count <= 0) return;
    // The equal share of the window's width, but never wider than the list shows, and a
    // long type name takes room that the short numbers leave.
    const int available = std::min(columnWidth_ * count, viewport()->width());
    std::vector<int> needed;
    const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
    for (int c = 0; c < count; ++c)
        needed.push_back(std::max(header()->sectionSizeHint(c), sizeHintForColumn(c)) + margin);
    const std::vector<int> widths = FitColumns(available, needed);
    for (int c = 0; c < count; ++c) setColumnWidth(c, widths[static_cast<size_t>(c)]);
}

void BlockListView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    FitColumnsToView();
}

int BlockListView::RowAtGlobal(const QPoint& globalPos) const {
    const QPoint p = viewport()->mapFromGlobal(globalPos);
    if (!isVisible() || !viewport()->rect().contains(p)) return -2;
    const QModelIndex at = indexAt(p);
    return at.isValid() ? at.row() : -1;
}

QPixmap BlockListView::RowsImage(const std::vector<int>& rows) const {
    if (rows.empty()) return {};
    std::vector<QPixmap> shots;
    int width = 0, height = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const QModelIndex first = model_->index(rows[i], 0);
        QRect r = visualRect(first);
        r.setLeft(0);
        r.setRight(viewport()->width() - 1);
        QPixmap shot = r.isValid() && viewport()->rect().intersects(r) ? viewport()->grab(r) : QPixmap();
        if (shot.isNull()) {
            // A row scrolled out of sight: its first cell as text.
            shot = QPixmap(qMax(1, viewport()->width()), qMax(1, sizeHintForRow(0)));
            shot.fill(palette().color(QPalette::Base));
            QPainter p(&shot);
            p.drawText(shot.rect().adjusted(4, 0, 0, 0), Qt::AlignVCenter,
                       model_->data(first, Qt::DisplayRole).toString());
        }
        width = qMax(width, shot.width());
        height = qMax(height, static_cast<int>(i) * kStackStep + shot.height());
        shots.push_back(shot);
    }
    QPixmap image(width, height);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setOpacity(0.75);
    for (size_t i = 0; i < shots.size(); ++i) p.drawPixmap(0, static_cast<int>(i) * kStackStep, shots[i]);
    return image;
}

void BlockListView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Delete:
        case Qt::Key_End:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_PageDown:
        case Qt::Key_Alt:
        case Qt::Key_Control:
        case Qt::Key_Shift:
            host_->ListKey(this, event->key(), event->modifiers());
            if (event->key() == Qt::Key_Control || event->key() == Qt::Key_Shift) break;
            return;
        case Qt::Key_A:
            if (event->modifiers() & Qt::ControlModifier) {
                host_->ListKey(this, event->key(), event->modifiers());
                return;
            }
            break;
        default:
            break;
    }
    QTreeView::keyPressEvent(event);
}

void BlockListView::mousePressEvent(QMouseEvent* event) {
    dragging_ = false;
    dragRefused_ = false;
    pressRow_ = -1;
    if (event->button() == Qt::LeftButton) {
        pressPos_ = event->position().toPoint();
        const QModelIndex at = indexAt(pressPos_);
        pressRow_ = at.isValid() ? at.row() : -1;
        // Ctrl or Shift with the mouse works as the keys do.
        if (event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) {
            host_->ListKey(this, (event->modifiers() & Qt::ControlModifier) ? Qt::Key_Control : Qt::Key_Shift,
                           event->modifiers());
        }
    }
    QTreeView::mousePressEvent(event);
}

void BlockListView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || pressRow_ < 0 || dragRefused_) {
        if (!dragging_) QTreeView::mouseMoveEvent(event);
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (!dragging_) {
        if ((event->position().toPoint() - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
        dragging_ = host_->BeginDrag(this, pressRow_);
        dragRefused_ = !dragging_;
        if (!dragging_) return;
    }
    host_->MoveDrag(this, global);
}

void BlockListView::mouseReleaseEvent(QMouseEvent* event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        pressRow_ = -1;
        host_->EndDrag(this, event->globalPosition().toPoint());
        setState(QAbstractItemView::NoState);
        return;
    }
    pressRow_ = -1;
    QTreeView::mouseReleaseEvent(event);
}

void BlockListView::contextMenuEvent(QContextMenuEvent* event) {
    QPoint at = event->globalPos();
    // From the keyboard the menu opens at the current row.
    if (event->reason() == QContextMenuEvent::Keyboard && currentIndex().isValid())
        at = viewport()->mapToGlobal(visualRect(currentIndex()).center());
    host_->PopUp(this, at);
}

}  // namespace ombrix::gui
