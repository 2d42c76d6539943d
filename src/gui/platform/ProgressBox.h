#pragma once
// The progress box of a long operation on the line: a bar, two lines of text, a fixed
// note and Cancel. Cancel and Ctrl+Break ask the operation to stop; the box itself stays
// until the operation closes it.
#include <QDialog>
#include <functional>

class QKeyEvent;
class QLabel;
class QProgressBar;

namespace ombrix::gui {

class LiveLabel;

// Ctrl+Break, whichever key code the keyboard gives for it.
bool IsCancelKey(const QKeyEvent& event);
// How wide a top-level window must be for a window manager to show this title whole
// beside its buttons.
int WidthForTitle(const QString& title);

class ProgressBox : public QDialog {
    Q_OBJECT
public:
    ProgressBox(const QString& title, const QString& note, int range, std::function<void()> onCancel,
                QWidget* parent = nullptr);

    void SetLine(int line, const QString& text);
    void Step();

    // Escape and the close box do not end the operation behind the box.
    void reject() override {}

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> onCancel_;
    QProgressBar* bar_ = nullptr;
    LiveLabel* lines_[2] = {};
};

}  // namespace ombrix::gui
