#pragma once
// The General tab: the option list on grey, the chosen option's panel beside it, and the
// information strip below.
#include <QWidget>
#include <functional>

#include "core/app/Program.h"

class QListWidget;
class QListWidgetItem;

namespace ombrix::gui {

class InfoStrip;

class GeneralWindow : public QWidget {
    Q_OBJECT
public:
    GeneralWindow(ProgramState& state, std::function<void(uint8_t)> changed, QWidget* parent = nullptr);

    QListWidget* Options() const { return options_; }
    QWidget* Panel() const { return panel_; }
    InfoStrip* Strip() const { return strip_; }
    // The option of a list entry: 0 General, 1 Projector Selection, 2 Force Block, 3 IRIS.
    void Choose(int entry);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Highlight(QListWidgetItem* hovered);

    ProgramState& state_;
    std::function<void(uint8_t)> changed_;
    QListWidget* options_ = nullptr;
    QWidget* panelArea_ = nullptr;
    QWidget* panel_ = nullptr;
    InfoStrip* strip_ = nullptr;
};

}  // namespace ombrix::gui
