#include "gui/editor/TextPrinter.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/editor/EditorFile.h"
#include "core/editor/PrintLayout.h"

namespace ombrix::gui {

AbortDialog::AbortDialog(const QString& title, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AbortDlg"));
    setWindowTitle(QStringLiteral("Print"));
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);
    for (const QString& text : {QStringLiteral("Sending"), title, QStringLiteral("to print spooler.")}) {
        auto* label = new QLabel(text);
        label->setAlignment(Qt::AlignCenter);
        label->setAccessibleName(text);
        layout->addWidget(label);
    }
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setAccessibleName(cancel->text());
    layout->addWidget(cancel, 0, Qt::AlignCenter);
    connect(cancel, &QPushButton::clicked, this, [this, cancel] {
        aborted_ = true;
        cancel->setEnabled(false);
    });
}

namespace {

PrintRequest Request(const QPrinter& printer, const TextToPrint& text, int linesPerPage) {
    PrintRequest r;
    r.lineCount = static_cast<int>(text.lines.size());
    r.linesPerPage = linesPerPage;
    switch (printer.printRange()) {
        case QPrinter::Selection:
            r.range = PrintRange::Selection;
            r.firstLine = text.firstLine;
            r.lastLine = text.lastLine;
            break;
        case QPrinter::PageRange:
            r.range = PrintRange::Pages;
            r.fromPage = printer.fromPage();
            r.toPage = printer.toPage();
            break;
        default:
            r.range = PrintRange::All;
            break;
    }
    r.copies = printer.copyCount();
    r.collate = printer.collateCopies();
    return r;
}

}  // namespace

int PrintText(const Env& env, QPrinter& printer, const TextToPrint& text, QWidget* owner) {
    // The copies are laid out here, so the print system must not multiply them again.
    const int copies = printer.copyCount();
    printer.setCopyCount(1);
    printer.setDocName(text.title);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPainter painter;
    if (!painter.begin(&printer)) {
        QApplication::restoreOverrideCursor();
        printer.setCopyCount(copies);
        if (env.ui) env.ui->ShowBox(kEditorCaption, "Unable to start print job", BoxIcon::None);
        return -1;
    }
    // Holds back the owner's input while the job runs; disabling the owner would disable
    // the dialog with it.
    auto* abort = new AbortDialog(text.title, owner);
    abort->setWindowModality(Qt::WindowModal);
    abort->show();

    painter.setFont(text.font);
    const int lineHeight = painter.fontMetrics().lineSpacing();
    const int ascent = painter.fontMetrics().ascent();
    PrintRequest request = Request(printer, text, LinesPerPage(painter.viewport().height(), lineHeight));
    request.copies = copies;
    int sent = 0;
    for (const PrintedPage& page : PrintPages(request)) {
        if (sent > 0) printer.newPage();
        int index = 0;
        for (int line : page.lines) {
            const std::u16string full = text.lines[line].toStdU16String();
            painter.drawText(0, index * lineHeight + ascent, QString::fromStdU16String(PrintedLineText(full)));
            ++index;
        }
        ++sent;
        // Cancel takes effect once the page being printed is out.
        QApplication::processEvents();
        if (abort->Aborted()) break;
    }
    painter.end();
    printer.setCopyCount(copies);
    delete abort;
    QApplication::restoreOverrideCursor();
    return sent;
}

}  // namespace ombrix::gui
