#include "gui/editor/EditorPane.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>

#include "gui/editor/FindDialog.h"
#include "gui/editor/TextPrinter.h"

namespace ombrix::gui {
namespace {

constexpr int kNew = 1001, kOpen = 1002, kSave = 1003, kSaveAs = 1004, kClose = 1005, kPrint = 1006,
              kPrintSetup = 1007;
constexpr int kUndo = 1101, kCut = 1102, kCopy = 1103, kPaste = 1104, kDelete = 1105, kSelectAll = 40001,
              kFont = 40002;
constexpr int kFind = 1201, kFindNext = 1202, kFindPrevious = 1203, kReplace = 1204;

// The names as the program shows them; the patterns after them match either case.
const QStringList kFilters = {QStringLiteral("Text File(*.TXT) (*.txt *.TXT)"), QStringLiteral("All Files(*.*) (*)")};

bool PickFile(QWidget* parent, bool save, const std::string& directory, std::string* path) {
    QFileDialog dialog(parent, save ? QStringLiteral("Save As") : QStringLiteral("Open"),
                       QString::fromStdString(directory));
    dialog.setNameFilters(kFilters);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    *path = dialog.selectedFiles().first().toStdString();
    return true;
}

QFont DefaultFont() {
    QFont font(QStringLiteral("Courier New"), 10);
    // Where that face is missing, the closest fixed-pitch one.
    font.setStyleHint(QFont::Monospace, QFont::PreferMatch);
    font.setFixedPitch(true);
    return font;
}

}  // namespace

EditorPane::EditorPane(const Env& env, QWidget* parent, std::shared_ptr<EditorKeeps> keeps)
    : QPlainTextEdit(parent), env_(env), keeps_(keeps ? std::move(keeps) : std::make_shared<EditorKeeps>()) {
    setObjectName(QStringLiteral("editor"));
    verticalScrollBar()->setAccessibleName(QStringLiteral("Vertical scroll bar"));
    horizontalScrollBar()->setAccessibleName(QStringLiteral("Horizontal scroll bar"));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFrameShadow(QFrame::Sunken);
    setFont(keeps_->font.value_or(DefaultFont()));
    doc_.findString = keeps_->findString;
    doc_.replaceString = keeps_->replaceString;
    doc_.searchFlags = keeps_->searchFlags;
    doc_.lastDirectory = keeps_->lastDirectory;
    doc_.title = kNewTextTitle;
    NameAfterFile();
    pickOpenPath = [this](std::string* path) { return PickFile(this, false, DialogDirectory(), path); };
    pickSavePath = [this](std::string* path) { return PickFile(this, true, DialogDirectory(), path); };
    connect(this, &QPlainTextEdit::modificationChanged, this, &EditorPane::statesChanged);
    connect(this, &QPlainTextEdit::selectionChanged, this, &EditorPane::statesChanged);
    connect(this, &QPlainTextEdit::undoAvailable, this, &EditorPane::statesChanged);
    connect(this, &QPlainTextEdit::textChanged, this, &EditorPane::statesChanged);
}

EditorPane::~EditorPane() {
    delete find_;
    keeps_->findString = doc_.findString;
    keeps_->replaceString = doc_.replaceString;
    keeps_->searchFlags = doc_.searchFlags;
    keeps_->lastDirectory = doc_.lastDirectory;
}

QPrinter& EditorPane::Printer() {
    if (!keeps_->printer) keeps_->printer = std::make_unique<QPrinter>();
    return *keeps_->printer;
}

std::string EditorPane::DialogDirectory() {
    if (doc_.lastDirectory.empty()) doc_.lastDirectory = QDir::currentPath().toStdString();
    return doc_.lastDirectory;
}

std::string EditorPane::FileBytes() const {
    QString text = toPlainText();
    if (crlf_) text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return utf8_ ? text.toUtf8().toStdString() : text.toLatin1().toStdString();
}

void EditorPane::SetFileBytes(const std::string& bytes) {
    const QByteArray raw = QByteArray::fromStdString(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(raw);
    // Text that is not UTF-8 is taken byte for byte, and written back the same way.
    utf8_ = !decoder.hasError();
    if (!utf8_) text = QString::fromLatin1(raw);
    crlf_ = text.contains(QStringLiteral("\r\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(text);
}

void EditorPane::ClearText() {
    clear();
    utf8_ = true;
    crlf_ = false;
}

bool EditorPane::Modified() const { return document()->isModified(); }

void EditorPane::SetModified(bool modified) { document()->setModified(modified); }

int EditorPane::QuerySave() {
    const int answer = QuerySaveChanges(env_, doc_, *this, pickSavePath);
    AfterFileCommand();
    return answer;
}

void EditorPane::NameAfterFile() {
    // A reader names the text by its file, as the title above it does; a closed text
    // (three blanks) is just the text.
    const QString title = Title().trimmed();
    setAccessibleName(title.isEmpty() ? QStringLiteral("Text") : title);
}

void EditorPane::AfterFileCommand() {
    NameAfterFile();
    emit titleChanged(Title());
    emit statesChanged();
}

bool EditorPane::OpenFile(const std::string& path) {
    const bool read = ReadTextFile(env_, doc_, *this, path);
    setReadOnly(false);
    AfterFileCommand();
    return read;
}

bool EditorPane::Open() {
    if (!QuerySaveChanges(env_, doc_, *this, pickSavePath)) return false;
    std::string path;
    if (!pickOpenPath || !pickOpenPath(&path)) return false;
    return OpenFile(path);
}

bool EditorPane::Search(bool down, bool silent) {
    SearchFlags flags = doc_.searchFlags;
    flags.down = down;
    const QTextCursor cursor = textCursor();
    const int at = SearchStep(toPlainText().toStdU16String(), doc_.findString, cursor.selectionStart(),
                              cursor.selectionEnd(), flags);
    if (at < 0) {
        if (!silent && env_.ui) {
            env_.ui->ShowBox("String not found", QString::fromStdU16String(doc_.findString).toStdString(),
                             BoxIcon::None);
        }
        return false;
    }
    QTextCursor match(document());
    match.setPosition(at);
    match.setPosition(at + static_cast<int>(doc_.findString.size()), QTextCursor::KeepAnchor);
    setTextCursor(match);
    if (!silent) ensureCursorVisible();
    return true;
}

int EditorPane::ReplaceAllMatches() {
    const QTextCursor remembered = textCursor();
    std::u16string text = toPlainText().toStdU16String();
    std::vector<int> positions;
    const int count = ReplaceAll(&text, doc_.findString, doc_.replaceString, doc_.searchFlags, &positions);
    // One edit, so one Undo takes all replacements back.
    QTextCursor edit(document());
    edit.beginEditBlock();
    const QString replacement = QString::fromStdU16String(doc_.replaceString);
    for (int at : positions) {
        edit.setPosition(at);
        edit.setPosition(at + static_cast<int>(doc_.findString.size()), QTextCursor::KeepAnchor);
        edit.insertText(replacement);
    }
    edit.endEditBlock();
    QTextCursor restore(document());
    const int end = static_cast<int>(text.size());
    restore.setPosition(std::min(remembered.anchor(), end));
    restore.setPosition(std::min(remembered.position(), end), QTextCursor::KeepAnchor);
    setTextCursor(restore);
    return count;
}

void EditorPane::TakeDialogState() {
    if (!find_) return;
    doc_.findString = find_->FindText().left(static_cast<int>(kFindStringSize) - 1).toStdU16String();
    doc_.replaceString = find_->ReplaceText().left(static_cast<int>(kFindStringSize) - 1).toStdU16String();
    doc_.searchFlags = find_->Flags();
    emit statesChanged();
}

void EditorPane::ShowFindDialog(bool replace) {
    if (find_ && find_->IsReplace() == replace) {
        find_->raise();
        find_->activateWindow();
        return;
    }
    if (find_) find_->close();
    find_ = new FindDialog(replace, QString::fromStdU16String(doc_.findString),
                           QString::fromStdU16String(doc_.replaceString), doc_.searchFlags, window());
    connect(find_, &FindDialog::findNext, this, [this] {
        TakeDialogState();
        Search(doc_.searchFlags.down, false);
    });
    connect(find_, &FindDialog::replaceOne, this, [this] {
        TakeDialogState();
        insertPlainText(QString::fromStdU16String(doc_.replaceString));
    });
    connect(find_, &FindDialog::replaceAll, this, [this] {
        TakeDialogState();
        ReplaceAllMatches();
    });
    find_->show();
}

void EditorPane::ChooseFont() {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font(), this, QStringLiteral("Font"));
    if (!ok) return;
    setFont(chosen);
    keeps_->font = chosen;
}

int EditorPane::PrintOn(QPrinter& printer) {
    TextToPrint text;
    text.title = Title();
    text.font = font();
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) text.lines << block.text();
    const QTextCursor cursor = textCursor();
    text.firstLine = document()->findBlock(cursor.selectionStart()).blockNumber();
    text.lastLine = document()->findBlock(cursor.selectionEnd()).blockNumber();
    return PrintText(env_, printer, text, window());
}

void EditorPane::Print() {
    QPrintDialog dialog(&Printer(), this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, textCursor().hasSelection());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted) return;
    PrintOn(Printer());
}

void EditorPane::PrintSetup() {
    QPageSetupDialog dialog(&Printer(), this);
    dialog.exec();
}

bool EditorPane::RunCommand(int commandId) {
    switch (commandId) {
        case kNew:
            NewText(env_, doc_, *this, pickSavePath);
            setReadOnly(false);
            AfterFileCommand();
            return true;
        case kOpen:
            Open();
            return true;
        case kSave:
            SaveText(env_, doc_, *this, pickSavePath);
            AfterFileCommand();
            return true;
        case kSaveAs:
            SaveTextAs(env_, doc_, *this, pickSavePath);
            AfterFileCommand();
            return true;
        case kClose:
            if (CloseText(env_, doc_, *this, pickSavePath)) setFont(DefaultFont());
            AfterFileCommand();
            return true;
        case kPrint:
            Print();
            return true;
        case kPrintSetup:
            PrintSetup();
            return true;
        case kUndo:
            undo();
            return true;
        case kCut:
            cut();
            return true;
        case kCopy:
            copy();
            return true;
        case kPaste:
            paste();
            return true;
        case kDelete:
            textCursor().removeSelectedText();
            return true;
        case kSelectAll:
            selectAll();
            return true;
        case kFont:
            ChooseFont();
            return true;
        case kFind:
            ShowFindDialog(false);
            return true;
        case kReplace:
            ShowFindDialog(true);
            return true;
        case kFindNext:
        case kFindPrevious:
            if (find_) TakeDialogState();
            if (!doc_.findString.empty()) Search(commandId == kFindNext, false);
            return true;
        default:
            return false;
    }
}

bool EditorPane::CommandEnabled(int commandId) const {
    EditorFacts facts;
    facts.hasPane = true;
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    facts.clipboardHasText = clip && clip->hasText();
    facts.canUndo = document()->isUndoAvailable();
    facts.hasSelection = textCursor().hasSelection();
    facts.modified = Modified();
    facts.textEmpty = document()->isEmpty();
    facts.searchStringExists = !doc_.findString.empty();
    return EditorCommandEnabled(commandId, facts);
}

}  // namespace ombrix::gui
