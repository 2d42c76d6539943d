#pragma once
// The comparison of projectors ("COMPAREBOX") that stands in for a page in Compare mode.
#include <QWidget>

#include "core/app/Program.h"

class QComboBox;
class QTableView;

namespace ombrix::gui {

class InfoStrip;
class ListTableModel;

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    CompareWindow(ProgramState& state, int page, InfoStrip* strip, QWidget* parent = nullptr);

    QTableView* Table() const { return table_; }
    QComboBox* Reference() const { return reference_; }
    // "Match row >>" (the current row's parameter) or "Match page >>".
    void Match(bool wholePage);
    // Every target read again (F5, after a Match, after a handset key reached one).
    void Refresh();
    const ListTableModel* Model() const { return model_; }

signals:
    void filled(bool ok);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fill();
    void SizeColumnsToHeadings();
    void ConvertToText();

    ProgramState& state_;
    int page_;
    InfoStrip* strip_;
    QTableView* table_ = nullptr;
    ListTableModel* model_ = nullptr;
    QComboBox* reference_ = nullptr;
};

}  // namespace ombrix::gui
