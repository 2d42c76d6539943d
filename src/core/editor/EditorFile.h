#pragma once
// The editing pane's file: New, Open, Save, Save as, Close and the unsaved-changes
// question. The pane itself belongs to the window; it is reached through EditPane, and
// the file dialogs through the callbacks the window passes in.
#include <functional>
#include <string>

#include "editor/TextSearch.h"
#include "platform/Env.h"

namespace ombrix {

constexpr const char* kEditorCaption = "OBX";
constexpr const char* kNewTextTitle = "new.txt";
constexpr const char* kNoTextTitle = "   ";
constexpr const char* kTextFileFilter = "Text File(*.TXT)|*.txt|All Files(*.*)|*.*|";

class EditPane {
public:
    virtual ~EditPane() = default;
    // The text as the file holds it, and back.
    virtual std::string FileBytes() const = 0;
    virtual void SetFileBytes(const std::string& bytes) = 0;
    virtual void ClearText() = 0;
    virtual bool Modified() const = 0;
    virtual void SetModified(bool modified) = 0;
};

struct EditorDocument {
    // The file name as the title pane shows it.
    std::string title = kNoTextTitle;
    // Set once the text was read from or written to a named file; without it Save asks
    // for a name.
    bool filenameSet = false;
    // Where the open and save dialogs start; empty until first used.
    std::string lastDirectory;

    std::u16string findString;
    std::u16string replaceString;
    SearchFlags searchFlags;
};

// The save dialog: true with the chosen path, false when it was cancelled.
using PickPath = std::function<bool(std::string* path)>;

// The answers of "Save current changes? %s".
enum SaveAnswer { kAnswerYes = 6, kAnswerNo = 7, kAnswerCancel = 2 };

// Reads the file into the pane; "Error reading %s." keeps what could be read.
bool ReadTextFile(const Env& env, EditorDocument& doc, EditPane& pane, const std::string& path);
// Writes the pane's text to the file named by the title, atomically; a failure keeps the
// modified flag, so the text is asked about again.
bool WriteTextFile(const Env& env, EditorDocument& doc, EditPane& pane);

bool SaveText(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath);
bool SaveTextAs(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath);

// 1 when the text may be dropped, 0 when the user cancelled. A Yes whose save fails or
// whose name is not given keeps the text as well: dropping it would lose it unsaved.
int QuerySaveChanges(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath);

// New and Close start afresh only once the old text may be dropped; false otherwise.
bool NewText(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath);
bool CloseText(const Env& env, EditorDocument& doc, EditPane& pane, const PickPath& pickSavePath);

// The directory part of a path ("" without one).
std::string DirectoryOf(const std::string& path);

// What the menus and the toolbar of the editor depend on.
struct EditorFacts {
    bool hasPane = false;
    bool clipboardHasText = false;
    bool canUndo = false;
    bool hasSelection = false;
    bool modified = false;
    bool textEmpty = true;
    bool searchStringExists = false;
};

// Whether an editor command (1001-1007, 1101-1105, 40001, 40002, 1201-1204) is enabled.
bool EditorCommandEnabled(int commandId, const EditorFacts& facts);

}  // namespace ombrix
