#include "gui/directaccess/PageHost.h"

#include <QVBoxLayout>

#include "core/directaccess/Sources.h"
#include "gui/directaccess/CompareWindow.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/PageWindow.h"

namespace ombrix::gui {

PageHost::PageHost(ProgramState& state, int page, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PageHost"));
    state.direct.page = page;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    strip_ = new InfoStrip(state, kNoActiveSourceOnOpen, this);
    if (state.direct.compareMode) {
        content_ = new CompareWindow(state, page, strip_, this);
    } else {
        content_ = new PageWindow(state, page, strip_, this);
    }
    layout->addWidget(content_, 1);
    layout->addWidget(strip_);
}

}  // namespace ombrix::gui
