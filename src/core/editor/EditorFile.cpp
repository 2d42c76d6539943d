#include "editor/EditorFile.h"

#include <vector>

#include "platform/Files.h"

namespace ombrix {
namespace {

void Report(const Env& env, const char* format, const std::string& name, BoxIcon icon) {
    if (!env.ui) return;
    std::string text = format;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    env.ui->ShowBox(kEditorCaption, text, icon);
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool ReadTextFile(const Env& env, EditorDocument& doc, EditPane& pane, const std::string& path) {
    std::vector<uint8_t> bytes;
    SysError error;
    if (!ReadWholeFile(path, &bytes, &error)) {
        Report(env, "Error reading %s.", path, BoxIcon::None);
        return false;
    }
    pane.SetFileBytes(std::string(bytes.begin(), bytes.end()));
    pane.SetModified(false);
    doc.title = path;
    doc.filenameSet = true;
    doc.lastDirectory = DirectoryOf(path);
    return true;
}

bool WriteTextFile(const Env& env, EditorDocument& doc, EditPane& pane) {
    AtomicFileWriter writer;
    SysError error;
    if (!writer.Open(doc.title, &error)) {
        Report(env, "Cannot write to %s.", doc.title, BoxIcon::Exclamation);
        return false;
    }
    const std::string text = pane.FileBytes();
    writer.Append(std::vector<uint8_t>(text.begin(), text.end()));
    if (!writer.Commit(&error)) {
        Report(env, "Error writing to %s.", doc.title, BoxIcon::Stop);
        return false;
    }
    pane.SetModified(false);
    return true;
}

bool SaveTextAs(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath) {
    std::string path;
    if (!pickSavePath || !pickSavePath(&path) || path.empty()) return false;
    const std::string previous = doc.title;
    doc.title = path;
    doc.lastDirectory = DirectoryOf(path);
    if (!WriteTextFile(env, doc, pane)) {
        doc.title = previous;
        return false;
    }
    doc.filenameSet = true;
    return true;
}

bool SaveText(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath) {
    if (!doc.filenameSet) return SaveTextAs(env, doc, pane, pickSavePath);
    if (!pane.Modified()) return true;
    return WriteTextFile(env, doc, pane);
}

int QuerySaveChanges(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath) {
    if (!pane.Modified()) return 1;
    if (!env.ui) return 0;
    const int answer = env.ui->Choose("SAVEQUESTION", kEditorCaption, "Save current changes? " + doc.title,
                                      {{kAnswerYes, "&Yes"}, {kAnswerNo, "&No"}, {kAnswerCancel, "Cancel"}},
                                      kAnswerYes, kAnswerCancel);
    if (answer == kAnswerNo) return 1;
    if (answer == kAnswerYes) return SaveText(env, doc, pane, pickSavePath) ? 1 : 0;
    return 0;
}

namespace {

bool StartAfresh(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath,
                 const char* title) {
    if (!QuerySaveChanges(env, doc, pane, pickSavePath)) return false;
    pane.ClearText();
    pane.SetModified(false);
    doc.title = title;
    // The next Save must ask for a name, not overwrite the previous file.
    doc.filenameSet = false;
    return true;
}

}  // namespace

bool NewText(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath) {
    return StartAfresh(env, doc, pane, pickSavePath, kNewTextTitle);
}

bool CloseText(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath) {
    return StartAfresh(env, doc, pane, pickSavePath, kNoTextTitle);
}

bool EditorCommandEnabled(int commandId, const EditorFacts& f) {
    // Without the editing pane (outside the text view) there is nothing to act on.
    if (!f.hasPane) return false;
    switch (commandId) {
        case 1104:
            return f.clipboardHasText;
        case 1101:
            return f.canUndo;
        case 1102:
        case 1103:
        case 1105:
            return f.hasSelection;
        case 1003:
            return f.modified;
        case 1004:
        case 1006:
        case 1201:
        case 1204:
            return !f.textEmpty;
        case 1202:
        case 1203:
            return f.searchStringExists;
        default:
            return true;
    }
}

}  // namespace ombrix
