#pragma once
// A report-style list of the core (headings and rows of cell texts) as a Qt table model.
#include <QAbstractTableModel>

#include "core/blocks/ListToText.h"

namespace ombrix::gui {

class ListTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetList(ListModel list);
    const ListModel& List() const { return list_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    ListModel list_;
};

}  // namespace ombrix::gui
