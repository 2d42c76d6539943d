#include "gui/frame/MdiClient.h"

#include <QPainter>

namespace ombrix::gui {

MdiClient::MdiClient(const QImage& background, QWidget* parent) : QMdiArea(parent), background_(background) {
    setObjectName(QStringLiteral("mdiClient"));
    setAccessibleName(QStringLiteral("Working windows"));
}

void MdiClient::paintEvent(QPaintEvent* event) {
    if (background_.isNull()) {
        QMdiArea::paintEvent(event);
        return;
    }
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(viewport()->rect(), background_);
}

}  // namespace ombrix::gui
