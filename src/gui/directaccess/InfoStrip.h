#pragma once
// The information strip at the bottom of every direct-access window: projector
// selection, source, mode, and the progress of the long operations.
#include <QWidget>

#include "core/directaccess/DirectAccess.h"

class QLabel;
class QProgressBar;

namespace ombrix::gui {

class InfoStrip : public QWidget {
    Q_OBJECT
public:
    InfoStrip(const ProgramState& state, const char* noSource, QWidget* parent = nullptr);

    void SetSource(const QString& text);
    void SetSelection(const QString& text);
    void SetMode(int compareMode);
    void Begin(int range, const QString& text);
    void Step();
    void End();
    QString ProgressText() const;
    // What the last command on a group came to, shown once the strip has caught up with
    // the command's own progress; nothing after a command on one projector.
    void ShowOutcome(const std::vector<MemberOutcome>& members);

    // Hooks for work on another thread: the strip is updated on its own thread, and not
    // at all once it is gone. changed runs there too.
    ProgressHooks Hooks(std::function<void(uint8_t)> changed = {});

private:
    QLabel* selection_ = nullptr;
    QLabel* source_ = nullptr;
    QLabel* mode_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* text_ = nullptr;
};

}  // namespace ombrix::gui
