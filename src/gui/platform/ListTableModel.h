#pragma once
// A report list of the core (headings and rows of cell texts) as a read-only Qt table
// model; screen readers read the same cell texts.
#include <QAbstractTableModel>

#include "core/blocks/ListToText.h"

namespace ombrix::gui {

class ListTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // centred: every heading and cell centred, as the comparison lists are drawn.
    explicit ListTableModel(QObject* parent = nullptr, bool centred = false)
        : QAbstractTableModel(parent), centred_(centred) {}

    void SetList(ListModel list);
    const ListModel& List() const { return list_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    ListModel list_;
    bool centred_;
};

}  // namespace ombrix::gui
