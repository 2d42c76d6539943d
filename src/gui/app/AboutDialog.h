#pragma once
// Help → About: the program's name, version and maker.
#include <QDialog>

namespace ombrix::gui {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(const QIcon& icon, QWidget* parent = nullptr);
};

}  // namespace ombrix::gui
