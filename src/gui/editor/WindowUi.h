#pragma once
// The program's Ui, with its boxes and questions modal to one window and centred on it.
#include <QPointer>
#include <QWidget>

#include "core/platform/Ui.h"

namespace ombrix::gui {

class WindowUi final : public Ui {
public:
    WindowUi(Ui& base, QWidget* owner) : base_(base), owner_(owner) {}

    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
    int Choose(const std::string& dialog, const std::string& caption, const std::string& text,
               const std::vector<std::pair<int, std::string>>& buttons, int defaultId, int cancelId) override;

    void ProgressOpen(const std::string& title, const std::string& note, int range) override {
        base_.ProgressOpen(title, note, range);
    }
    void ProgressLine(int line, const std::string& text) override { base_.ProgressLine(line, text); }
    void ProgressStep() override { base_.ProgressStep(); }
    bool ProgressCancelled() override { return base_.ProgressCancelled(); }
    void ProgressClose() override { base_.ProgressClose(); }
    void TipLine(int line, const std::string& text) override { base_.TipLine(line, text); }
    void TipCountdown(int secondsLeft, int stepsDone, int total) override {
        base_.TipCountdown(secondsLeft, stepsDone, total);
    }

private:
    Ui& base_;
    QPointer<QWidget> owner_;
};

}  // namespace ombrix::gui
