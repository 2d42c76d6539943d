#pragma once
// Help → Help topics: the program's help pages, opened at their contents or, from F1, at
// the page of the window in use; a search field finds the pages that mention words.
#include <QDialog>
#include <vector>

#include "core/frame/HelpTopics.h"

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace ombrix::gui {

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    // Shows the contents page again.
    void ShowContents();
    // Shows one page by its file name ("task-iris.html"); the contents when there is none.
    void ShowPage(const QString& file);
    // Lists the pages holding every word; the first is shown.
    void Search(const QString& words);
    QTextBrowser* Browser() const { return browser_; }
    QLineEdit* SearchField() const { return search_; }
    QListWidget* Results() const { return results_; }
    QString PageFile() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTextBrowser* browser_ = nullptr;
    QLineEdit* search_ = nullptr;
    QListWidget* results_ = nullptr;
    std::vector<HelpPage> pages_;
};

// The help page for the window that has the keyboard focus (F1).
QString HelpPageForFocus();

}  // namespace ombrix::gui
