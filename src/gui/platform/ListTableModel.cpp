#include "gui/platform/ListTableModel.h"

namespace ombrix::gui {

void ListTableModel::SetList(ListModel list) {
    beginResetModel();
    list_ = std::move(list);
    endResetModel();
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.rows.size());
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.headings.size());
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::TextAlignmentRole && centred_) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    const auto& row = list_.rows[static_cast<size_t>(index.row())];
    const auto column = static_cast<size_t>(index.column());
    // A row shorter than the headings has blank cells.
    return column < row.size() ? QString::fromStdString(row[column]) : QString();
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::TextAlignmentRole && centred_) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole) return {};
    return QString::fromStdString(list_.headings[static_cast<size_t>(section)]);
}

}  // namespace ombrix::gui
