#pragma once
// The Communication Settings dialog: draws the lists core builds and hands the selected
// rows back to core on OK.
#include <QDialog>
#include <map>

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
    void KeepDeviceEdit();

    Link& link_;
    CommDialogModel model_;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QComboBox* dataBits_ = nullptr;
    QComboBox* parity_ = nullptr;
    QComboBox* stopBits_ = nullptr;
    // Editable: the devices present, or any path or tcp://HOST:PORT typed in.
    QComboBox* portPath_ = nullptr;
    int shownPortRow_ = -1;
    // Devices chosen per port row while the dialog is open; written on OK.
    std::map<int, QString> deviceEdits_;
    std::vector<SerialCandidate> present_;
};

}  // namespace ombrix::gui
