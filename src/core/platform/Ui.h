#pragma once
// Everything the program shows or asks goes through here: Qt dialogs in the window,
// standard error in the command-line tool, a recorder in tests.
#include <string>

namespace ombrix {

enum class BoxIcon { None, Stop, Exclamation, Information, Question };

class Ui {
public:
    virtual ~Ui() = default;
    // A modal box with an OK button.
    virtual void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) = 0;
    // A "Confirmation"-style box; true for Yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
};

}  // namespace ombrix
