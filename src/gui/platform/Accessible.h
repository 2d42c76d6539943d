#pragma once
// What assistive technology needs beyond Qt's own reading of the widgets.
//
// A label whose text changes while it is shown. A label offers assistive technology no
// text of its own beyond its name, so its name is always the text on screen (what the
// label stands for goes in the description) and every change is announced, so a screen
// reader speaks search and IRIS progress as it happens.
#include <QAccessible>
#include <QLabel>

class QMessageBox;

namespace ombrix::gui {

// Shows `text` on `label` and tells assistive technology. For any label whose text
// changes at run time; the label keeps no name of its own, so its name is its text even
// when other code sets the text directly.
void ShowLiveText(QLabel* label, const QString& text);

class LiveLabel : public QLabel {
    Q_OBJECT
public:
    // role: what the label shows ("Search mode", "Address"), read as its description.
    explicit LiveLabel(const QString& role, const QString& text = QString(), QWidget* parent = nullptr);

    // Hide QLabel's own so the change is announced whatever Qt itself does.
    void setText(const QString& text) { ShowLiveText(this, text); }
    void setNum(int number) { ShowLiveText(this, QString::number(number)); }
    void clear() { ShowLiveText(this, QString()); }
};

// A message box is read by its caption; one whose caption is only the program's short
// name ("OBX") is read by its text, and every box carries its text as description.
void DescribeBox(QMessageBox& box);

// A top-level window that Qt would present as a plain filler (a QWidget with the Window
// flag) is presented with this role instead, so it is announced when it opens.
void SetAccessibleRole(QWidget* widget, QAccessible::Role role);

}  // namespace ombrix::gui
