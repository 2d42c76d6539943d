#pragma once
// The modeless Find and Replace dialogs of the editor. They only collect the strings and
// switches; the editor searches when they ask.
#include <QDialog>

#include "core/editor/TextSearch.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace ombrix::gui {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    FindDialog(bool replace, const QString& find, const QString& replacement, const SearchFlags& flags,
               QWidget* parent);
    bool IsReplace() const { return replace_; }
    QString FindText() const;
    QString ReplaceText() const;
    SearchFlags Flags() const;

signals:
    void findNext();
    void replaceOne();
    void replaceAll();

private:
    bool replace_;
    QLineEdit* find_ = nullptr;
    QLineEdit* replacement_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QRadioButton* down_ = nullptr;
};

}  // namespace ombrix::gui
