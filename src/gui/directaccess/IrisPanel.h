#pragma once
// The IRIS panel: touch up, autoconvergence and focus, the exit button, and two lines
// that follow the command on the projector.
#include <QWidget>
#include <memory>

#include "core/app/Program.h"

class QLabel;
class QPushButton;

namespace ombrix {
class IrisControl;
}

namespace ombrix::gui {

class IrisPanel : public QWidget {
    Q_OBJECT
public:
    explicit IrisPanel(ProgramState& state, QWidget* parent = nullptr);
    // Stops the worker first: it ends without touching this panel.
    ~IrisPanel() override;

    QLabel* InfoLine(int line) const { return line == 1 ? line1_ : line2_; }
    QPushButton* ExitButton() const { return exit_; }
    const IrisControl& Control() const { return *iris_; }

private:
    void Run(int action);
    void Exit();

    ProgramState& state_;
    std::unique_ptr<IrisControl> iris_;
    QLabel* line1_ = nullptr;
    QLabel* line2_ = nullptr;
    QPushButton* exit_ = nullptr;
};

}  // namespace ombrix::gui
