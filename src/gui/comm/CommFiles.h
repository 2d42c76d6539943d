#pragma once
// The file dialogs of the communication window: settings files for saving, loading and
// appending the RAM container, and the text file a listing goes to.
#include <QString>
#include <functional>

class QWidget;

namespace ombrix::gui {

enum class FileAsk { SaveSettings, LoadSettings, AppendSettings, Listing, SaveGrouping, LoadGrouping };

// The path chosen, empty when the dialog ended without one.
using FilePicker = std::function<QString(QWidget* parent, FileAsk ask)>;

QString PickFile(QWidget* parent, FileAsk ask);

}  // namespace ombrix::gui
