#pragma once
// The projector information page (PROJINFOBOX). It asks the projector once, 10 ms after
// it opens, so that it is shown before the line is busy.
#include <QWidget>
#include <functional>

#include "core/comm/InfoPages.h"

class QLabel;
class QPlainTextEdit;

namespace ombrix::gui {

class ProjectorInfoPage : public QWidget {
    Q_OBJECT
public:
    // fill asks the projector and shows the lines (it may do so later, when the line is free).
    ProjectorInfoPage(std::function<void(ProjectorInfoPage*)> fill, QWidget* parent = nullptr);
    void Show(const ProjectorInfoLines& lines);

signals:
    void filled();

private:
    QLabel* values_[6] = {};
    QPlainTextEdit* text_ = nullptr;
};

}  // namespace ombrix::gui
