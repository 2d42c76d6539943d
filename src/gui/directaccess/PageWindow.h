#pragma once
// An adjustment page ("CTRLDIALOGBOX"): per slot the minimum, four step buttons, the
// maximum and the value, and the "Step  :" list.
#include <QWidget>
#include <array>

#include "core/app/Program.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QToolButton;

namespace ombrix::gui {

class InfoStrip;

class PageWindow : public QWidget {
    Q_OBJECT
public:
    PageWindow(ProgramState& state, int page, InfoStrip* strip, QWidget* parent = nullptr);

    // The slot's button (0 minus step, 1 minus one, 2 plus one, 3 plus step).
    QToolButton* Button(int slot, int button) const;
    QLineEdit* ValueField(int slot) const;
    QLineEdit* MinField(int slot) const;
    QLineEdit* MaxField(int slot) const;
    QComboBox* StepList() const { return stepList_; }

signals:
    void initialised();

private:
    struct Row {
        std::array<QToolButton*, 4> buttons{};
        QLineEdit* value = nullptr;
        QLineEdit* min = nullptr;
        QLineEdit* max = nullptr;
    };
    void Initialise();
    void Press(int slot, int button);

    ProgramState& state_;
    int page_;
    InfoStrip* strip_;
    QGroupBox* frame_ = nullptr;
    QComboBox* stepList_ = nullptr;
    std::array<Row, 6> rows_{};
};

}  // namespace ombrix::gui
