#pragma once
// One block list in report style. Its keys, right clicks and drags go to the host, which
// owns both lists and acts on the core.
#include <QPoint>
#include <QTreeView>
#include <vector>

#include "core/blocks/BlockList.h"

namespace ombrix::gui {

class BlockListView;
class BlockTableModel;

class BlockListHost {
public:
    virtual ~BlockListHost() = default;
    // A drag from a row; false when none starts.
    virtual bool BeginDrag(BlockListView* from, int row) = 0;
    virtual void MoveDrag(BlockListView* from, const QPoint& globalPos) = 0;
    virtual void EndDrag(BlockListView* from, const QPoint& globalPos) = 0;
    // Delete, End, Enter, Page Down, Select All (Alt, Ctrl+A), Ctrl or Shift.
    virtual void ListKey(BlockListView* list, int key, Qt::KeyboardModifiers modifiers) = 0;
    virtual void PopUp(BlockListView* list, const QPoint& globalPos) = 0;
};

class BlockListView : public QTreeView {
    Q_OBJECT
public:
    BlockListView(BlockTableModel* model, BlockListHost* host, QWidget* parent = nullptr);

    BlockListKind Kind() const;
    BlockTableModel* TableModel() const { return model_; }
    // The row under a point of the screen; -1 when none, -2 when the point is outside.
    int RowAtGlobal(const QPoint& globalPos) const;
    // The rows' picture, several stacked 15 pixels apart.
    QPixmap RowsImage(const std::vector<int>& rows) const;
    void SetColumnWidths(int width);
    void FitColumnsToView();
    bool Dragging() const { return dragging_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    BlockTableModel* model_;
    BlockListHost* host_;
    QPoint pressPos_;
    int pressRow_ = -1;
    bool dragging_ = false;
    bool dragRefused_ = false;
    int columnWidth_ = 0;
};

}  // namespace ombrix::gui
