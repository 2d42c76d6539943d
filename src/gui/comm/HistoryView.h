#pragma once
// The History view of the communication window: one projector's snapshots (when, why,
// note, complete or not), and Take snapshot, Compare, Drift and Restore on them. A thin
// view over the core's HistoryPane; the line work runs through the window's LineWork.
#include <QWidget>

#include "core/history/HistoryPane.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace ombrix::gui {

class LineWork;

class HistoryView : public QWidget {
    Q_OBJECT
public:
    HistoryView(ProgramState& state, uint8_t address, LineWork& work, QWidget* parent = nullptr);

    QTreeWidget* List() const { return list_; }
    QPlainTextEdit* Result() const { return result_; }

private:
    void Reload();
    void SelectionChanged();
    std::vector<int64_t> Selected() const;
    void Show(const HistoryOutcome& outcome, bool reload);
    void Take();
    void CompareWithNow();
    void CompareTwo();
    void Drift();
    void Restore();

    HistoryPane pane_;
    LineWork& work_;
    QLabel* title_;
    QTreeWidget* list_;
    QLineEdit* note_;
    QPushButton* take_;
    QPushButton* compareNow_;
    QPushButton* compareTwo_;
    QPushButton* drift_;
    QComboBox* what_;
    QPushButton* restore_;
    QPlainTextEdit* result_;
};

}  // namespace ombrix::gui
