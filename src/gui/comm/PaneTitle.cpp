#include "gui/comm/PaneTitle.h"

#include "gui/platform/Accessible.h"

namespace ombrix::gui {

PaneTitle::PaneTitle(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("MDISet"));
    setAccessibleDescription(QStringLiteral("Pane title"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setForegroundRole(QPalette::ButtonText);
    setIndent(6);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void PaneTitle::SetCaption(const QString& caption) {
    ShowLiveText(this, caption);
    setWindowTitle(caption);
}

}  // namespace ombrix::gui
