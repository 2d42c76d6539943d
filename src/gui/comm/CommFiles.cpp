#include "gui/comm/CommFiles.h"

#include <QFileDialog>

namespace ombrix::gui {

QString PickFile(QWidget* parent, FileAsk ask) {
    QFileDialog dialog(parent);
    if (ask == FileAsk::SaveGrouping || ask == FileAsk::LoadGrouping) {
        const bool saveGroups = ask == FileAsk::SaveGrouping;
        dialog.setWindowTitle(saveGroups ? QStringLiteral("Save grouping") : QStringLiteral("Load grouping"));
        dialog.setNameFilter(QStringLiteral("Grouping files (*.json)"));
        dialog.setDefaultSuffix(QStringLiteral("json"));
        dialog.setAcceptMode(saveGroups ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(saveGroups ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setWindowModality(Qt::WindowModal);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }
    dialog.setOption(QFileDialog::ReadOnly, false);
    const bool listing = ask == FileAsk::Listing;
    const bool save = ask == FileAsk::SaveSettings || listing;
    dialog.setWindowTitle(listing ? QStringLiteral("Converting Listview To Text")
                          : ask == FileAsk::SaveSettings ? QStringLiteral("Save Settings")
                                                         : QStringLiteral("Load Settings"));
    dialog.setNameFilter(listing ? QStringLiteral("Text Files (*.TXT)") : QStringLiteral("Setting Files (*.SET)"));
    dialog.setDefaultSuffix(listing ? QStringLiteral("txt") : QStringLiteral("set"));
    // A file saved may be new, in a folder that exists; a file loaded must exist.
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace ombrix::gui
