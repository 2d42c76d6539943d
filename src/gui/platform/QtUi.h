#pragma once
// Boxes, questions, the progress box and the tip window of the program as Qt widgets.
// Worker threads may call in: a box is then shown by the GUI thread while the caller
// waits for the answer; progress and tip lines are handed over without waiting.
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <atomic>
#include <memory>

#include "core/platform/Ui.h"

class QMessageBox;
class QObject;
class QWidget;

namespace ombrix::gui {

class ProgressBox;
class ThreadTipBox;

// The message-box icon of a box of the program.
QMessageBox::Icon QtIcon(BoxIcon icon);

class QtUi final : public Ui {
public:
    // On the GUI thread, once the application object exists.
    QtUi();
    ~QtUi() override;

    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
    int Choose(const std::string& dialog, const std::string& caption, const std::string& text,
               const std::vector<std::pair<int, std::string>>& buttons, int defaultId, int cancelId) override;

    void ProgressOpen(const std::string& title, const std::string& note, int range) override;
    void ProgressLine(int line, const std::string& text) override;
    void ProgressStep() override;
    bool ProgressCancelled() override { return cancelled_.load(); }
    void ProgressClose() override;

    void TipLine(int line, const std::string& text) override;
    void TipCountdown(int secondsLeft, int stepsDone, int total) override;

    // The window the progress box is centred over.
    void SetOwner(QWidget* owner) { owner_ = owner; }
    // The open communication window's tip window; nullptr when there is none.
    void SetTipBox(ThreadTipBox* tip);
    // What Cancel and Ctrl+Break do.
    void CancelProgress() { cancelled_ = true; }
    ProgressBox* OpenProgressBox() const;
    // The program is ending (GUI thread): open boxes close, a worker's question answered
    // No, and later boxes of workers and plain notices are not shown. Questions of the
    // GUI thread itself are still asked.
    void EndBoxes();
    // The ending was called off: boxes show again.
    void ResumeBoxes() { ending_ = false; }

private:
    template <typename Fn>
    void Post(Fn fn);
    int RunBox(int icon, const std::string& caption, const std::string& text, int buttons, int defaultButton,
               bool fromWorker);

    // Work handed over from other threads is dropped once this object is gone.
    std::unique_ptr<QObject> context_;
    std::atomic<bool> cancelled_{false};
    QPointer<QWidget> owner_;
    QPointer<ProgressBox> progress_;
    QPointer<ThreadTipBox> tip_;
    // GUI thread only.
    struct OpenBox {
        QPointer<QMessageBox> box;
        bool dismissable;
    };
    QList<OpenBox> boxes_;
    bool ending_ = false;
};

}  // namespace ombrix::gui
