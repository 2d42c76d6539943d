// The explorer window offscreen: its icons and views, browsing a settings file beside
// the program's RAM container, the editor's save question, and printing to PDF files.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QTableView>
#include <QTextBlock>
#include <QtTest>

#include "core/blocks/RamContainer.h"
#include "core/data/SettingsFile.h"
#include "gui/editor/EditorPane.h"
#include "gui/explorer/ExplorerWindow.h"
#include "gui/platform/ListTableModel.h"
#include "gui/explorer/RamFilesView.h"
#include "GuiSupport.h"
#include "../support/TempDir.h"

namespace ombrix::gui {
namespace {

// Each in a fresh working directory, where the program keeps its files.
struct Program {
    testing::TempDir dir;
    testing::TestProgram program;
    ProgramState& state = program.state;
    RecordingUi& ui = program.ui;
    Program() {
        program.loader.strings = true;
        StartProgram(state);
        ui.Clear();
    }
};

std::vector<std::string> Texts(const RecordingUi& ui) {
    std::vector<std::string> out;
    for (const RecordedBox& b : ui.Boxes()) out.push_back(b.caption + ": " + b.text);
    return out;
}

// A settings file of one type-5 container with two blocks.
void WriteSettingsFile(const char* name) {
    auto t = std::make_unique<BlockTables>();
    ClearRamContainer(*t);
    t->ramContainers[0] = {5, 0};
    t->ramContainerCount = 1;
    for (int i = 0; i < 3; ++i) {
        RAMBlock& b = t->ramBlocks[static_cast<size_t>(i)];
        b.projectorType = 5;
        b.alphaId = 'V';
        b.containerTitle = i == 0;
        b.header.fv = static_cast<uint8_t>(i);
    }
    t->ramRowCount = 3;
    std::vector<uint8_t> bytes;
    SerializeSettings(*t, &bytes);
    testing::WriteBytes(name, bytes);
}

// Pages of a PDF file.
int PdfPages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray pdf = file.readAll();
    return int(pdf.count("/Type /Page\n")) + int(pdf.count("/Type /Page>>")) + int(pdf.count("/Type /Page ")) -
           int(pdf.count("/Type /Pages "));
}

}  // namespace

class ExplorerGuiTest : public QObject {
    Q_OBJECT
private slots:
    void UnavailableIconsKeepTheView() {
        Program p;
        ExplorerWindow w(p.state, nullptr);
        w.ClickItem(kIconExploreRamFiles);
        QCOMPARE(w.View(), kExplorerViewRamFiles);
        RamFilesView* view = w.RamFiles();
        for (int item : {kIconExploreProjector, kIconManagingGroups, kIconExploreRamFiles}) {
            p.ui.Clear();
            w.ClickItem(item);
            QCOMPARE(w.View(), kExplorerViewRamFiles);
            QCOMPARE(w.RamFiles(), view);
            if (item != kIconExploreRamFiles) {
                QCOMPARE(Texts(p.ui), std::vector<std::string>{"Warning: Not implemented in standard version !"});
            } else {
                QVERIFY(p.ui.Boxes().empty());
            }
        }
        QCOMPARE(w.Icons()->count(), 4);
        QCOMPARE(w.Icons()->item(3)->text(), QStringLiteral("Managing Textfiles"));
    }

    void BrowsingLeavesTheProgramsRamContainerAlone() {
        Program p;
        WriteSettingsFile("two.set");
        // Blocks copied from a projector earlier.
        BlockTables& ram = p.state.blocks;
        ram.ramContainers[0] = {8, 0};
        ram.ramContainerCount = 1;
        ram.ramBlocks[0].containerTitle = 1;
        ram.ramBlocks[0].projectorType = 8;
        ram.ramBlocks[1].projectorType = 8;
        ram.ramBlocks[1].body.fill(0x5A);
        ram.ramRowCount = 2;

        ExplorerWindow w(p.state, nullptr);
        w.ClickItem(kIconExploreRamFiles);
        QCOMPARE(w.TitleText(), QStringLiteral("Explore RAMfiles"));
        RamFilesView* view = w.RamFiles();
        view->pickSettingsFile = [](std::string* path) {
            *path = "two.set";
            return true;
        };
        view->OpenOrReturn();
        QCOMPARE(w.TitleText(), QStringLiteral("two.set"));
        QCOMPARE(view->ListingModel()->rowCount(), 3);

        p.ui.Clear();
        view->ViewSelectedBlock();
        QCOMPARE(p.ui.Boxes().size(), size_t(1));
        QCOMPARE(p.ui.Boxes()[0].caption, std::string("Warning  35"));
        view->Listing()->selectRow(0);
        view->ViewSelectedBlock();
        QCOMPARE(p.ui.Boxes().back().caption, std::string("Warning  34"));
        view->Listing()->selectRow(2);
        view->ViewSelectedBlock();
        QCOMPARE(view->Browser().viewingBlock, 1);

        const std::string listing = p.dir.Path() + "/listing.txt";
        view->pickTextFile = [&](std::string* path) {
            *path = listing;
            return true;
        };
        view->ConvertToText();
        QVERIFY(QFile(QString::fromStdString(listing)).size() > 0);

        w.ClickItem(kIconManagingTextFiles);
        QCOMPARE(w.View(), kExplorerViewTextFiles);
        QCOMPARE(ram.ramRowCount, 2);
        QCOMPARE(ram.ramContainerCount, 1);
        QCOMPARE(ram.ramContainers[0].projectorType, 8);
        QCOMPARE(int(ram.ramBlocks[1].body[0]), 0x5A);
    }

    void ControlsCarryAccessibleNames() {
        Program p;
        ExplorerWindow w(p.state, nullptr);
        auto check = [](const QList<QWidget*>& controls) {
            for (QWidget* c : controls) {
                QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->metaObject()->className()));
            }
        };
        w.ClickItem(kIconExploreRamFiles);
        QList<QWidget*> controls{w.RamFiles()->Listing(), w.Icons()};
        for (QPushButton* b : w.findChildren<QPushButton*>()) controls << b;
        for (QCheckBox* b : w.findChildren<QCheckBox*>()) controls << b;
        QCOMPARE(controls.size(), 13);
        check(controls);

        w.ClickItem(kIconManagingTextFiles);
        check({w.Editor()});
        for (int id : {1201, 1204}) {
            QVERIFY(w.HandleCommand(id));
            FindDialog* dialog = w.Editor()->OpenFindDialog();
            QVERIFY(dialog);
            QCOMPARE(dialog->IsReplace(), id == 1204);
            QList<QWidget*> fields{dialog};
            for (QWidget* c : dialog->findChildren<QWidget*>()) {
                if (qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c)) fields << c;
            }
            check(fields);
        }
    }

    void SaveQuestionOnCloseAndOnLeaving() {
        Program p;
        ExplorerWindow w(p.state, nullptr);
        w.ClickItem(kIconManagingTextFiles);
        EditorPane* editor = w.Editor();
        QVERIFY(editor);
        QVERIFY(!w.CommandEnabled(1003));
        editor->insertPlainText(QStringLiteral("draft"));
        QVERIFY(w.CommandEnabled(1003));

        p.ui.QueueChoice(kAnswerCancel);
        QVERIFY(w.HandleCommand(1005));
        QCOMPARE(editor->toPlainText(), QStringLiteral("draft"));
        QCOMPARE(Texts(p.ui), std::vector<std::string>{"OBX: Save current changes? new.txt"});

        p.ui.QueueChoice(kAnswerCancel);
        w.ClickItem(kIconExploreRamFiles);
        QCOMPARE(w.View(), kExplorerViewTextFiles);
        QCOMPARE(w.Editor(), editor);

        p.ui.QueueChoice(kAnswerCancel);
        QVERIFY(!w.QueryClose());
        p.ui.QueueChoice(kAnswerNo);
        QVERIFY(w.QueryClose());
        p.ui.Clear();
        QVERIFY(w.close());
        QVERIFY(p.ui.Boxes().empty());
    }

    void FindNextAndReplaceAll() {
        Program p;
        ExplorerWindow w(p.state, nullptr);
        w.ClickItem(kIconManagingTextFiles);
        EditorPane* editor = w.Editor();
        editor->setPlainText(QStringLiteral("one two\none"));
        editor->Document().findString = u"one";
        QVERIFY(w.CommandEnabled(1202));
        QVERIFY(w.HandleCommand(1202));
        QCOMPARE(editor->textCursor().selectionStart(), 0);
        QVERIFY(w.HandleCommand(1202));
        QCOMPARE(editor->textCursor().selectionStart(), 8);
        p.ui.Clear();
        QVERIFY(w.HandleCommand(1202));
        QCOMPARE(Texts(p.ui), std::vector<std::string>{"String not found: one"});

        editor->Document().replaceString = u"one one";
        QCOMPARE(editor->ReplaceAllMatches(), 2);
        QCOMPARE(editor->toPlainText(), QStringLiteral("one one two\none one"));
        editor->undo();
        QCOMPARE(editor->toPlainText(), QStringLiteral("one two\none"));
    }

    void PrintsPagesToPdf() {
        Program p;
        ExplorerWindow w(p.state, nullptr);
        w.ClickItem(kIconManagingTextFiles);
        EditorPane* editor = w.Editor();
        QStringList lines;
        for (int i = 0; i < 300; ++i) lines << QStringLiteral("line %1 ").arg(i) + QString(200, QLatin1Char('x'));
        editor->setPlainText(lines.join(QLatin1Char('\n')));

        auto print = [&](const char* name, QPrinter::PrintRange range, int copies, bool collate) {
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(p.dir.Path() + "/" + name));
            printer.setPrintRange(range);
            printer.setCopyCount(copies);
            printer.setCollateCopies(collate);
            const int sent = editor->PrintOn(printer);
            return std::make_pair(sent, PdfPages(printer.outputFileName()));
        };
        const auto all = print("all.pdf", QPrinter::AllPages, 1, true);
        QVERIFY(all.first > 1);
        QCOMPARE(all.second, all.first);
        QCOMPARE(print("copies.pdf", QPrinter::AllPages, 2, false).second, 2 * all.first);

        // Lines 60-69 only: one page, whatever page they lie on.
        QTextCursor cursor(editor->document());
        cursor.setPosition(editor->document()->findBlockByNumber(60).position() + 3);
        cursor.setPosition(editor->document()->findBlockByNumber(69).position() + 1, QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        QCOMPARE(print("selection.pdf", QPrinter::Selection, 1, true), std::make_pair(1, 1));
        QVERIFY(w.isEnabled());

        // Cancel in the abort dialog while the first page is out stops the job after it.
        editor->moveCursor(QTextCursor::Start);
        bool cancelled = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() != QStringLiteral("AbortDlg") || !top->isVisible()) continue;
                auto* cancel = top->findChild<QPushButton*>();
                QVERIFY(cancel && cancel->accessibleName() == QStringLiteral("Cancel"));
                cancel->click();
                cancelled = true;
            }
        });
        const auto aborted = print("aborted.pdf", QPrinter::AllPages, 1, true);
        QVERIFY(cancelled);
        QCOMPARE(aborted, std::make_pair(1, 1));
        QVERIFY(w.isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }
};

}  // namespace ombrix::gui

OMBRIX_QTEST_MAIN(explorer_gui_test, ombrix::gui::ExplorerGuiTest);
#include "explorer_gui_test.moc"
