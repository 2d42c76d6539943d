#pragma once
// Printing the editor's text: the lines, page by page as the core lays them out, with the
// abort dialog that stops the job after the page being printed.
#include <QDialog>
#include <QFont>
#include <QStringList>

#include "core/platform/Env.h"

class QPrinter;

namespace ombrix::gui {

// "AbortDlg": shown while a job runs; Cancel stops it after the current page.
class AbortDialog : public QDialog {
    Q_OBJECT
public:
    AbortDialog(const QString& title, QWidget* parent);
    bool Aborted() const { return aborted_; }

private:
    bool aborted_ = false;
};

struct TextToPrint {
    QString title;
    QStringList lines;
    QFont font;
    int firstLine = 0;  // the selection's lines, for a print of the selection
    int lastLine = 0;
};

// Prints on a printer that is set up already (by the print dialog, or as a PDF file),
// with its range, copies and collation. Returns the pages sent, or -1 when the job could
// not start.
int PrintText(const Env& env, QPrinter& printer, const TextToPrint& text, QWidget* owner);

}  // namespace ombrix::gui
