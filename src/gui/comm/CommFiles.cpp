#include "gui/comm/CommFiles.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>

namespace ombrix::gui {
namespace {

// Room for every column of the folder list (name, size, type, date) inside the frame.
int Exec(QFileDialog& dialog, QWidget* parent) {
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setViewMode(QFileDialog::Detail);
    // The name takes what the others leave; size, type and date keep their whole texts.
    if (auto* list = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (parent) {
        const QSize frame = parent->window()->size();
        dialog.resize(std::max(std::min(frame.width() - 40, 880), dialog.sizeHint().width()),
                      std::max(std::min(frame.height() - 40, 520), dialog.sizeHint().height()));
    }
    return dialog.exec();
}

}  // namespace

QString PickFile(QWidget* parent, FileAsk ask) {
    QFileDialog dialog(parent);
    if (ask == FileAsk::SaveGrouping || ask == FileAsk::LoadGrouping) {
        const bool saveGroups = ask == FileAsk::SaveGrouping;
        dialog.setWindowTitle(saveGroups ? QStringLiteral("Save grouping") : QStringLiteral("Load grouping"));
        dialog.setNameFilter(QStringLiteral("Grouping files (*.json)"));
        dialog.setDefaultSuffix(QStringLiteral("json"));
        dialog.setAcceptMode(saveGroups ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(saveGroups ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (Exec(dialog, parent) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
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
    if (Exec(dialog, parent) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace ombrix::gui
