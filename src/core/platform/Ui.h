#pragma once
// Everything the program shows or asks goes through here: Qt dialogs in the window,
// standard error in the command-line tool, a recorder in tests.
#include <string>
#include <utility>
#include <vector>

namespace ombrix {

enum class BoxIcon { None, Stop, Exclamation, Information, Question };

class Ui {
public:
    virtual ~Ui() = default;
    // A modal box with an OK button.
    virtual void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) = 0;
    // A "Confirmation"-style box; true for Yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
    // A box whose own text stays as it is, with what the system said about the failure
    // (the file, the reason) as its detail.
    virtual void ShowBoxDetail(const std::string& caption, const std::string& text, BoxIcon icon,
                               const std::string& detail) {
        ShowBox(caption, detail.empty() ? text : text + "\n" + detail, icon);
    }
    // A modal dialog of several buttons (COPYBOX, DELETEBOX): the id of the button pressed.
    // buttons are (id, label) in their order; defaultId has the focus; cancelId is what
    // closing the dialog means. Without a window to ask in the answer is cancelId, so
    // nothing is changed.
    virtual int Choose(const std::string& dialog, const std::string& caption, const std::string& text,
                       const std::vector<std::pair<int, std::string>>& buttons, int defaultId, int cancelId) {
        (void)dialog, (void)caption, (void)text, (void)buttons, (void)defaultId;
        return cancelId;
    }

    // The progress box of a long operation on the line (the search). While it is open
    // the rest of the window takes no input; its Cancel button and Ctrl+Break set the
    // flag that ProgressCancelled reports.
    virtual void ProgressOpen(const std::string& title, const std::string& note, int range) {
        (void)title, (void)note, (void)range;
    }
    virtual void ProgressLine(int line, const std::string& text) { (void)line, (void)text; }
    virtual void ProgressStep() {}
    virtual bool ProgressCancelled() { return false; }
    virtual void ProgressClose() {}

    // The background check's tip window: lines 1-3, and the countdown to the next check
    // (total 0 hides the countdown). Called from worker threads.
    virtual void TipLine(int line, const std::string& text) { (void)line, (void)text; }
    virtual void TipCountdown(int secondsLeft, int stepsDone, int total) {
        (void)secondsLeft, (void)stepsDone, (void)total;
    }
};

}  // namespace ombrix
