#pragma once
// While a command runs on the line, the windows keep painting but take no input: mouse
// and keyboard input is dropped (not queued for later) unless it is meant for the modal
// box on top, such as the progress box or a message box the command shows. Ctrl+Break
// anywhere calls onBreak.
#include <QObject>
#include <functional>

namespace ombrix::gui {

class InputHold : public QObject {
    Q_OBJECT
public:
    explicit InputHold(std::function<void()> onBreak = {});
    ~InputHold() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onBreak_;
};

}  // namespace ombrix::gui
