#pragma once
// A report list of the core (headings and rows of texts) as a read-only table model,
// every cell centred.
#include <QAbstractTableModel>

#include "core/blocks/ListToText.h"

namespace ombrix::gui {

class ListTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetList(const ListModel& list);
    const ListModel& List() const { return list_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ListModel list_;
};

}  // namespace ombrix::gui
