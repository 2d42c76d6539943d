#pragma once
// While a command runs on the line, the windows keep painting but take no input: mouse
// and keyboard input is dropped (not queued for later) unless it is meant for the modal
// box on top, such as the progress box or a message box the command shows. Ctrl+Break
// anywhere calls onBreak.
#include <QObject>
#include <functional>

namespace ombrix::gui {

// A window with this property set to true gets its close box even while input is held:
// it decides itself what a close means then.
inline constexpr char kCloseDuringHold[] = "ombrixCloseDuringHold";

class InputHold : public QObject {
    Q_OBJECT
public:
    explicit InputHold(std::function<void()> onBreak = {});
    ~InputHold() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Whether input is being held now (GUI thread).
    static bool Active();

private:
    std::function<void()> onBreak_;
};

}  // namespace ombrix::gui
