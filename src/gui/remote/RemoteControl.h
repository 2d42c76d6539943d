#pragma once
#include <QImage>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "core/app/Program.h"
#include "core/remote/RemoteKeys.h"

namespace ombrix::gui {

class QtUi;

// Opens one more remote-control window aimed at the current address. projectorsChanged
// is called after a key changed what the program knows of the projectors (the tree
// follows it).
void OpenRemoteControl(ProgramState& state, QtUi* ui, QWidget* frame, std::function<void()> projectorsChanged);
// Closes every remote-control window (the program is ending).
void CloseAllRemoteControls();

// Closes these windows, in this order; one whose key is still at work on the line is
// stopped and waited for first.
void CloseRemoteControls(const std::vector<int>& ids);

// The windows' table, shared by all of them.
RemoteWindowTable& RemoteControlTable();
// A window is going: its entry leaves the table; the last one frees the key pictures.
void RemoteControlGone(int id);
// A key's pictures, normal and pressed, loaded once for every window; null without them.
std::pair<QImage, QImage> RemoteKeyImages(Library* images, int control);

}  // namespace ombrix::gui
