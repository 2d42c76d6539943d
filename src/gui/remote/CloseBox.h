#pragma once
// "Quit" of a remote-control window: close this window or all of them.
#include <QDialog>

class QRadioButton;

namespace ombrix::gui {

class CloseBox : public QDialog {
    Q_OBJECT
public:
    explicit CloseBox(QWidget* parent);
    // kCloseActiveWindow or kCloseAllWindows after OK, 0 after Cancel.
    int Choice() const;

private:
    QRadioButton* active_ = nullptr;
    QRadioButton* all_ = nullptr;
};

// Shows the box modal to and centred on parent; the choice, 0 for Cancel.
int AskRemoteClose(QWidget* parent);

}  // namespace ombrix::gui
