#pragma once
// The Communication Settings dialog: draws the lists core builds and hands the selected
// rows back to core on OK.
#include <QDialog>

#include "core/link/CommDialog.h"

class QComboBox;
class QLabel;

namespace ombrix::gui {

class CommSetDialog : public QDialog {
    Q_OBJECT
public:
    explicit CommSetDialog(Link& link, QWidget* parent = nullptr);

    void accept() override;

private:
    void ShowPortPath(int portRow);

    Link& link_;
    CommDialogModel model_;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QComboBox* dataBits_ = nullptr;
    QComboBox* parity_ = nullptr;
    QComboBox* stopBits_ = nullptr;
    QLabel* portPath_ = nullptr;
};

}  // namespace ombrix::gui
