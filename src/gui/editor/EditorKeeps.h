#pragma once
// What the editor keeps for the whole process rather than for one pane: a pane lives
// only while the explorer shows Managing Textfiles, the user's choices outlive it.
#include <QFont>
#include <QPrinter>
#include <memory>
#include <optional>
#include <string>

#include "core/editor/TextSearch.h"

namespace ombrix::gui {

struct EditorKeeps {
    std::u16string findString;
    std::u16string replaceString;
    SearchFlags searchFlags;
    // Where the open and save dialogs start; empty until first used.
    std::string lastDirectory;
    // The font chosen in the Font dialog; none until one was chosen.
    std::optional<QFont> font;
    // Set up by Print or Print setup, then kept between print jobs.
    std::unique_ptr<QPrinter> printer;
};

}  // namespace ombrix::gui
