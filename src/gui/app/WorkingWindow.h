#pragma once
// What the frame asks of the windows it hosts: the communication and explorer windows,
// and the views inside them that take commands of the frame's menus.
#include <QString>
#include <functional>

namespace ombrix::gui {

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // True when the command was taken here; the frame handles or ignores the rest.
    virtual bool HandleCommand(int commandId) = 0;
    // Menu and toolbar states, asked whenever a menu opens.
    virtual bool CommandEnabled(int commandId) const {
        (void)commandId;
        return true;
    }
    // Asked before the window closes (Close all, Exit, the session ending); false keeps
    // everything open, as when the user cancels a save question.
    virtual bool QueryClose() { return true; }

    // Set by the frame: shows a text in one part of its status bar (0 = the first).
    std::function<void(int part, const QString& text)> showStatus;
};

}  // namespace ombrix::gui
