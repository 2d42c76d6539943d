#pragma once
// Help → Help topics: the program's help pages, opened at their contents.
#include <QDialog>

class QTextBrowser;

namespace ombrix::gui {

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    // Shows the contents page again.
    void ShowContents();
    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_ = nullptr;
};

}  // namespace ombrix::gui
