#pragma once
// The Force Block panel ("BRONSWITCHING"): a source type and number sent to the targets.
#include <QWidget>

#include "core/app/Program.h"

class QLabel;
class QListWidget;

namespace ombrix::gui {

class InfoStrip;

class ForceBlockPanel : public QWidget {
    Q_OBJECT
public:
    ForceBlockPanel(ProgramState& state, InfoStrip* strip, QWidget* parent = nullptr);

    QListWidget* TypeList() const { return types_; }
    QListWidget* NumberList() const { return numbers_; }
    void Send();

private:
    void ShowSelection();

    ProgramState& state_;
    InfoStrip* strip_;
    QListWidget* types_ = nullptr;
    QListWidget* numbers_ = nullptr;
    QLabel* typeText_ = nullptr;
    QLabel* numberText_ = nullptr;
};

}  // namespace ombrix::gui
