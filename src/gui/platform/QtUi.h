#pragma once
// Boxes and questions of the program as Qt message boxes. Worker threads may call in:
// the box is then shown by the GUI thread while the caller waits for the answer.
#include "core/platform/Ui.h"

namespace ombrix::gui {

class QtUi final : public Ui {
public:
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
};

}  // namespace ombrix::gui
