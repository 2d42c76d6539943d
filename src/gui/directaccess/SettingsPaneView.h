#pragma once
// The settings pane of one parameter group of the adjustment block: the fields in their
// "Settings" frame, the "Control" column, the control panel and "&Save" / "&Restore", or
// the comparison with the reference block in place of the fields. Destroying it saves
// the block.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/app/Program.h"
#include "core/directaccess/SettingsPane.h"
#include "gui/directaccess/BlockComparisonView.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QAbstractButton;
class QCheckBox;
class QRadioButton;
class QScrollBar;

namespace ombrix::gui {

class SettingsPaneView : public QWidget {
public:
    // Opens the group at this position 10 ms after it is shown; until it is open, a line
    // says what is being read (name: the group's).
    SettingsPaneView(ProgramState& state, int position, QWidget* parent, const QString& name = {});
    ~SettingsPaneView() override;

    // Opens now if the timer has not yet done it.
    void OpenNow();
    const SettingsPane& Pane() const { return pane_; }
    BlockComparisonView* Comparison() const { return comparison_; }
    bool Opened() const { return opened_ && !busy_; }
    QLabel* ReadingLine() const { return reading_; }
    // Called once the opening is over, whatever it found.
    std::function<void()> whenOpened;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Runs a step of the pane that may talk to the projector, then shows the pane again.
    void OnLine(const std::function<void()>& step);
    void BuildControlColumn();
    void AddChoice(QButtonGroup* group, const char* text, int id, int row);
    void Sync();
    void SyncFields(const PaneLayout& layout);
    void SyncControl(const PaneLayout& layout, int shift);
    int ControlFrameWidth(const PaneLayout& layout) const;
    void SetMode(PaneMode mode);

    ProgramState& state_;
    int position_;
    bool opened_ = false;
    bool busy_ = false;
    SettingsPane pane_;
    int charWidth_ = 0, lineHeight_ = 0, rowHeight_ = 0, captionWidth_ = 0;

    QGroupBox* settingsFrame_;
    QGroupBox* controlFrame_;
    std::vector<QLabel*> labels_;
    std::vector<QLineEdit*> fields_;
    std::vector<int> fieldIds_;
    std::vector<QLabel*> rowCaptions_;
    std::vector<std::vector<QAbstractButton*>> rowChoices_;
    QButtonGroup* modeGroup_ = nullptr;
    QButtonGroup* colourGroup_ = nullptr;
    QButtonGroup* directionGroup_ = nullptr;
    QCheckBox* toggle_ = nullptr;
    QGroupBox* panelFrame_;
    QLineEdit* minField_;
    QLineEdit* maxField_;
    QScrollBar* bar_;
    QPushButton* save_;
    QPushButton* restore_;
    QPointer<BlockComparisonView> comparison_;
    QLabel* reading_ = nullptr;
};

}  // namespace ombrix::gui
