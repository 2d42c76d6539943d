#pragma once
// The editing pane of the explorer window: a plain-text edit with its file, the Edit and
// Search commands, the font and printing. The rules live in core/editor.
#include <QPlainTextEdit>
#include <QPointer>
#include <functional>
#include <memory>

#include "core/editor/EditorFile.h"
#include "core/platform/Env.h"
#include "gui/editor/EditorKeeps.h"
#include "gui/editor/FindDialog.h"

class QPrinter;

namespace ombrix::gui {

class EditorPane : public QPlainTextEdit, public EditPane {
    Q_OBJECT
public:
    // keeps: what outlives the pane (find strings, font, printer, folder); the pane
    // keeps its own when given none.
    EditorPane(const Env& env, QWidget* parent = nullptr, std::shared_ptr<EditorKeeps> keeps = nullptr);
    ~EditorPane() override;

    // The file dialogs; tests put answers of their own here. Each returns false when
    // cancelled.
    std::function<bool(std::string* path)> pickOpenPath;
    std::function<bool(std::string* path)> pickSavePath;

    EditorDocument& Document() { return doc_; }
    QString Title() const { return QString::fromStdString(doc_.title); }

    // The editor's commands of the frame (1001-1007, 1101-1105, 40001, 40002, 1201-1204).
    bool RunCommand(int commandId);
    bool CommandEnabled(int commandId) const;
    // 0 when the user cancelled the save question, 1 otherwise.
    int QuerySave();

    bool OpenFile(const std::string& path);
    // One search step from the selection; false (and, unless silent, a box) without a match.
    bool Search(bool down, bool silent);
    int ReplaceAllMatches();
    // The print job on a printer that is set up already; the pages sent, or -1.
    int PrintOn(QPrinter& printer);
    FindDialog* OpenFindDialog() const { return find_; }

    // EditPane
    std::string FileBytes() const override;
    void SetFileBytes(const std::string& bytes) override;
    void ClearText() override;
    bool Modified() const override;
    void SetModified(bool modified) override;

signals:
    // The title (the file name) changed.
    void titleChanged(const QString& title);
    // A state the menus depend on changed.
    void statesChanged();

private:
    void ShowFindDialog(bool replace);
    void TakeDialogState();
    void ChooseFont();
    void Print();
    void PrintSetup();
    bool Open();
    void AfterFileCommand();
    void NameAfterFile();
    std::string DialogDirectory();

    Env env_;
    EditorDocument doc_;
    bool utf8_ = true;
    bool crlf_ = false;
    QPointer<FindDialog> find_;
    std::shared_ptr<EditorKeeps> keeps_;
    QPrinter& Printer();
};

}  // namespace ombrix::gui
