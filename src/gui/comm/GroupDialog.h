#pragma once
// GROUPBOX, "New group": one field for the name. OK asks the owner; a refusal is shown
// in the dialog, which stays open for another name.
#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;

namespace ombrix::gui {

class GroupDialog : public QDialog {
    Q_OBJECT
public:
    // make: the refusal text for a name, or empty when the group was made.
    GroupDialog(std::function<std::string(const std::string& name)> make, QWidget* parent = nullptr);

    QLineEdit* NameField() const { return name_; }
    QString Refusal() const;
    void Ok();

private:
    std::function<std::string(const std::string&)> make_;
    QLineEdit* name_ = nullptr;
    QLabel* refusal_ = nullptr;
};

}  // namespace ombrix::gui
