#pragma once
// The comparison of the edited block with the reference block, shown in the settings
// pane in place of its fields: filled once, 100 ms after it opens.
#include <QWidget>
#include <functional>

#include "core/app/Program.h"
#include "core/blocks/ListToText.h"
#include "core/directaccess/SettingsPane.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace ombrix::gui {

class ListTableModel;

class BlockComparisonView : public QWidget {
public:
    // onBack runs for "<< Back"; the pane outlives this view. While paneBusy() is true a
    // step of the pane is on the line and the fill waits for it.
    BlockComparisonView(ProgramState& state, const SettingsPane& pane, std::function<bool()> paneBusy,
                        std::function<void()> onBack, QWidget* parent);
    ~BlockComparisonView() override;

    // Fills the list now (the timer does it otherwise); false after error 44.
    bool Fill();
    bool Filled() const { return filled_; }
    const ListModel& List() const { return list_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ConvertToText();
    void FillWhenIdle();

    ProgramState& state_;
    const SettingsPane& pane_;
    std::function<bool()> paneBusy_;
    ListModel list_;
    bool filled_ = false;
    ListTableModel* model_;
    QTreeView* view_;
    QProgressBar* progress_;
    QLabel* progressText_;
    QPushButton* back_;
    QPushButton* convert_;
};

}  // namespace ombrix::gui
