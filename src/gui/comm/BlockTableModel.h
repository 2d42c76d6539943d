#pragma once
// One block list (the projector's blocks or the RAM container) for a view: the icon
// kind, six cells and selection of each row as the core list model last held them. The
// rows are a copy taken by Sync, so the view paints while a command works on the tables.
#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

#include "core/blocks/BlockList.h"

namespace ombrix::gui {

class BlockTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    BlockTableModel(BlockListKind kind, QObject* parent = nullptr);

    // The rows of the core model, the drop highlight included.
    void Sync(const BlockListModel& list);
    void SetDropRow(int row);
    // Pictures by icon kind; a missing one leaves the row without.
    void SetIcons(std::vector<QIcon> icons) { icons_ = std::move(icons); }
    int DropRow() const { return dropRow_; }
    BlockListKind Kind() const { return kind_; }
    const std::vector<BlockListRow>& Rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    BlockListKind kind_;
    BlockRowTexts headings_;
    std::vector<BlockListRow> rows_;
    int dropRow_ = -1;
    std::vector<QIcon> icons_;
};

// What a row's icon says, for the tooltip and assistive technology.
QString BlockIconText(int icon);

}  // namespace ombrix::gui
