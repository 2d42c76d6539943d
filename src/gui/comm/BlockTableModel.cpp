#include "gui/comm/BlockTableModel.h"

#include <QApplication>
#include <QFont>
#include <QPalette>

namespace ombrix::gui {

BlockTableModel::BlockTableModel(BlockListKind kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind), headings_(BlockListHeadings(kind)) {}

void BlockTableModel::Sync(const BlockListModel& list) {
    beginResetModel();
    rows_ = list.rows;
    dropRow_ = list.dropRow;
    endResetModel();
}

void BlockTableModel::SetDropRow(int row) {
    if (row == dropRow_) return;
    const int old = dropRow_;
    dropRow_ = row;
    for (int r : {old, row}) {
        if (r >= 0 && r < rowCount()) emit dataChanged(index(r, 0), index(r, columnCount() - 1), {Qt::BackgroundRole});
    }
}

int BlockTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int BlockTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headings_.size());
}

QString BlockIconText(int icon) {
    switch (icon) {
        case kIconActive:
            return QStringLiteral("Active block");
        case kIconFree:
        case kIconRamFree:
            return QStringLiteral("Free block");
        case kIconSpecial:
        case kIconRamSpecial:
            return QStringLiteral("Special block");
        case kIconAdjustment:
        case kIconRamAdjustment:
            return QStringLiteral("Selected for adjustment");
        case kIconReference:
        case kIconRamReference:
            return QStringLiteral("Selected for reference");
        case kIconContainer:
            return QStringLiteral("RAM-container");
        default:
            return QStringLiteral("Block");
    }
}

QVariant BlockTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const BlockListRow& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(row.cells[static_cast<size_t>(index.column())]);
        case Qt::DecorationRole:
            if (index.column() == 0 && row.icon >= 0 && row.icon < static_cast<int>(icons_.size()) &&
                !icons_[static_cast<size_t>(row.icon)].isNull())
                return icons_[static_cast<size_t>(row.icon)];
            return {};
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole:
            return BlockIconText(row.icon);
        case Qt::FontRole: {
            // Without pictures the marks a row carries still show.
            QFont font = QApplication::font();
            font.setBold(row.icon == kIconAdjustment || row.icon == kIconReference ||
                         row.icon == kIconRamAdjustment || row.icon == kIconRamReference ||
                         row.icon == kIconContainer || row.icon == kIconActive);
            font.setItalic(row.icon == kIconFree || row.icon == kIconRamFree);
            return font;
        }
        case Qt::BackgroundRole:
            if (index.row() == dropRow_) return QApplication::palette().brush(QPalette::Highlight);
            return {};
        case Qt::ForegroundRole:
            if (index.row() == dropRow_) return QApplication::palette().brush(QPalette::HighlightedText);
            return {};
        default:
            return {};
    }
}

QVariant BlockTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(headings_[static_cast<size_t>(section)]);
    return {};
}

}  // namespace ombrix::gui
