#pragma once
// The address-set dialog: shows the user-defined or the generated address set, edits the
// user-defined one and sets the range of the range search. Every rule is core's
// AddressSetDialog; this draws it and forwards the buttons.
#include <QDialog>

#include "core/discovery/AddressSets.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace ombrix::gui {

class AddressSetBox : public QDialog {
    Q_OBJECT
public:
    // Reads the user-defined set at once; its error box comes before the dialog.
    explicit AddressSetBox(ProgramState& state, QWidget* parent = nullptr);

    // OK stores the two range fields, or stays open and says why they make no range;
    // Cancel, Escape and the close box store them only when they do.
    void done(int result) override;

private:
    // The picker's address; false when its typed text is no address.
    bool PickedAddress(int* address) const;
    void Add();
    void Delete();
    void ViewUserDefined();
    void ViewGenerated();
    void FillFromModel();

    AddressSetDialog model_;
    QComboBox* picker_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* delete_ = nullptr;
    QRadioButton* viewUser_ = nullptr;
    QRadioButton* viewGenerated_ = nullptr;
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
};

}  // namespace ombrix::gui
