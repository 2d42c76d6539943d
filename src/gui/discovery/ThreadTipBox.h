#pragma once
// The background check's tip window: three lines of what the check is doing and, between
// checks, the seconds left with a bar that fills up to the next check.
#include <QFrame>

class QLabel;
class QProgressBar;

namespace ombrix::gui {

class LiveLabel;

class ThreadTipBox : public QFrame {
    Q_OBJECT
public:
    explicit ThreadTipBox(QWidget* parent = nullptr);

    // Lines 1-3; other numbers are ignored.
    void SetLine(int line, const QString& text);
    // total 0 ends the countdown: bar hidden, number and words blank.
    void SetCountdown(int secondsLeft, int stepsDone, int total);

private:
    LiveLabel* lines_[3] = {};
    LiveLabel* seconds_ = nullptr;
    LiveLabel* secondsWords_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace ombrix::gui
