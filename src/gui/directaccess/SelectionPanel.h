#pragma once
// The Projector Selection panel: Default, All connected projectors and every user group;
// the choice is what the pages, force, sources and the comparison act on.
#include <QWidget>

#include "core/app/Program.h"

class QListWidget;

namespace ombrix::gui {

class InfoStrip;

class SelectionPanel : public QWidget {
    Q_OBJECT
public:
    SelectionPanel(ProgramState& state, InfoStrip* strip, QWidget* parent = nullptr);

    QListWidget* Choices() const { return list_; }
    void Choose(int row);

private:
    ProgramState& state_;
    InfoStrip* strip_;
    QListWidget* list_ = nullptr;
};

}  // namespace ombrix::gui
