#pragma once
// The comparison of projectors ("COMPAREBOX") that stands in for a page in Compare mode.
#include <QWidget>

#include "core/app/Program.h"

class QTableView;

namespace ombrix::gui {

class InfoStrip;
class ListTableModel;

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    CompareWindow(ProgramState& state, int page, InfoStrip* strip, QWidget* parent = nullptr);

    QTableView* Table() const { return table_; }
    const ListTableModel* Model() const { return model_; }

signals:
    void filled(bool ok);

private:
    void Fill();
    void SizeColumnsToHeadings();
    void ConvertToText();

    ProgramState& state_;
    int page_;
    InfoStrip* strip_;
    QTableView* table_ = nullptr;
    ListTableModel* model_ = nullptr;
};

}  // namespace ombrix::gui
