#pragma once
// GROUPBOX, "New group": one field for the name. OK asks the owner; a refusal is shown
// in the dialog, which stays open for another name.
#include <QDialog>
#include <functional>
#include <string>

#include "core/blocks/Groups.h"
#include "core/platform/Env.h"

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

// The user groups to pick one from (title: "Send to group", "Copy to group"); empty when
// the user cancels, or when there is none (said in a box).
QString ChooseGroupName(const Grouping& grouping, const Env& env, const QString& title, QWidget* parent);

}  // namespace ombrix::gui
