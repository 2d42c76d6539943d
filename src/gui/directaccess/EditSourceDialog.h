#pragma once
// "Edit Sources": a name and one of the input slots no source uses yet.
#include <QDialog>
#include <vector>

class QLineEdit;
class QListWidget;

namespace ombrix::gui {

class EditSourceDialog : public QDialog {
    Q_OBJECT
public:
    EditSourceDialog(const std::vector<int>& freeSlots, QWidget* parent = nullptr);

    QString Text() const;
    // The chosen slot, 0 when none is chosen.
    int Slot() const;
    QLineEdit* NameField() const { return name_; }
    QListWidget* SlotList() const { return slots_; }

private:
    QLineEdit* name_ = nullptr;
    QListWidget* slots_ = nullptr;
};

}  // namespace ombrix::gui
