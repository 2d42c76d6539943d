#pragma once
// A page tab: the adjustment page (View) or the comparison of projectors (Compare) above
// the information strip.
#include <QWidget>

#include "core/app/Program.h"

namespace ombrix::gui {

class InfoStrip;

class PageHost : public QWidget {
    Q_OBJECT
public:
    PageHost(ProgramState& state, int page, QWidget* parent = nullptr);

    // The PageWindow or CompareWindow shown.
    QWidget* Content() const { return content_; }
    InfoStrip* Strip() const { return strip_; }

private:
    QWidget* content_ = nullptr;
    InfoStrip* strip_ = nullptr;
};

}  // namespace ombrix::gui
